#pragma once
// The DIB writer that renders GIF frames: an 8-bit (or 24-bit) device-independent bitmap built in
// memory row by row and handed to a framework bitmap as one BMP stream.
#include <windows.h>

#include <cstdint>
#include <memory>

#include "framework/Graphics.h"
#include "framework/Handles.h"
#include "gif/KXGIFBase.h"

namespace kestrix {

// Rows of a bitmap being built, top row 0.
class KX_API TDIB : public vcl::TObject {
 public:
  TDIB(vcl::TBitmap* ABitmap, vcl::TPixelFormat APixelFormat) : FBitmap(ABitmap), FPixelFormat(APixelFormat) {}
  virtual void* GetScanline(int Row) = 0;
  void* Scanline(int Row) { return GetScanline(Row); }
  vcl::TBitmap* Bitmap() const { return FBitmap; }
  vcl::TPixelFormat PixelFormat() const { return FPixelFormat; }

 protected:
  vcl::TBitmap* FBitmap;  // the target, not owned
  vcl::TPixelFormat FPixelFormat;
};

// Builds a bottom-up DIB (BITMAPINFOHEADER, a 256-entry colour table from APalette for 8 bits,
// rows padded to 32 bits) on the first scan-line request. UpdateBitmap loads it into the target
// bitmap as a BMP stream; the destructor only releases the memory.
class KX_API TDIBWriter : public TDIB {
 public:
  // APixelFormat pf8bit or pf24bit ("Unsupported PixelFormat" otherwise); a zero width or height
  // raises "Invalid image dimensions". APalette stays the caller's.
  TDIBWriter(vcl::TBitmap* ABitmap, vcl::TPixelFormat APixelFormat, int AWidth, int AHeight, HPALETTE APalette);
  ~TDIBWriter() override;

  // Row Row counted from the top. EInvalidGraphicOperation for a row outside the DIB.
  void* GetScanline(int Row) override;
  void UpdateBitmap();

  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  HPALETTE Palette() const { return FPalette; }
  // The header and colour table as built (FDIBInfoSize bytes), nil before the first scan line.
  const std::uint8_t* DIBInfo() const { return FDIBInfo.get(); }
  int DIBInfoSize() const { return FDIBInfoSize; }

 private:
  void AllocateDIB();
  void ReleaseDIB();
  void EnsureDIB();
  int RowBytes() const;

  std::unique_ptr<std::uint8_t[]> FDIBInfo;
  vcl::TUniqueGlobal FDIBMemory;  // movable global memory, locked at FDIBBits while it lives
  std::uint8_t* FDIBBits = nullptr;
  int FDIBInfoSize = 0;
  int FDIBBitsSize = 0;
  HPALETTE FPalette;  // not owned
  int FHeight;
  int FWidth;
};

// Converts Count palette entries (red, green, blue, flags) in place into DIB colour-table entries
// (blue, green, red, 0).
KX_API void PaletteToRGBQuads(void* Entries, int Count);
// Bytes in a row of Count pixels of Bits bits, padded to a multiple of Align bits.
KX_API int AlignedRowBytes(int Count, int Bits, int Align);

}  // namespace kestrix
