#include "framework/Graphics.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

#include "formats/KXDIBBlock.h"
#include "framework/GraphicCommon.inc"
#include "framework/GraphicsDIB.h"

namespace vcl {

namespace {

const wchar_t* const sInvalidBitmap = L"Bitmap image is not valid";
const wchar_t* const sScanLine = L"Scan line index out of range";
const wchar_t* const sInvalidPixelFormat = L"Invalid pixel format";
const wchar_t* const sUnknownClipboardFormat = L"Unsupported clipboard format";
const wchar_t* const sAbstractError = L"Abstract error";
const wchar_t* const sOutOfResources = L"Out of system resources";

namespace blocks = kestrix::blocks;
enum : WORD { kBitmapFileType = blocks::BitmapFileType };
enum : DWORD {
  kFileHeaderSize = blocks::BitmapFileHeaderSize,
  kCoreHeaderSize = blocks::BitmapCoreHeaderSize,
  kInfoHeaderSize = blocks::BitmapInfoHeaderSize,
  kMaskBytes = blocks::BitmapMaskBytes,
  kLargestKnownHeader = blocks::BitmapV5HeaderSize
};

// BITMAPINFO with room for a full colour table (or the three masks of BI_BITFIELDS).
struct TBitmapInfo {
  BITMAPINFOHEADER Header;
  RGBQUAD Colors[256];
};

std::int64_t RowBytes(std::int64_t width, int bits) { return ((width * bits + 31) & ~std::int64_t(31)) / 8; }

[[noreturn]] void InvalidBitmap() { throw EInvalidGraphic(sInvalidBitmap); }

// Selects a palette into a DC for the owner's lifetime (palettes are not selected by SelectObject).
class TSelectPalette {
 public:
  TSelectPalette(HDC dc, HPALETTE palette) : FDC(dc), FOld(dc && palette ? SelectPalette(dc, palette, TRUE) : nullptr) {
    if (FOld) RealizePalette(dc);
  }
  TSelectPalette(const TSelectPalette&) = delete;
  TSelectPalette& operator=(const TSelectPalette&) = delete;
  ~TSelectPalette() {
    if (FOld) SelectPalette(FDC, FOld, TRUE);
  }

