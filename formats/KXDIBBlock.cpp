#include "formats/KXDIBBlock.h"

#include <limits>

namespace kestrix::blocks {

namespace {

// Headers from 52 bytes on (version 2 and later) hold the masks themselves.
constexpr std::size_t kHeaderWithMasks = BitmapMasksOffset + BitmapMaskBytes;

std::uint64_t DefaultColours(std::uint16_t Bits) {
  return (Bits == 1 || Bits == 2 || Bits == 4 || Bits == 8) ? std::uint64_t(1) << Bits : 0;
}

}  // namespace

std::optional<TDIBHeader> ReadDIBHeader(std::string_view DIB) {
  TDIBHeader h;
  h.HeaderSize = ReadLE32(DIB, 0);
  if (h.HeaderSize == BitmapCoreHeaderSize) {
    if (DIB.size() < BitmapCoreHeaderSize) return std::nullopt;
    h.Core = true;
    h.Width = ReadLE16(DIB, BitmapCoreWidthOffset);
    h.Height = ReadLE16(DIB, BitmapCoreHeightOffset);
    h.Planes = ReadLE16(DIB, BitmapCorePlanesOffset);
    h.BitCount = ReadLE16(DIB, BitmapCoreBitCountOffset);
    h.ColourEntrySize = RGBTripleSize;
  } else {
    if (h.HeaderSize < BitmapInfoHeaderSize || h.HeaderSize > DIB.size()) return std::nullopt;
    h.Width = static_cast<std::int32_t>(ReadLE32(DIB, BitmapWidthOffset));
    h.Height = static_cast<std::int32_t>(ReadLE32(DIB, BitmapHeightOffset));
    h.Planes = ReadLE16(DIB, BitmapPlanesOffset);
    h.BitCount = ReadLE16(DIB, BitmapBitCountOffset);
    h.Compression = ReadLE32(DIB, BitmapCompressionOffset);
    h.SizeImage = ReadLE32(DIB, BitmapSizeImageOffset);
    h.XPelsPerMeter = static_cast<std::int32_t>(ReadLE32(DIB, BitmapXPelsOffset));
    h.YPelsPerMeter = static_cast<std::int32_t>(ReadLE32(DIB, BitmapYPelsOffset));
    h.ClrUsed = ReadLE32(DIB, BitmapClrUsedOffset);
    h.ClrImportant = ReadLE32(DIB, BitmapClrImportantOffset);
    if (h.Compression == BitmapBitFields) {
      if (h.HeaderSize == BitmapInfoHeaderSize) h.MaskBytesAfterHeader = BitmapMaskBytes;
      h.HasMasks = h.HeaderSize == BitmapInfoHeaderSize || h.HeaderSize >= kHeaderWithMasks;
      if (h.HasMasks && Fits(DIB.size(), BitmapMasksOffset, BitmapMaskBytes))
        for (std::size_t i = 0; i < 3; ++i) h.Masks[i] = ReadLE32(DIB, BitmapMasksOffset + 4 * i);
    }
  }
  h.Colours = h.ClrUsed ? h.ClrUsed : DefaultColours(h.BitCount);
  h.ColourTableOffset = h.HeaderSize + h.MaskBytesAfterHeader;
  h.PixelOffset = h.ColourTableOffset + h.Colours * h.ColourEntrySize;
  if (h.Width > 0 && h.BitCount > 0) h.RowBytes = (std::uint64_t(h.Width) * h.BitCount + 31) / 32 * 4;
  h.Rows = h.Height < 0 ? std::uint64_t(-std::int64_t(h.Height)) : std::uint64_t(h.Height);
  return h;
}

bool DIBFitsBlock(const TDIBHeader& Header, std::uint64_t BlockSize) {
  if (Header.PixelOffset > BlockSize) return false;
  const std::uint64_t avail = BlockSize - Header.PixelOffset;
  if (!Header.Uncompressed()) return Header.SizeImage <= avail;
  if (Header.RowBytes == 0 || Header.Rows == 0) return false;
  return Header.Rows <= avail / Header.RowBytes;
}

bool DIBIsLoadable(const TDIBHeader& Header) {
  const std::uint16_t bits = Header.BitCount;
  if (Header.Width <= 0 || Header.Height == 0 || Header.Height == std::numeric_limits<std::int32_t>::min()) return false;
  bool known;
  switch (Header.Compression) {
    case BitmapRGB: known = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; break;
    case BitmapBitFields: known = bits == 16 || bits == 32; break;
    case BitmapRLE8: known = bits == 8 && Header.Height > 0; break;
    case BitmapRLE4: known = bits == 4 && Header.Height > 0; break;
    default: known = false;
  }
  return known && std::uint64_t(Header.Width) * Header.Rows <= MaxBitmapPixels;
}

std::optional<TBMPFileHeader> ReadBMPFileHeader(std::string_view File) {
  if (File.size() < BitmapFileHeaderSize || ReadLE16(File, 0) != BitmapFileType) return std::nullopt;
  return TBMPFileHeader{BitmapFileType, ReadLE32(File, BitmapFileSizeOffset), ReadLE32(File, BitmapFileOffBitsOffset)};
}

std::string BMPFileFromDIB(std::string_view DIB) {
  const std::optional<TDIBHeader> h = ReadDIBHeader(DIB);
  // A file header cannot state the size of a DIB of 4 GB or more.
  if (!h || !DIBFitsBlock(*h, DIB.size()) || DIB.size() > std::numeric_limits<std::uint32_t>::max() - BitmapFileHeaderSize)
    return {};
  // bfOffBits is where the pixels start: after the header, the masks that follow a 40-byte header
  // and the colour table. Readers that trust it would otherwise take the masks for pixels.
  const std::uint64_t offBits = BitmapFileHeaderSize + h->PixelOffset;
  std::string file;
  file.reserve(BitmapFileHeaderSize + DIB.size());
  AppendLE16(file, BitmapFileType);
  AppendLE32(file, static_cast<std::uint32_t>(BitmapFileHeaderSize + DIB.size()));
  AppendLE32(file, 0);  // bfReserved1, bfReserved2
  AppendLE32(file, static_cast<std::uint32_t>(offBits));
  file.append(DIB);
  return file;
}

std::string DIBV5FromBGRA(std::uint32_t Width, std::uint32_t Height, std::string_view TopDownBGRA) {
  constexpr std::uint32_t kV5HeaderSize = 124;
  const std::uint64_t rowBytes = std::uint64_t{Width} * 4;
  const std::uint64_t pixelBytes = rowBytes * Height;
  if (Width == 0 || Height == 0 || Width > 0x7FFFFFFF || Height > 0x7FFFFFFF || pixelBytes > 0x7FFFFFFF - kV5HeaderSize ||
      TopDownBGRA.size() < pixelBytes)
    return {};
  std::string block;
  block.reserve(kV5HeaderSize + static_cast<std::size_t>(pixelBytes));
  AppendLE32(block, kV5HeaderSize);
  AppendLE32(block, Width);
  AppendLE32(block, Height);  // positive: bottom-up rows
  AppendLE16(block, 1);       // planes
  AppendLE16(block, 32);
  AppendLE32(block, BitmapBitFields);
  AppendLE32(block, static_cast<std::uint32_t>(pixelBytes));
  AppendLE32(block, 2835);  // 72 dpi, both ways
  AppendLE32(block, 2835);
  AppendLE32(block, 0);  // colours used, important
  AppendLE32(block, 0);
  for (std::uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) AppendLE32(block, mask);
  AppendLE32(block, 0x73524742);  // LCS_sRGB
  block.append(36 + 12, '\0');    // endpoints, gamma
  AppendLE32(block, 4);           // LCS_GM_IMAGES
  block.append(12, '\0');         // profile data, size, reserved
  for (std::uint64_t row = Height; row-- > 0;)
    block.append(TopDownBGRA.substr(static_cast<std::size_t>(row * rowBytes), static_cast<std::size_t>(rowBytes)));
  return block;
}

}  // namespace kestrix::blocks
