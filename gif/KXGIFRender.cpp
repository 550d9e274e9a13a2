// Rendering of GIF frames into framework bitmaps, palettes and masks (Windows only; the native
// build of the loading path uses gif/native/KXGIFRenderNative.cpp instead).
#include <algorithm>
#include <cstring>
#include <vector>

#include "gif/KXGIFConsts.h"
#include "gif/KXGIFImage.h"

namespace kestrix {

namespace {

enum : int { kOneBitThreshold = 500000, kProgressRows = 32 };

std::uint8_t PercentOf(int part, int whole) {
  return whole > 0 ? static_cast<std::uint8_t>(std::clamp(MulDiv(part, 100, whole), 0, 100)) : 0;
}

// Clears a re-entrancy flag on every way out.
class TFlagGuard {
 public:
  explicit TFlagGuard(bool& flag) : FFlag(flag) { FFlag = true; }
  TFlagGuard(const TFlagGuard&) = delete;
  TFlagGuard& operator=(const TFlagGuard&) = delete;
  ~TFlagGuard() { FFlag = false; }

 private:
  bool& FFlag;
};

}  // namespace

// ---- colour maps and palettes ----

void TGIFColorMap::ImportPalette(HPALETTE Palette) {
  Clear();
  PALETTEENTRY entries[256];
  UINT count = Palette ? GetPaletteEntries(Palette, 0, 256, entries) : 0;
  if (count == 0) return;
  SetCapacity(static_cast<int>(count));
  for (UINT i = 0; i < count; ++i) FColorMap[i] = {entries[i].peRed, entries[i].peGreen, entries[i].peBlue};
  FCount = static_cast<int>(count);
  Changed();
}

void TGIFColorMap::ImportDIBColors(HDC Handle) {
  Clear();
  RGBQUAD table[256];
  UINT count = GetDIBColorTable(Handle, 0, 256, table);
  ImportColorTable(table, static_cast<int>(count));
  Changed();
}

HPALETTE TGIFColorMap::ExportPalette() {
  if (FCount == 0) return nullptr;
  struct {
    WORD Version;
    WORD Count;
    PALETTEENTRY Entries[256];
  } palette{0x300, static_cast<WORD>(FCount), {}};
  for (int i = 0; i < FCount; ++i)
    palette.Entries[i] = {FColorMap[static_cast<size_t>(i)].Red, FColorMap[static_cast<size_t>(i)].Green,
                          FColorMap[static_cast<size_t>(i)].Blue, PC_NOCOLLAPSE};
  return CreatePalette(reinterpret_cast<LOGPALETTE*>(&palette));
}

HPALETTE TGIFSubImage::GetPalette() {
  if (FBitmap && FBitmap->Palette()) return FBitmap->Palette();
  if (FLocalPalette) return FLocalPalette.Get();
  if (FColorMap.Count() == 0) return FGIFImage ? FGIFImage->Palette() : nullptr;
  FLocalPalette.Reset(FColorMap.ExportPalette());
  return FLocalPalette.Get();
}

HPALETTE TGIFImage::GetPalette() {
  // A frame without a local map asks the image, and the image asks frame 0: with no map anywhere
  // the question comes back here.
  if (IsInsideGetPalette) throw GIFException(res::sGIFNoColorTable);
  TFlagGuard inside(IsInsideGetPalette);
  if (FBitmap && FBitmap->Palette()) return FBitmap->Palette();
  if (FGlobalPalette) return FGlobalPalette.Get();
  if (FHeader->ColorMap()->Count() > 0) {
    FGlobalPalette.Reset(FHeader->ColorMap()->ExportPalette());
    return FGlobalPalette.Get();
  }
  if (FImages->Count() > 0) return FImages->GetImage(0)->GetPalette();
  return nullptr;
}

// ---- frames ----

vcl::TBitmap* TGIFSubImage::GetBitmap() {
  if (FBitmap) return FBitmap.get();
  if (GetEmpty()) return nullptr;
  TGIFImage* image = FGIFImage;
  auto finish = [&](std::uint8_t percent) {
    if (!image) return;
    image->Progress(this, vcl::psEnding, percent, image->PaletteModified(), vcl::TRect{}, res::sGIFRendering);
    if (image->PaletteModified()) image->Changed(this);
  };
  try {
    if (image) image->Progress(this, vcl::psStarting, 0, false, vcl::TRect{}, res::sGIFRendering);
    try {
      FBitmap.reset(DoGetBitmap());
    } catch (...) {
      finish(0);
      throw;
    }
    finish(100);
  } catch (const vcl::EAbort&) {
    // A progress handler may cancel the render; the frame keeps what it has.
  }
  return FBitmap.get();
}

vcl::TBitmap* TGIFSubImage::DoGetBitmap() {
  const int width = Width(), height = Height();
  auto bitmap = std::make_unique<vcl::TBitmap>();
  // A large frame must not make the blank bitmap a full-colour one first.
  if (std::int64_t(width) * height > kOneBitThreshold) bitmap->SetPixelFormat(vcl::pf1bit);
  if (GetEmpty()) {
    bitmap->SetWidth(width);
    bitmap->SetHeight(height);
    bitmap->SetPalette(vcl::CopyPalette(GetPalette()));
    return bitmap.release();
  }

  TDIBWriter writer(bitmap.get(), vcl::pf8bit, width, height, GetPalette());
  const bool buildMask = FNeedMask && FTransparent && FGCE;
  FNeedMask = false;
  const std::uint8_t transparentIndex = FGCE ? FGCE->TransparentColorIndex() : 0;
  const size_t maskRowBytes = static_cast<size_t>((width + 15) >> 4) * 2;  // monochrome rows are whole words
  std::vector<std::uint8_t> mask(buildMask ? maskRowBytes * static_cast<size_t>(height) : 0);
  bool anyTransparent = false;

  for (int row = 0; row < height; ++row) {
    auto* line = static_cast<std::uint8_t*>(writer.GetScanline(row));
    if (row % kProgressRows == 0 && FGIFImage)
      FGIFImage->Progress(this, vcl::psRunning, PercentOf(row, height), false, vcl::TRect{}, res::sGIFRendering);
    const std::uint8_t* source = FData.get() + static_cast<size_t>(row) * static_cast<size_t>(width);
    std::memcpy(line, source, static_cast<size_t>(width));
    if (!buildMask) continue;
    std::uint8_t* out = mask.data() + static_cast<size_t>(row) * maskRowBytes;
    std::uint8_t bits = 0, bit = 0x80;
    for (int x = 0; x < width; ++x) {
      if (source[x] == transparentIndex) bits |= bit;
      bit >>= 1;
      if (bit == 0) {
        anyTransparent |= bits != 0;
        *out++ = bits;
        bits = 0;
        bit = 0x80;
      }
    }
    if (bits != 0) {
      anyTransparent = true;
      *out = bits;
    }
  }
  if (anyTransparent) FMask.Reset(CreateBitmap(width, height, 1, 1, mask.data()));
  writer.UpdateBitmap();
  return bitmap.release();
}

void TGIFSubImage::AssignTo(vcl::TPersistent* Dest) {
  if (auto* bitmap = dynamic_cast<vcl::TBitmap*>(Dest)) bitmap->Assign(GetBitmap());
  else TGIFItem::AssignTo(Dest);
}

// ---- the image ----

vcl::TBitmap* TGIFImage::GetBitmap() {
  if (GetEmpty()) return nullptr;
  if (FBitmap) return FBitmap.get();
  // Kept only once it holds the frame: a failed render must be tried again next time.
  auto bitmap = std::make_unique<vcl::TBitmap>();
  bitmap->SetOnChange([this](vcl::TObject* Sender) { Changed(Sender); });
  if (FImages->Count() > 0) bitmap->Assign(FImages->GetImage(0)->GetBitmap());
  FBitmap = std::move(bitmap);
  return FBitmap.get();
}

vcl::TBitmap* TGIFImage::NewBitmap() {
  if (FBitmap) return FBitmap.get();
  auto bitmap = std::make_unique<vcl::TBitmap>();
  bitmap->SetOnChange([this](vcl::TObject* Sender) { Changed(Sender); });
  bitmap->SetPalette(vcl::CopyPalette(GetPalette()));
  bitmap->SetHeight(Height());
  bitmap->SetWidth(Width());
  FBitmap = std::move(bitmap);
  return FBitmap.get();
}

void TGIFImage::Draw(vcl::TCanvas* ACanvas, const vcl::TRect& Rect) {
  if (FImages->Count() == 0 || !ACanvas) return;
  ACanvas->StretchDraw(Rect, GetBitmap());
}

void TGIFImage::AssignTo(vcl::TPersistent* Dest) {
  if (auto* bitmap = dynamic_cast<vcl::TBitmap*>(Dest)) bitmap->Assign(GetBitmap());
  else vcl::TGraphic::AssignTo(Dest);
}

}  // namespace kestrix