 private:
  HDC FDC;
  HPALETTE FOld;
};

bool GetDibSection(HBITMAP bitmap, DIBSECTION& ds) {
  std::memset(&ds, 0, sizeof ds);
  return bitmap && GetObjectW(bitmap, sizeof ds, &ds) == sizeof ds && ds.dsBm.bmBits != nullptr;
}

int BitsOf(TPixelFormat format) {
  switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;
  }
}

TPixelFormat FormatOfDib(const DIBSECTION& ds) {
  switch (ds.dsBmih.biBitCount) {
    case 1: return pf1bit;
    case 4: return pf4bit;
    case 8: return pf8bit;
    case 16: return ds.dsBitfields[1] == 0x07E0 ? pf16bit : pf15bit;
    case 24: return pf24bit;
    case 32: return pf32bit;
    default: return pfCustom;
  }
}

// The colours an indexed DIB of the given depth starts with: the palette's when there is one, else
// black and white, the 16 VGA colours (the first and last eight of the 20 static colours), or the
// halftone palette.
int DefaultColors(int bits, HPALETTE palette, RGBQUAD* colors) {
  PALETTEENTRY entries[256] = {};
  UINT count = 0;
  if (palette) {
    count = GetPaletteEntries(palette, 0, 1u << bits, entries);
  } else if (bits == 1) {
    entries[1] = {255, 255, 255, 0};
    count = 2;
  } else if (bits == 4) {
    PALETTEENTRY stock[20] = {};
    GetPaletteEntries(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 0, 20, stock);
    std::copy(stock, stock + 8, entries);
    std::copy(stock + 12, stock + 20, entries + 8);
    count = 16;
  } else {
    TWindowDC screen;
    TUniquePalette halftone(CreateHalftonePalette(screen.Get()));
    count = GetPaletteEntries(halftone.Get(), 0, 256, entries);
  }
  for (UINT i = 0; i < count; ++i) colors[i] = {entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
  return static_cast<int>(count);
}

// A blank DIB section (or, for pfDevice, a screen-compatible bitmap) of the given format.
TUniqueBitmap NewImage(int width, int height, TPixelFormat format, HPALETTE palette) {
  if (width <= 0 || height <= 0) return {};
  if (format == pfDevice) {
    TWindowDC screen;
    return TUniqueBitmap(CreateCompatibleBitmap(screen.Get(), width, height));
  }
  int bits = BitsOf(format);
  if (!bits) throw EInvalidGraphic(sInvalidPixelFormat);
  TBitmapInfo info{};
  info.Header = RGBDIBHeader(width, height, bits);
  if (bits <= 8) info.Header.biClrUsed = static_cast<DWORD>(DefaultColors(bits, palette, info.Colors));
  if (format == pf16bit) {
    info.Header.biCompression = BI_BITFIELDS;
    DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(info.Colors, masks, sizeof masks);
  }
  void* bitsPtr = nullptr;
  return TUniqueBitmap(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bitsPtr, nullptr, 0));
}

void FillWhite(HBITMAP bitmap, int width, int height) {
  TMemoryDC dc(CreateCompatibleDC(nullptr));
  TSelectObject sel(dc.Get(), bitmap);
  PatBlt(dc.Get(), 0, 0, width, height, WHITENESS);
}

// The header, colour table or masks, and row geometry of a DIB section, as a BITMAPINFO that
// recreates it.
int DibInfo(HBITMAP bitmap, const DIBSECTION& ds, TBitmapInfo& info) {
  std::memset(&info, 0, sizeof info);
  info.Header = ds.dsBmih;
  info.Header.biSize = sizeof(BITMAPINFOHEADER);
  int colors = 0;
  if (ds.dsBmih.biBitCount <= 8) {
    TMemoryDC dc(CreateCompatibleDC(nullptr));
    TSelectObject sel(dc.Get(), bitmap);
    colors = static_cast<int>(GetDIBColorTable(dc.Get(), 0, 1u << ds.dsBmih.biBitCount, info.Colors));
    info.Header.biClrUsed = static_cast<DWORD>(colors);
    info.Header.biClrImportant = std::min<DWORD>(info.Header.biClrImportant, info.Header.biClrUsed);
  } else {
    info.Header.biClrUsed = 0;
    info.Header.biClrImportant = 0;
    // Masks that only restate the uncompressed layout (which GDI reports for 16 and 32 bits) are
    // left out.
    const DWORD* m = ds.dsBitfields;
    const bool plain = ds.dsBmih.biCompression != BI_BITFIELDS ||
                       (ds.dsBmih.biBitCount == 16 && m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F) ||
                       (ds.dsBmih.biBitCount == 32 && m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF);
    info.Header.biCompression = plain ? BI_RGB : BI_BITFIELDS;
    if (!plain) std::memcpy(info.Colors, m, kMaskBytes);
  }
  return colors;
}

// A copy of a bitmap of any kind: DIB sections byte for byte, device bitmaps through BitBlt.
TUniqueBitmap CopyBitmap(HBITMAP source) {
  if (!source) return {};
  DIBSECTION ds;
  if (GetDibSection(source, ds)) {
    TBitmapInfo info;
    DibInfo(source, ds, info);
    void* bits = nullptr;
    TUniqueBitmap copy(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!copy) throw EOutOfMemory(sOutOfResources);
    GdiFlush();
    std::memcpy(bits, ds.dsBm.bmBits, static_cast<size_t>(ds.dsBm.bmWidthBytes) * static_cast<size_t>(ds.dsBm.bmHeight));
    return copy;
  }
  BITMAP bm{};
  if (!GetObjectW(source, sizeof bm, &bm)) return {};
  TUniqueBitmap copy;
  if (bm.bmBitsPixel == 1) {
    copy.Reset(CreateBitmap(bm.bmWidth, bm.bmHeight, 1, 1, nullptr));
  } else {
    TWindowDC screen;
    copy.Reset(CreateCompatibleBitmap(screen.Get(), bm.bmWidth, bm.bmHeight));
  }
  if (!copy) throw EOutOfMemory(sOutOfResources);
  TMemoryDC src(CreateCompatibleDC(nullptr)), dst(CreateCompatibleDC(nullptr));
  TSelectObject s(src.Get(), source), d(dst.Get(), copy.Get());
  BitBlt(dst.Get(), 0, 0, bm.bmWidth, bm.bmHeight, src.Get(), 0, 0, SRCCOPY);
  return copy;
}

HPALETTE PaletteFromColors(const RGBQUAD* colors, int count) {
  if (count <= 0) return nullptr;
  struct {
    WORD Version;
    WORD Count;
    PALETTEENTRY Entries[256];
  } log{0x300, static_cast<WORD>(count), {}};
  for (int i = 0; i < count; ++i) log.Entries[i] = {colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue, 0};
  return CreatePalette(reinterpret_cast<LOGPALETTE*>(&log));
}

// ---- reading a BMP file -----------------------------------------------------------------------

// Reads the parts of a BMP file from a stream, refusing whatever does not fit the stream.
class TBitmapFileReader {
 public:
  explicit TBitmapFileReader(TStream& stream) : FStream(stream) {
    std::int64_t pos = stream.Position();
    FAvailable = std::max<std::int64_t>(0, stream.Size() - pos);
  }
  void Read(void* buffer, std::int64_t count) {
    if (count < 0 || count > FAvailable - FConsumed) InvalidBitmap();
    if (count && FStream.Read(buffer, count) != count) InvalidBitmap();
    FConsumed += count;
  }
  void Skip(std::int64_t count) {
    if (count < 0 || count > FAvailable - FConsumed) InvalidBitmap();
    FStream.Seek(count, soCurrent);
    FConsumed += count;
  }
  std::int64_t Consumed() const { return FConsumed; }
  std::int64_t Left() const { return FAvailable - FConsumed; }

