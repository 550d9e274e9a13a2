#include "framework/GraphicsIcon.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "framework/GraphicsDIB.h"

namespace vcl {

namespace {

const wchar_t* const sInvalidIcon = L"Icon image is not valid";
const wchar_t* const sChangeIconSize = L"Cannot change the size of an icon";
const wchar_t* const sOutOfResources = L"Out of system resources";

enum : WORD { kIconType = 1 };
enum : DWORD {
  kIconVersion = 0x00030000,  // what CreateIconFromResourceEx expects of icon resources
  kInfoHeaderSize = 40,
  kPngSignatureSize = 8,
};
constexpr BYTE kPngSignature[kPngSignatureSize] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

#pragma pack(push, 1)
struct TIconDir {
  WORD Reserved;
  WORD Type;
  WORD Count;
};
struct TIconDirEntry {
  BYTE Width;  // 0 stands for 256
  BYTE Height;
  BYTE ColorCount;
  BYTE Reserved;
  WORD Planes;
  WORD BitCount;
  DWORD BytesInRes;
  DWORD ImageOffset;
};
#pragma pack(pop)

std::int64_t RowBytes(std::int64_t width, int bits) { return ((width * bits + 31) & ~std::int64_t(31)) / 8; }

// A DIB image of an icon (header, colour table, colour rows, mask rows) must fit its bytes:
// CreateIconFromResourceEx reads as far as the header says.
bool DibImageFits(const BYTE* data, DWORD size) {
  if (size < kInfoHeaderSize) return false;
  BITMAPINFOHEADER h;
  std::memcpy(&h, data, sizeof h);
  const int bits = h.biBitCount;
  if (h.biSize < kInfoHeaderSize || h.biSize > size || h.biWidth <= 0 || h.biHeight <= 0 || h.biPlanes != 1) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (h.biCompression != BI_RGB) return false;
  const std::int64_t height = h.biHeight / 2;  // colour rows, then as many mask rows
  std::int64_t colors = bits <= 8 ? (h.biClrUsed ? std::min<std::int64_t>(h.biClrUsed, 1 << bits) : 1 << bits) : 0;
  std::int64_t needed = std::int64_t(h.biSize) + colors * 4 + RowBytes(h.biWidth, bits) * height + RowBytes(h.biWidth, 1) * height;
  return height > 0 && needed <= size;
}

struct TIconSize {
  int Width = 0;
  int Height = 0;
};

// The size of an icon; nothing for a handle that is not one.
std::optional<TIconSize> SizeOfIcon(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return std::nullopt;
  TUniqueBitmap color(info.hbmColor), mask(info.hbmMask);
  BITMAP bm{};
  if (color && GetObjectW(color.Get(), sizeof bm, &bm)) return TIconSize{bm.bmWidth, bm.bmHeight};
  // A monochrome icon keeps its mask and image one above the other in the mask bitmap.
  if (mask && GetObjectW(mask.Get(), sizeof bm, &bm)) return TIconSize{bm.bmWidth, bm.bmHeight / 2};
  return std::nullopt;
}

// Rows [FirstScan, FirstScan + Scans) of a bitmap, counted from the bottom as DIBs store them, in
// the given depth.
std::vector<BYTE> BottomUpRows(HBITMAP bitmap, int width, int fullHeight, int firstScan, int scans, int bits) {
  struct {
    BITMAPINFOHEADER Header;
    RGBQUAD Colors[2];
  } info{};
  info.Header = RGBDIBHeader(width, fullHeight, bits);
  std::vector<BYTE> rows(static_cast<size_t>(RowBytes(width, bits) * scans));
  TWindowDC screen;
  if (GetDIBits(screen.Get(), bitmap, static_cast<UINT>(firstScan), static_cast<UINT>(scans), rows.data(),
                reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) != scans)
    throw EInvalidGraphic(sInvalidIcon);
  return rows;
}

}  // namespace

TIcon::TIcon() = default;
TIcon::~TIcon() = default;

void TIcon::Assign(TPersistent* Source) {
  if (!Source) {
    SetHandle(nullptr);
    return;
  }
  if (auto* other = dynamic_cast<TIcon*>(Source)) {
    if (other == this) return;
    TUniqueIcon copy;
    if (other->FHandle) {
      copy.Reset(CopyIcon(other->FHandle.Get()));
      if (!copy) throw EOutOfMemory(sOutOfResources);
    }
    SetHandle(copy.Release());
    return;
  }
  TGraphic::Assign(Source);
}

void TIcon::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || !FHandle) return;
  HDC dc = ACanvas->Handle();
  if (!dc) return;
  DrawIconEx(dc, Rect.Left, Rect.Top, FHandle.Get(), Rect.Width(), Rect.Height(), 0, nullptr, DI_NORMAL);
  ACanvas->Changed();
}

