#pragma once
// What the GIF reader needs of framework/Graphics.h and framework/Handles.h, for its native build
// (Linux: sanitizers, libFuzzer, benchmarks), where the framework's portable core is the real one
// but GDI is missing. Names and contracts follow those headers; GDI handles exist only as types
// and are never created, so nothing renders.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "framework/Classes.h"
#include "framework/Streams.h"
#include "framework/Types.h"

struct HPALETTE__;
struct HBITMAP__;
struct HDC__;
using HPALETTE = HPALETTE__*;
using HBITMAP = HBITMAP__*;
using HDC = HDC__*;

namespace vcl {

using TColor = std::int32_t;
enum TPixelFormat : std::uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TProgressStage : std::uint8_t { psStarting, psRunning, psEnding };
using TProgressEvent = std::function<void(TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone,
                                          bool RedrawNow, const TRect& R, const std::wstring& Msg)>;

class TCanvas;

class TGraphic : public TPersistent {
 public:
  virtual TGraphic* NewGraphic() const = 0;
  virtual void Draw(TCanvas* ACanvas, const TRect& Rect) = 0;
  bool Empty() { return GetEmpty(); }
  int Width() { return GetWidth(); }
  int Height() { return GetHeight(); }
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  HPALETTE Palette() { return GetPalette(); }
  virtual void SetPalette(HPALETTE) {}
  bool Modified() const { return FModified; }
  bool PaletteModified() const { return FPaletteModified; }
  void SetPaletteModified(bool Value) { FPaletteModified = Value; }
  virtual bool Equals(TGraphic* Graphic) { return Graphic == this; }
  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
  virtual void LoadFromFile(const std::wstring& FileName);
  virtual void SaveToFile(const std::wstring& FileName);
  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
  const TProgressEvent& OnProgress() const { return FOnProgress; }
  void SetOnProgress(TProgressEvent Value) { FOnProgress = std::move(Value); }
  virtual void Changed(TObject* Sender);
  void Progress(TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone, bool RedrawNow, const TRect& R,
                const std::wstring& Msg);
  virtual void ReadData(TStream& Stream) { LoadFromStream(Stream); }
  virtual void WriteData(TStream& Stream) { SaveToStream(Stream); }

 protected:
  TGraphic() = default;
  virtual bool GetEmpty() = 0;
  virtual int GetWidth() = 0;
  virtual int GetHeight() = 0;
  virtual HPALETTE GetPalette() { return nullptr; }

 private:
  TNotifyEvent FOnChange;
  TProgressEvent FOnProgress;
  bool FModified = false;
  bool FPaletteModified = false;
};

// Only named on this side: the native build never renders, so no bitmap is ever made.
class TBitmap : public TGraphic {
 protected:
  TBitmap() = default;
};

// Owners of GDI handles; on this side no handle is ever created, so there is nothing to release.
template <class H>
class TUniqueGdiHandle {
 public:
  TUniqueGdiHandle() = default;
  explicit TUniqueGdiHandle(H h) : FHandle(h) {}
  TUniqueGdiHandle(TUniqueGdiHandle&& o) noexcept : FHandle(std::exchange(o.FHandle, H{})) {}
  TUniqueGdiHandle& operator=(TUniqueGdiHandle&& o) noexcept {
    FHandle = std::exchange(o.FHandle, H{});
    return *this;
  }
  H Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != H{}; }
  H Release() { return std::exchange(FHandle, H{}); }
  void Reset(H h = H{}) { FHandle = h; }

 private:
  H FHandle{};
};
using TUniqueBitmap = TUniqueGdiHandle<HBITMAP>;
using TUniquePalette = TUniqueGdiHandle<HPALETTE>;

}  // namespace vcl