 private:
  TStream& FStream;
  std::int64_t FAvailable = 0;
  std::int64_t FConsumed = 0;
};

struct TLoadedBitmap {
  TUniqueBitmap Handle;
  TUniquePalette Palette;
};

TLoadedBitmap ReadBitmapFile(TStream& stream) {
  TBitmapFileReader in(stream);
  // The file header, then the DIB's header (and the masks after a 40-byte one) in one buffer
  // for the block parser.
  std::string head(kFileHeaderSize + 4, '\0');
  in.Read(head.data(), static_cast<std::int64_t>(head.size()));
  const std::optional<blocks::TBMPFileHeader> file = blocks::ReadBMPFileHeader(head);
  if (!file) InvalidBitmap();
  std::string dib = head.substr(kFileHeaderSize);
  const DWORD headerSize = blocks::ReadLE32(dib, 0);
  if (headerSize != kCoreHeaderSize && (headerSize < kInfoHeaderSize || headerSize > kLargestKnownHeader)) InvalidBitmap();
  dib.resize(headerSize);
  in.Read(dib.data() + 4, headerSize - 4);
  std::optional<blocks::TDIBHeader> parsed = blocks::ReadDIBHeader(dib);
  if (parsed && parsed->MaskBytesAfterHeader) {
    dib.resize(headerSize + parsed->MaskBytesAfterHeader);
    in.Read(dib.data() + headerSize, static_cast<std::int64_t>(parsed->MaskBytesAfterHeader));
    parsed = blocks::ReadDIBHeader(dib);
  }
  if (!parsed || !blocks::DIBIsLoadable(*parsed)) InvalidBitmap();
  const blocks::TDIBHeader& d = *parsed;

  TBitmapInfo info{};
  BITMAPINFOHEADER& h = info.Header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = d.Width;
  h.biHeight = d.Height;
  h.biPlanes = 1;
  h.biBitCount = d.BitCount;
  h.biCompression = d.Compression;
  h.biSizeImage = d.SizeImage;
  h.biXPelsPerMeter = d.XPelsPerMeter;
  h.biYPelsPerMeter = d.YPelsPerMeter;
  h.biClrUsed = d.ClrUsed;
  h.biClrImportant = d.ClrImportant;
  if (d.Compression == BI_BITFIELDS && d.HasMasks) std::memcpy(info.Colors, d.Masks, kMaskBytes);

  const int bits = d.BitCount;
  const DWORD compression = d.Compression;
  const std::int64_t width = d.Width;
  const std::int64_t height = static_cast<std::int64_t>(d.Rows);

  // The colour table: RGBTRIPLEs in the old header, RGBQUADs otherwise. Tables of images above
  // 8 bits are optional hints and are skipped.
  int tableSize = 0;
  if (bits <= 8) {
    const std::int64_t declared = static_cast<std::int64_t>(d.Colours);
    int kept = static_cast<int>(std::min<std::int64_t>(declared, std::int64_t(1) << bits));
    const int entrySize = static_cast<int>(d.ColourEntrySize);
    for (int i = 0; i < kept; ++i) {
      BYTE entry[4] = {};
      in.Read(entry, entrySize);
      info.Colors[i] = {entry[0], entry[1], entry[2], 0};
    }
    in.Skip((declared - kept) * entrySize);
    tableSize = kept;
    h.biClrUsed = static_cast<DWORD>(kept);
  } else {
    in.Skip(static_cast<std::int64_t>(d.Colours) * d.ColourEntrySize);
    h.biClrUsed = 0;
  }
  h.biClrImportant = std::min(h.biClrImportant, h.biClrUsed);

  // The pixels start at bfOffBits when that lies beyond the headers and leaves room for them,
  // otherwise right after the colour table.
  const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  std::int64_t bitsSize = static_cast<std::int64_t>(d.PixelBytes());
  if (rle && (bitsSize == 0 || bitsSize > in.Left())) bitsSize = in.Left();
  std::int64_t gap = std::int64_t(file->OffBits) - in.Consumed();
  if (gap > 0 && gap + bitsSize <= in.Left()) in.Skip(gap);
  if (bitsSize <= 0 || bitsSize > in.Left()) InvalidBitmap();
  std::vector<BYTE> pixels(static_cast<size_t>(bitsSize));
  in.Read(pixels.data(), bitsSize);

  TLoadedBitmap result;
  void* dibBits = nullptr;
  if (!rle) {
    // Top-down files become bottom-up DIBs: every DIB section of ours then has the same row
    // order, which GDI does not report reliably once the section exists.
    const bool topDown = h.biHeight < 0;
    h.biHeight = static_cast<LONG>(height);
    h.biSizeImage = static_cast<DWORD>(bitsSize);
    result.Handle.Reset(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &dibBits, nullptr, 0));
    if (!result.Handle) InvalidBitmap();
    if (topDown) {
      const size_t rowBytes = static_cast<size_t>(RowBytes(width, bits));
      for (std::int64_t y = 0; y < height; ++y)
        std::memcpy(static_cast<BYTE*>(dibBits) + static_cast<size_t>(height - 1 - y) * rowBytes,
                    pixels.data() + static_cast<size_t>(y) * rowBytes, rowBytes);
    } else {
      std::memcpy(dibBits, pixels.data(), pixels.size());
    }
  } else {
    // GDI expands run-length data into an uncompressed DIB of the same depth.
    TBitmapInfo plain = info;
    plain.Header.biCompression = BI_RGB;
    plain.Header.biSizeImage = 0;
    result.Handle.Reset(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&plain), DIB_RGB_COLORS, &dibBits, nullptr, 0));
    if (!result.Handle) InvalidBitmap();
    std::memset(dibBits, 0, static_cast<size_t>(RowBytes(width, bits) * height));
    h.biSizeImage = static_cast<DWORD>(bitsSize);
    TWindowDC screen;
    if (SetDIBits(screen.Get(), result.Handle.Get(), 0, static_cast<UINT>(height), pixels.data(),
                  reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) == 0)
      InvalidBitmap();
  }
  if (bits <= 8) result.Palette.Reset(PaletteFromColors(info.Colors, tableSize));
  return result;
}

}  // namespace

