#pragma once
// Pictures: the abstract graphic, a bitmap on a real GDI bitmap handle, a canvas over a device
// context, and palette copying. Picture formats (metafiles, icons, compressed images, the GIF
// reader) derive from TGraphic and reach each other through Assign/AssignTo.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/Classes.h"
#include "framework/Handles.h"
#include "framework/Streams.h"
#include "framework/Types.h"

namespace vcl {

// A colour as the framework keeps it: a COLORREF (red in the low byte, then green, then blue).
using TColor = std::int32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;

enum TPixelFormat : std::uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TProgressStage : std::uint8_t { psStarting, psRunning, psEnding };

// Progress of a long graphic operation (loading, rendering): PercentDone runs from 0 to 100;
// RedrawNow asks the receiver to repaint R (an empty R means the whole picture).
using TProgressEvent = std::function<void(TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone,
                                          bool RedrawNow, const TRect& R, const std::wstring& Msg)>;

class TCanvas;

// The abstract picture. Descendants implement the protected accessors and the stream forms;
// Changed raises OnChange, Progress raises OnProgress.
class KX_API TGraphic : public TPersistent {
 public:
  // A new, empty graphic of this graphic's class, for the caller (the class's constructor reached
  // through an instance, as holders of pictures need to copy one).
  virtual TGraphic* NewGraphic() const = 0;
  // Draws the picture stretched into Rect (canvas coordinates). A graphic draws through the canvas
  // handle and reports the change to the canvas.
  virtual void Draw(TCanvas* ACanvas, const TRect& Rect) = 0;

  bool Empty() { return GetEmpty(); }
  int Width() { return GetWidth(); }
  int Height() { return GetHeight(); }
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  // The palette the picture draws with; it stays owned by the graphic (0 when it has none).
  HPALETTE Palette() { return GetPalette(); }
  // Gives the graphic a palette; graphics that keep palettes take ownership of Value.
  virtual void SetPalette(HPALETTE Value);
  bool Transparent() { return GetTransparent(); }
  virtual void SetTransparent(bool Value);
  bool Modified() const { return FModified; }
  void SetModified(bool Value);
  // Set by a graphic whose palette changed, so that its holder realises the new one.
  bool PaletteModified() const { return FPaletteModified; }
  void SetPaletteModified(bool Value) { FPaletteModified = Value; }

  // True when Graphic shows the same picture (the default: the same class and the same stream form).
  virtual bool Equals(TGraphic* Graphic);

  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
  // Open the file (read access, deny-write sharing / created anew) and load or save its stream.
  virtual void LoadFromFile(const std::wstring& FileName);
  virtual void SaveToFile(const std::wstring& FileName);
  // Clipboard forms; a graphic without them raises EAbstractError. The caller owns AData when saving.
  virtual void LoadFromClipboardFormat(UINT AFormat, HANDLE AData, HPALETTE APalette);
  virtual void SaveToClipboardFormat(UINT& AFormat, HANDLE& AData, HPALETTE& APalette);

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
  const TProgressEvent& OnProgress() const { return FOnProgress; }
  void SetOnProgress(TProgressEvent Value) { FOnProgress = std::move(Value); }

  // Marks the graphic modified and raises OnChange with this graphic as Sender.
  virtual void Changed(TObject* Sender);
  // Raises OnProgress when assigned, with Sender passed through.
  void Progress(TObject* Sender, TProgressStage Stage, std::uint8_t PercentDone, bool RedrawNow, const TRect& R,
                const std::wstring& Msg);

  // The form in which a holder streams the graphic's data; the defaults use the stream form.
  virtual void ReadData(TStream& Stream);
  virtual void WriteData(TStream& Stream);

 protected:
  TGraphic() = default;
  virtual bool GetEmpty() = 0;
  virtual int GetWidth() = 0;
  virtual int GetHeight() = 0;
  virtual HPALETTE GetPalette();
  virtual bool GetTransparent();

 private:
  TNotifyEvent FOnChange;
  TProgressEvent FOnProgress;
  bool FModified = false;
  bool FPaletteModified = false;
  bool FTransparent = false;
};

// A drawing surface over a device context. A plain canvas draws on a DC it does not own
// (SetHandle); descendants create their DC on first use (CreateHandle). Drawing raises OnChange.
class KX_API TCanvas : public TPersistent {
 public:
  TCanvas() = default;
  ~TCanvas() override = default;

