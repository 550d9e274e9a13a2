#pragma once
// Colour maps: a GIF colour table of up to 256 RGB triples, global (owned by the header) or local
// (owned by a frame), turned into palettes for rendering.
#include <cstdint>
#include <memory>

#include "gif/KXGIFBase.h"

namespace kestrix {

// One colour-table entry, in stream order.
struct TGIFColor {
  std::uint8_t Red;
  std::uint8_t Green;
  std::uint8_t Blue;
};
static_assert(sizeof(TGIFColor) == 3);
using TColorMap = TGIFColor[256];

// The entries are stored packed, 3 bytes each; 0 <= Count <= Capacity <= 256, and the capacity is
// 0, 16 or a multiple of 32. Only the global and local maps are instantiated.
class KX_API TGIFColorMap : public vcl::TPersistent {
 public:
  TGIFColorMap();
  ~TGIFColorMap() override;

  // From another map: its entries, capacity and Optimized flag; otherwise the framework's Assign.
  void Assign(vcl::TPersistent* Source) override;
  virtual void Warning(TGIFSeverity Severity, const std::wstring& Message) = 0;
  // Tells the owner that the colours changed (its cached palette is dropped).
  virtual void Changed() = 0;

  // Only the low three bytes of a TColor count; system colours are not resolved.
  static TGIFColor Color2RGB(vcl::TColor Color);
  static vcl::TColor RGB2Color(TGIFColor Color);

  void Clear();
  void SetCapacity(int Size);
  // Reads Count entries (Count x 3 bytes) or raises "Premature end of data".
  void LoadFromStream(vcl::TStream& Stream, int Count);
  // Unsupported: raises GIFException.
  void SaveToStream(vcl::TStream& Stream);
  // Index of the colour, or -1: the first match when Optimized, the last one otherwise.
  int IndexOf(vcl::TColor Color) const;
  int Add(vcl::TColor Color);
  int AddUnique(vcl::TColor Color);
  void Delete(int Index);
  // An index outside the map warns "Invalid color index" and reads entry 0 ("Color table is empty"
  // when there is none).
  vcl::TColor GetColor(int Index);
  void SetColor(int Index, vcl::TColor Value);
  int GetBitsPerPixel() const;

  // Palette and DIB colour-table imports; counts above 256 are cut to 256.
  void ImportPalette(HPALETTE Palette);
  // Count 4-byte DIB colour-table entries (blue, green, red, reserved).
  void ImportColorTable(const void* Pal, int Count);
  void ImportDIBColors(HDC Handle);
  void ImportColorMap(const TGIFColor* Map, int Count);
  // A new palette of the entries (flag PC_NOCOLLAPSE) for the caller, or 0 for an empty map.
  HPALETTE ExportPalette();

  TGIFColor* Data() { return FColorMap.get(); }
  int Count() const { return FCount; }
  int Capacity() const { return FCapacity; }
  bool Optimized() const { return FOptimized; }
  void SetOptimized(bool Value) { FOptimized = Value; }

 protected:
  std::unique_ptr<TGIFColor[]> FColorMap;
  int FCount = 0;
  int FCapacity = 0;
  bool FOptimized = false;
};

class KX_API TGIFGlobalColorMap : public TGIFColorMap {
 public:
  explicit TGIFGlobalColorMap(TGIFHeader* HeaderItem);
  ~TGIFGlobalColorMap() override;
  void Warning(TGIFSeverity Severity, const std::wstring& Message) override;
  void Changed() override;

 private:
  TGIFHeader* FHeader;  // not owned
};

class KX_API TGIFLocalColorMap : public TGIFColorMap {
 public:
  explicit TGIFLocalColorMap(TGIFSubImage* SubImage);
  ~TGIFLocalColorMap() override;
  void Warning(TGIFSeverity Severity, const std::wstring& Message) override;
  void Changed() override;

 private:
  TGIFSubImage* FSubImage;  // not owned
};

}  // namespace kestrix