// ---- TGraphic -------------------------------------------------------------------------------------

void TGraphic::SetPalette(HPALETTE) {}
HPALETTE TGraphic::GetPalette() { return nullptr; }
bool TGraphic::GetTransparent() { return FTransparent; }

void TGraphic::SetTransparent(bool Value) {
  if (Value == FTransparent) return;
  FTransparent = Value;
  Changed(this);
}

void TGraphic::SetModified(bool Value) {
  if (Value) Changed(this);
  else FModified = false;
}

bool TGraphic::Equals(TGraphic* Graphic) {
  if (!Graphic) return false;
  if (Graphic == this) return true;
  if (typeid(*Graphic) != typeid(*this)) return false;
  if (Empty() || Graphic->Empty()) return Empty() && Graphic->Empty();
  TMemoryStream mine, theirs;
  SaveToStream(mine);
  Graphic->SaveToStream(theirs);
  return mine.Size() == theirs.Size() && std::memcmp(mine.Memory(), theirs.Memory(), static_cast<size_t>(mine.Size())) == 0;
}

void TGraphic::LoadFromClipboardFormat(UINT, HANDLE, HPALETTE) { throw EAbstractError(sAbstractError); }
void TGraphic::SaveToClipboardFormat(UINT&, HANDLE&, HPALETTE&) { throw EAbstractError(sAbstractError); }