  // The device context; a descendant creates it on first use. 0 when none is available.
  HDC Handle();
  void SetHandle(HDC Value);
  bool HandleAllocated() const { return FHandle != nullptr; }

  // Draws Graphic at its own size with its top left corner at (X, Y).
  void Draw(int X, int Y, TGraphic* Graphic);
  // Draws Graphic stretched into Rect. A nil or empty graphic draws nothing.
  void StretchDraw(const TRect& Rect, TGraphic* Graphic);
  void FillRect(const TRect& Rect, TColor Color);
  TColor Pixels(int X, int Y);
  void SetPixels(int X, int Y, TColor Color);

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
  // Raises OnChange; graphics call it after drawing on this canvas.
  void Changed();

 protected:
  // Called by Handle when no DC is set; a descendant calls SetHandle from here.
  virtual void CreateHandle() {}

 private:
  HDC FHandle = nullptr;
  TNotifyEvent FOnChange;
};

// A bitmap on a real GDI bitmap: a DIB section for every format but pfDevice (a device-dependent
// bitmap compatible with the screen), or whatever handle it was given. It owns its bitmap and
// palette handles; Handle and Palette lend them, ReleaseHandle/ReleasePalette hand them over.
class KX_API TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;

  TGraphic* NewGraphic() const override { return new TBitmap(); }
  // From a TBitmap: a copy of its image and palette; from nil: empty; otherwise Source's AssignTo.
  void Assign(TPersistent* Source) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  // Resizes keeping the image at the top left; new area is white.
  void SetSize(int AWidth, int AHeight);
  // Takes ownership of Value; an 8-bit or smaller DIB gets the palette's colours as its colour table.
  void SetPalette(HPALETTE Value) override;

  // A BMP file (file header, info header, colour table, pixels) from the stream's position. A
  // malformed or truncated file raises EInvalidGraphic and leaves the bitmap as it was.
  void LoadFromStream(TStream& Stream) override;
  // A BMP file with a 40-byte info header; the colour-table size is written in biClrUsed.
  void SaveToStream(TStream& Stream) override;
  // CF_BITMAP (with CF_PALETTE's palette); the handle is copied, the caller keeps AData.
  void LoadFromClipboardFormat(UINT AFormat, HANDLE AData, HPALETTE APalette) override;
  // CF_BITMAP: a copy of the bitmap and of its palette, both for the caller.
  void SaveToClipboardFormat(UINT& AFormat, HANDLE& AData, HPALETTE& APalette) override;

  // The bitmap handle (0 when empty). It stays owned by the bitmap. Reading it takes the bitmap
  // out of the canvas's DC, so that the borrower can select it; a canvas DC taken before is then
  // gone (the canvas makes a new one when next used).
  HBITMAP Handle();
  // Takes ownership of Value (0 empties the bitmap); the palette is kept.
  void SetHandle(HBITMAP Value);
  HBITMAP ReleaseHandle();
  HPALETTE ReleasePalette();

  // The format of the image; for an empty bitmap the format the next image will get.
  TPixelFormat PixelFormat();
  // Converts the image (or, when empty, sets the format of the next one).
  void SetPixelFormat(TPixelFormat Value);
  // Row Row of a DIB section, top row 0; EInvalidGraphicOperation for a bad row or no DIB. Rows
  // are taken as bottom-up, as every DIB the bitmap makes itself is.
  void* ScanLine(int Row);
  // A canvas on the bitmap; drawing on it changes the bitmap.
  TCanvas* Canvas();

 protected:
  bool GetEmpty() override;
  int GetWidth() override;
  int GetHeight() override;
  HPALETTE GetPalette() override;

 private:
  class TBitmapCanvas;
  friend class TBitmapCanvas;

  // Replaces the image with Value (owned), without touching the palette, and reports the change.
  void ReplaceHandle(HBITMAP Value);
  // Deselects the bitmap from the canvas DC so the handle can change hands.
  void FreeContext();
  // A new image of the given size and format holding the current image at its top left.
  TUniqueBitmap CopyImage(int AWidth, int AHeight, TPixelFormat Format);

  TUniqueBitmap FHandle;
  TUniquePalette FPalette;
  TPixelFormat FPixelFormat = pfDevice;
  std::unique_ptr<TBitmapCanvas> FCanvas;
};

// A new palette with the entries of Palette; 0 for 0. The caller owns the copy.
KX_API HPALETTE CopyPalette(HPALETTE Palette);

}  // namespace vcl