void TIcon::SetWidth(int) { throw EInvalidGraphicOperation(sChangeIconSize); }
void TIcon::SetHeight(int) { throw EInvalidGraphicOperation(sChangeIconSize); }

void TIcon::SetHandle(HICON Value) {
  if (Value && Value == FHandle.Get()) return;
  TIconSize size;
  if (Value) {
    const std::optional<TIconSize> known = SizeOfIcon(Value);
    if (!known) throw EInvalidGraphic(sInvalidIcon);
    size = *known;
  }
  FHandle.Reset(Value);
  FWidth = size.Width;
  FHeight = size.Height;
  Changed(this);
}

HICON TIcon::ReleaseHandle() {
  FWidth = FHeight = 0;
  return FHandle.Release();
}

void TIcon::LoadFromStream(TStream& Stream) {
  const std::int64_t available = std::max<std::int64_t>(0, Stream.Size() - Stream.Position());
  TIconDir dir{};
  if (available < std::int64_t(sizeof dir)) throw EInvalidGraphic(sInvalidIcon);
  Stream.ReadBuffer(&dir, sizeof dir);
  const std::int64_t directorySize = std::int64_t(sizeof dir) + std::int64_t(sizeof(TIconDirEntry)) * dir.Count;
  if (dir.Reserved != 0 || dir.Type != kIconType || dir.Count == 0 || directorySize > available)
    throw EInvalidGraphic(sInvalidIcon);
  std::vector<TIconDirEntry> entries(dir.Count);
  Stream.ReadBuffer(entries.data(), std::int64_t(sizeof(TIconDirEntry)) * dir.Count);

  // Every image must lie after the directory and inside the stream; the file ends with the last.
  std::int64_t extent = directorySize;
  for (const TIconDirEntry& e : entries) {
    const std::int64_t end = std::int64_t(e.ImageOffset) + e.BytesInRes;
    if (e.BytesInRes == 0 || e.ImageOffset < directorySize || end > available) throw EInvalidGraphic(sInvalidIcon);
    extent = std::max(extent, end);
  }
  std::vector<BYTE> file(static_cast<size_t>(extent));
  Stream.ReadBuffer(file.data() + directorySize, extent - directorySize);

  const TIconDirEntry& first = entries.front();
  const BYTE* image = file.data() + first.ImageOffset;
  const bool png = first.BytesInRes >= kPngSignatureSize && std::memcmp(image, kPngSignature, kPngSignatureSize) == 0;
  if (!png && !DibImageFits(image, first.BytesInRes)) throw EInvalidGraphic(sInvalidIcon);
  const int width = first.Width ? first.Width : 256;
  const int height = first.Height ? first.Height : 256;
  TUniqueIcon icon(CreateIconFromResourceEx(const_cast<BYTE*>(image), first.BytesInRes, TRUE, kIconVersion, width,
                                            height, LR_DEFAULTCOLOR));
  if (!icon) throw EInvalidGraphic(sInvalidIcon);
  SetHandle(icon.Release());
}

void TIcon::SaveToStream(TStream& Stream) {
  if (!FHandle) return;
  ICONINFO info{};
  if (!GetIconInfo(FHandle.Get(), &info)) throw EInvalidGraphic(sInvalidIcon);
  TUniqueBitmap color(info.hbmColor), mask(info.hbmMask);
  const int w = FWidth, h = FHeight;
  std::vector<BYTE> image, andMask;
  if (color) {
    image = BottomUpRows(color.Get(), w, h, 0, h, 32);
    andMask = BottomUpRows(mask.Get(), w, h, 0, h, 1);
  } else {
    // The mask bitmap holds the AND mask above the image: counted from the bottom, the image's
    // rows come first.
    image = BottomUpRows(mask.Get(), w, 2 * h, 0, h, 32);
    andMask = BottomUpRows(mask.Get(), w, 2 * h, h, h, 1);
  }

  BITMAPINFOHEADER header = RGBDIBHeader(w, 2 * h, 32);  // the image and its mask
  header.biSizeImage = static_cast<DWORD>(image.size() + andMask.size());
  const TIconDir dir{0, kIconType, 1};
  const TIconDirEntry entry{static_cast<BYTE>(w >= 256 ? 0 : w), static_cast<BYTE>(h >= 256 ? 0 : h), 0, 0, 1, 32,
                            static_cast<DWORD>(sizeof header) + header.biSizeImage,
                            static_cast<DWORD>(sizeof dir + sizeof entry)};
  Stream.WriteBuffer(&dir, sizeof dir);
  Stream.WriteBuffer(&entry, sizeof entry);
  Stream.WriteBuffer(&header, sizeof header);
  Stream.WriteBuffer(image.data(), static_cast<std::int64_t>(image.size()));
  Stream.WriteBuffer(andMask.data(), static_cast<std::int64_t>(andMask.size()));
}

}  // namespace vcl