void TGraphic::ReadData(TStream& Stream) { LoadFromStream(Stream); }
void TGraphic::WriteData(TStream& Stream) { SaveToStream(Stream); }

// ---- TCanvas --------------------------------------------------------------------------------------

HDC TCanvas::Handle() {
  if (!FHandle) CreateHandle();
  return FHandle;
}

void TCanvas::SetHandle(HDC Value) { FHandle = Value; }

void TCanvas::Draw(int X, int Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Graphic->Draw(this, TRect{X, Y, X + Graphic->Width(), Y + Graphic->Height()});
}

void TCanvas::StretchDraw(const TRect& Rect, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Graphic->Draw(this, Rect);
}

void TCanvas::FillRect(const TRect& Rect, TColor Color) {
  HDC dc = Handle();
  if (!dc) return;
  TGdiObject<HBRUSH> brush(CreateSolidBrush(static_cast<COLORREF>(Color)));
  RECT r{Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
  ::FillRect(dc, &r, brush.Get());
  Changed();
}

TColor TCanvas::Pixels(int X, int Y) {
  HDC dc = Handle();
  return dc ? static_cast<TColor>(GetPixel(dc, X, Y)) : -1;
}

void TCanvas::SetPixels(int X, int Y, TColor Color) {
  HDC dc = Handle();
  if (!dc) return;
  SetPixelV(dc, X, Y, static_cast<COLORREF>(Color));
  Changed();
}

void TCanvas::Changed() {
  if (FOnChange) FOnChange(this);
}

// ---- TBitmap --------------------------------------------------------------------------------------

// The bitmap's canvas: a memory DC that holds the bitmap (and its palette) selected while it lives.
class TBitmap::TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap& owner) : FOwner(owner) {
    SetOnChange([this](TObject*) { FOwner.Changed(&FOwner); });
  }
  ~TBitmapCanvas() override { FreeContext(); }

  void FreeContext() {
    if (!FDC) return;
    FPalette.reset();
    FBitmap.reset();
    FDC.Reset();
    SetHandle(nullptr);
  }

 protected:
  void CreateHandle() override {
    FDC.Reset(CreateCompatibleDC(nullptr));
    if (!FDC) throw EOutOfMemory(sOutOfResources);
    if (HBITMAP bitmap = FOwner.FHandle.Get()) FBitmap = std::make_unique<TSelectObject>(FDC.Get(), bitmap);
    if (HPALETTE palette = FOwner.FPalette.Get()) FPalette = std::make_unique<TSelectPalette>(FDC.Get(), palette);
    SetHandle(FDC.Get());
  }

 private:
  TBitmap& FOwner;
  // Declared before the selections, so that they are undone before the DC goes.
  TMemoryDC FDC;
  std::unique_ptr<TSelectObject> FBitmap;
  std::unique_ptr<TSelectPalette> FPalette;
};

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() { FreeContext(); }

