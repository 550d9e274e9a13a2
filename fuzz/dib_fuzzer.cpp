// Packed DIBs and BMP files: the input is read both as a CF_DIB block and as a BMP file. A DIB
// header lies inside the bytes it came from; a BMP file is made exactly for the DIBs that hold what
// they declare, and reading that file back gives the same header.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "formats/KXDIBBlock.h"

using namespace kestrix::blocks;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool SameHeader(const TDIBHeader& a, const TDIBHeader& b) {
  return a.HeaderSize == b.HeaderSize && a.Core == b.Core && a.Width == b.Width && a.Height == b.Height &&
         a.BitCount == b.BitCount && a.Compression == b.Compression && a.SizeImage == b.SizeImage && a.ClrUsed == b.ClrUsed &&
         a.HasMasks == b.HasMasks && std::memcmp(a.Masks, b.Masks, sizeof a.Masks) == 0 && a.Colours == b.Colours &&
         a.PixelOffset == b.PixelOffset && a.PixelBytes() == b.PixelBytes();
}

void CheckDIB(std::string_view dib) {
  const auto h = ReadDIBHeader(dib);
  const std::string file = BMPFileFromDIB(dib);
  if (!h) {
    Check(file.empty());
    return;
  }
  Check(h->Core ? dib.size() >= BitmapCoreHeaderSize : (h->HeaderSize >= BitmapInfoHeaderSize && h->HeaderSize <= dib.size()));
  Check(h->PixelOffset >= h->ColourTableOffset && h->ColourTableOffset >= h->HeaderSize);
  if (DIBIsLoadable(*h)) Check(std::uint64_t(h->Width) * h->Rows <= MaxBitmapPixels && h->RowBytes > 0);
  const bool fits = DIBFitsBlock(*h, dib.size());
  if (fits) Check(h->PixelOffset <= dib.size() && h->PixelBytes() <= dib.size() - h->PixelOffset);
  Check(file.empty() == !fits);
  if (file.empty()) return;
  const auto fileHeader = ReadBMPFileHeader(file);
  Check(fileHeader && fileHeader->Size == file.size() && fileHeader->OffBits <= BitmapFileHeaderSize + h->PixelOffset);
  Check(std::string_view(file).substr(BitmapFileHeaderSize) == dib);
  const auto again = ReadDIBHeader(std::string_view(file).substr(BitmapFileHeaderSize));
  Check(again && SameHeader(*h, *again));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckDIB(bytes);
  if (ReadBMPFileHeader(bytes)) CheckDIB(bytes.substr(BitmapFileHeaderSize));
  return 0;
}
