#include "gif/KXGIFDIB.h"

#include <algorithm>
#include <cstring>

#include "gif/KXGIFConsts.h"

namespace kestrix {

namespace {

enum : int {
  kInfoHeaderSize = 40,
  kColorTableSize = 256 * 4,
  kFileHeaderSize = 14,
};
enum : std::uint16_t { kBitmapFileType = 0x4D42 };  // "BM"

void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

}  // namespace

void PaletteToRGBQuads(void* Entries, int Count) {
  auto* p = static_cast<std::uint8_t*>(Entries);
  for (int i = 0; i < Count; ++i, p += 4) {
    std::swap(p[0], p[2]);
    p[3] = 0;
  }
}

int AlignedRowBytes(int Count, int Bits, int Align) {
  return static_cast<int>(((std::int64_t(Count) * Bits + Align - 1) & ~std::int64_t(Align - 1)) >> 3);
}

TDIBWriter::TDIBWriter(vcl::TBitmap* ABitmap, vcl::TPixelFormat APixelFormat, int AWidth, int AHeight, HPALETTE APalette)
    : TDIB(ABitmap, APixelFormat), FPalette(APalette), FHeight(AHeight), FWidth(AWidth) {
  if (APixelFormat != vcl::pf8bit && APixelFormat != vcl::pf24bit) throw GIFException(res::sGIFUnsupportedPixelFormat);
  if (AWidth == 0 || AHeight == 0) throw GIFException(res::sGIFInvalidImageDimensions);
}

TDIBWriter::~TDIBWriter() { ReleaseDIB(); }

int TDIBWriter::RowBytes() const { return AlignedRowBytes(FWidth, FPixelFormat == vcl::pf8bit ? 8 : 24, 32); }

void TDIBWriter::EnsureDIB() {
  if (!FDIBBits) AllocateDIB();
}

void TDIBWriter::AllocateDIB() {
  ReleaseDIB();
  const bool indexed = FPixelFormat == vcl::pf8bit;
  const int infoSize = indexed ? kInfoHeaderSize + kColorTableSize : kInfoHeaderSize;
  auto info = std::make_unique<std::uint8_t[]>(static_cast<size_t>(infoSize));
  std::uint8_t* h = info.get();
  Put32(h + 0, kInfoHeaderSize);
  Put32(h + 4, static_cast<std::uint32_t>(FWidth));
  Put32(h + 8, static_cast<std::uint32_t>(FHeight));
  Put16(h + 12, 1);
  Put16(h + 14, indexed ? 8 : 24);
  if (indexed) {
    WORD entries = 0;
    int copied = 0;
    if (FPalette && GetObjectW(FPalette, sizeof entries, &entries) && entries > 0) {
      copied = std::min<int>(entries, 256);
      GetPaletteEntries(FPalette, 0, static_cast<UINT>(copied), reinterpret_cast<PALETTEENTRY*>(h + kInfoHeaderSize));
      PaletteToRGBQuads(h + kInfoHeaderSize, copied);
    }
    Put32(h + 32, 256);
    Put32(h + 36, static_cast<std::uint32_t>(copied));
  }
  const std::int64_t bitsSize = std::int64_t(RowBytes()) * std::abs(FHeight);
  vcl::TUniqueGlobal memory(bitsSize > 0 && bitsSize <= INT32_MAX ? GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(bitsSize)) : nullptr);
  void* bits = memory ? GlobalLock(memory.Get()) : nullptr;
  if (!bits) throw vcl::EOutOfMemory(res::sGIFDIBOutOfMemory);
  FDIBInfo = std::move(info);
  FDIBInfoSize = infoSize;
  FDIBMemory = std::move(memory);
  FDIBBits = static_cast<std::uint8_t*>(bits);
  FDIBBitsSize = static_cast<int>(bitsSize);
}

void TDIBWriter::ReleaseDIB() {
  if (FDIBBits) GlobalUnlock(FDIBMemory.Get());
  FDIBBits = nullptr;
  FDIBMemory.Reset();
  FDIBInfo.reset();
}

void* TDIBWriter::GetScanline(int Row) {
  EnsureDIB();
  if (!FDIBBits) throw GIFException(res::sGIFNoDIB);
  if (Row < 0 || Row > FHeight - 1) throw vcl::EInvalidGraphicOperation(res::sScanLine);
  GdiFlush();
  const size_t rowBytes = static_cast<size_t>(RowBytes());
  if (FHeight > 0) return FDIBBits + static_cast<size_t>(FHeight - Row - 1) * rowBytes;
  return FDIBBits + static_cast<size_t>(Row) * rowBytes;
}

void TDIBWriter::UpdateBitmap() {
  if (!FDIBBits) return;
  std::uint8_t file[kFileHeaderSize] = {};
  Put16(file, kBitmapFileType);
  Put32(file + 2, static_cast<std::uint32_t>(kFileHeaderSize + FDIBInfoSize + FDIBBitsSize));
  Put32(file + 10, static_cast<std::uint32_t>(kFileHeaderSize + FDIBInfoSize));
  vcl::TMemoryStream stream;
  stream.WriteBuffer(file, sizeof file);
  stream.WriteBuffer(FDIBInfo.get(), FDIBInfoSize);
  stream.WriteBuffer(FDIBBits, FDIBBitsSize);
  stream.SetPosition(0);
  FBitmap->LoadFromStream(stream);
}

}  // namespace kestrix