void TBitmap::FreeContext() {
  if (FCanvas) FCanvas->FreeContext();
}

void TBitmap::ReplaceHandle(HBITMAP Value) {
  FreeContext();
  FHandle.Reset(Value);
  DIBSECTION ds;
  if (GetDibSection(Value, ds)) FPixelFormat = FormatOfDib(ds);
  else if (Value) FPixelFormat = pfDevice;
  Changed(this);
}

void TBitmap::Assign(TPersistent* Source) {
  if (!Source) {
    FreeContext();
    FHandle.Reset();
    FPalette.Reset();
    Changed(this);
    return;
  }
  if (auto* other = dynamic_cast<TBitmap*>(Source)) {
    if (other == this) return;
    other->FreeContext();  // a bitmap still selected into its canvas cannot be read
    TUniqueBitmap copy = CopyBitmap(other->FHandle.Get());
    TUniquePalette palette(CopyPalette(other->FPalette.Get()));
    FreeContext();
    FPalette = std::move(palette);
    FPixelFormat = other->FPixelFormat;
    ReplaceHandle(copy.Release());
    return;
  }
  TGraphic::Assign(Source);
}

bool TBitmap::GetEmpty() { return !FHandle; }

int TBitmap::GetWidth() {
  BITMAP bm{};
  return FHandle && GetObjectW(FHandle.Get(), sizeof bm, &bm) ? bm.bmWidth : 0;
}

int TBitmap::GetHeight() {
  BITMAP bm{};
  return FHandle && GetObjectW(FHandle.Get(), sizeof bm, &bm) ? bm.bmHeight : 0;
}

HPALETTE TBitmap::GetPalette() { return FPalette.Get(); }

void TBitmap::SetWidth(int Value) { SetSize(Value, Height()); }
void TBitmap::SetHeight(int Value) { SetSize(Width(), Value); }

TUniqueBitmap TBitmap::CopyImage(int AWidth, int AHeight, TPixelFormat Format) {
  TUniqueBitmap image = NewImage(AWidth, AHeight, Format, FPalette.Get());
  if (!image) {
    if (AWidth > 0 && AHeight > 0) throw EOutOfMemory(sOutOfResources);
    return image;
  }
  FillWhite(image.Get(), AWidth, AHeight);
  if (!FHandle) return image;
  int oldWidth = Width(), oldHeight = Height();
  DIBSECTION from, to;
  if (GetDibSection(FHandle.Get(), from) && GetDibSection(image.Get(), to) && FormatOfDib(from) == FormatOfDib(to) &&
      from.dsBmih.biBitCount <= 8) {
    // Indexed images keep their indices: a blit would map through colours and merge duplicates.
    FreeContext();
    TBitmapInfo info;
    DibInfo(FHandle.Get(), from, info);
    TMemoryDC dc(CreateCompatibleDC(nullptr));
    {
      TSelectObject sel(dc.Get(), image.Get());
      SetDIBColorTable(dc.Get(), 0, info.Header.biClrUsed, info.Colors);
    }
    GdiFlush();
    auto* src = static_cast<BYTE*>(from.dsBm.bmBits);
    auto* dst = static_cast<BYTE*>(to.dsBm.bmBits);
    int rows = std::min(oldHeight, AHeight);
    size_t bytes = static_cast<size_t>(std::min(from.dsBm.bmWidthBytes, to.dsBm.bmWidthBytes));
    for (int y = 0; y < rows; ++y) {
      int srcRow = from.dsBmih.biHeight > 0 ? oldHeight - 1 - y : y;
      int dstRow = AHeight - 1 - y;
      std::memcpy(dst + static_cast<size_t>(dstRow) * to.dsBm.bmWidthBytes,
                  src + static_cast<size_t>(srcRow) * from.dsBm.bmWidthBytes, bytes);
    }
    return image;
  }
  HDC src = Canvas()->Handle();
  TMemoryDC dst(CreateCompatibleDC(nullptr));
  TSelectObject sel(dst.Get(), image.Get());
  TSelectPalette pal(dst.Get(), FPalette.Get());
  BitBlt(dst.Get(), 0, 0, std::min(oldWidth, AWidth), std::min(oldHeight, AHeight), src, 0, 0, SRCCOPY);
  return image;
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (AWidth == Width() && AHeight == Height()) return;
  TUniqueBitmap image = CopyImage(AWidth, AHeight, PixelFormat());
  ReplaceHandle(image.Release());
}

void TBitmap::SetPalette(HPALETTE Value) {
  if (Value == FPalette.Get()) return;
  FreeContext();
  FPalette.Reset(Value);
  DIBSECTION ds;
  if (Value && GetDibSection(FHandle.Get(), ds) && ds.dsBmih.biBitCount <= 8) {
    PALETTEENTRY entries[256] = {};
    RGBQUAD colors[256] = {};
    UINT n = GetPaletteEntries(Value, 0, 1u << ds.dsBmih.biBitCount, entries);
    for (UINT i = 0; i < n; ++i) colors[i] = {entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
    TMemoryDC dc(CreateCompatibleDC(nullptr));
    TSelectObject sel(dc.Get(), FHandle.Get());
    SetDIBColorTable(dc.Get(), 0, n, colors);
  }
  SetPaletteModified(true);
  Changed(this);
}

HBITMAP TBitmap::Handle() {
  FreeContext();  // so that the borrower can select it into a DC of its own
  return FHandle.Get();
}

void TBitmap::SetHandle(HBITMAP Value) {
  if (Value == FHandle.Get()) return;
  ReplaceHandle(Value);
}

HBITMAP TBitmap::ReleaseHandle() {
  FreeContext();
  return FHandle.Release();
}

HPALETTE TBitmap::ReleasePalette() {
  FreeContext();
  return FPalette.Release();
}

TPixelFormat TBitmap::PixelFormat() {
  if (!FHandle) return FPixelFormat;
  DIBSECTION ds;
  if (GetDibSection(FHandle.Get(), ds)) return FormatOfDib(ds);
  BITMAP bm{};
  GetObjectW(FHandle.Get(), sizeof bm, &bm);
  return bm.bmBitsPixel == 1 ? pf1bit : pfDevice;
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == pfCustom) throw EInvalidGraphic(sInvalidPixelFormat);
  if (Value == PixelFormat()) return;
  if (!FHandle) {
    FPixelFormat = Value;
    return;
  }
  TUniqueBitmap image = CopyImage(Width(), Height(), Value);
  ReplaceHandle(image.Release());
}

void* TBitmap::ScanLine(int Row) {
  DIBSECTION ds;
  if (!GetDibSection(FHandle.Get(), ds) || Row < 0 || Row >= ds.dsBm.bmHeight)
    throw EInvalidGraphicOperation(sScanLine);
  GdiFlush();
  int stored = ds.dsBmih.biHeight > 0 ? ds.dsBm.bmHeight - 1 - Row : Row;
  return static_cast<BYTE*>(ds.dsBm.bmBits) + static_cast<size_t>(stored) * ds.dsBm.bmWidthBytes;
}

TCanvas* TBitmap::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TBitmapCanvas>(*this);
  return FCanvas.get();
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || Empty()) return;
  HDC dst = ACanvas->Handle();
  if (!dst) return;
  HDC src = Canvas()->Handle();
  TSelectPalette pal(dst, FPalette.Get());
  int oldMode = SetStretchBltMode(dst, COLORONCOLOR);
  COLORREF oldText = SetTextColor(dst, RGB(0, 0, 0));
  COLORREF oldBack = SetBkColor(dst, RGB(255, 255, 255));
  StretchBlt(dst, Rect.Left, Rect.Top, Rect.Width(), Rect.Height(), src, 0, 0, Width(), Height(), SRCCOPY);
  SetBkColor(dst, oldBack);
  SetTextColor(dst, oldText);
  SetStretchBltMode(dst, oldMode);
  ACanvas->Changed();
}

void TBitmap::LoadFromStream(TStream& Stream) {
  TLoadedBitmap loaded = ReadBitmapFile(Stream);
  FreeContext();
  FPalette = std::move(loaded.Palette);
  ReplaceHandle(loaded.Handle.Release());
}

void TBitmap::SaveToStream(TStream& Stream) {
  if (!FHandle) return;
  TBitmapInfo info{};
  int colors = 0;
  std::vector<BYTE> bits;
  DIBSECTION ds;
  if (GetDibSection(FHandle.Get(), ds)) {
    FreeContext();
    colors = DibInfo(FHandle.Get(), ds, info);
    GdiFlush();
    size_t size = static_cast<size_t>(ds.dsBm.bmWidthBytes) * static_cast<size_t>(ds.dsBm.bmHeight);
    auto* p = static_cast<const BYTE*>(ds.dsBm.bmBits);
    bits.assign(p, p + size);
  } else {
    BITMAP bm{};
    GetObjectW(FHandle.Get(), sizeof bm, &bm);
    info.Header.biSize = sizeof(BITMAPINFOHEADER);
    info.Header.biWidth = bm.bmWidth;
    info.Header.biHeight = bm.bmHeight;
    info.Header.biPlanes = 1;
    info.Header.biBitCount = bm.bmBitsPixel == 1 ? 1 : 24;
    info.Header.biCompression = BI_RGB;
    bits.resize(static_cast<size_t>(RowBytes(bm.bmWidth, info.Header.biBitCount) * bm.bmHeight));
    FreeContext();
    TWindowDC screen;
    TSelectPalette pal(screen.Get(), FPalette.Get());
    if (!GetDIBits(screen.Get(), FHandle.Get(), 0, static_cast<UINT>(bm.bmHeight), bits.data(),
                   reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS))
      throw EInvalidGraphic(sInvalidBitmap);
    if (info.Header.biBitCount == 1) colors = 2;
    info.Header.biClrUsed = static_cast<DWORD>(colors);
    info.Header.biClrImportant = 0;
  }
  info.Header.biSize = sizeof(BITMAPINFOHEADER);
  info.Header.biSizeImage = static_cast<DWORD>(bits.size());
  DWORD masks = info.Header.biCompression == BI_BITFIELDS ? DWORD(kMaskBytes) : 0u;
  DWORD tableBytes = masks + static_cast<DWORD>(colors) * sizeof(RGBQUAD);
  DWORD offBits = kFileHeaderSize + kInfoHeaderSize + tableBytes;
  const BITMAPFILEHEADER file{kBitmapFileType, offBits + static_cast<DWORD>(bits.size()), 0, 0, offBits};
  Stream.WriteBuffer(&file, sizeof file);
  Stream.WriteBuffer(&info.Header, kInfoHeaderSize);
  Stream.WriteBuffer(info.Colors, tableBytes);
  Stream.WriteBuffer(bits.data(), static_cast<std::int64_t>(bits.size()));
}

void TBitmap::LoadFromClipboardFormat(UINT AFormat, HANDLE AData, HPALETTE APalette) {
  if (AFormat != CF_BITMAP || !AData) throw EInvalidGraphic(sUnknownClipboardFormat);
  TUniqueBitmap copy = CopyBitmap(static_cast<HBITMAP>(AData));
  TUniquePalette palette(CopyPalette(APalette));
  FreeContext();
  FPalette = std::move(palette);
  ReplaceHandle(copy.Release());
}

void TBitmap::SaveToClipboardFormat(UINT& AFormat, HANDLE& AData, HPALETTE& APalette) {
  TUniqueBitmap copy = CopyBitmap(FHandle.Get());
  APalette = CopyPalette(FPalette.Get());
  AFormat = CF_BITMAP;
  AData = copy.Release();
}

HPALETTE CopyPalette(HPALETTE Palette) {
  if (!Palette) return nullptr;
  WORD count = 0;
  if (!GetObjectW(Palette, sizeof count, &count) || count == 0) return nullptr;
  std::vector<BYTE> buffer(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * count);
  auto* log = reinterpret_cast<LOGPALETTE*>(buffer.data());
  log->palVersion = 0x300;
  log->palNumEntries = count;
  GetPaletteEntries(Palette, 0, count, log->palPalEntry);
  return CreatePalette(log);
}

}  // namespace vcl
