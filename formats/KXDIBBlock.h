#pragma once
// Packed DIBs (CF_DIB blocks, and the part of a BMP file after its file header) and BMP file
// headers, read from bytes. Standard C++ only: see KXBlockLayout.h. Every read is checked against
// the bytes given; nothing here trusts a size the data states.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "formats/KXBlockBytes.h"
#include "formats/KXBlockLayout.h"

namespace kestrix::blocks {

// The header of a packed DIB and where the parts behind it lie, all offsets from the DIB's start.
// Values the header cannot express (a compression an old core header lacks) read as 0.
struct TDIBHeader {
  std::uint32_t HeaderSize = 0;  // 12 (core), 40 (info), 108 (V4), 124 (V5), or any other from 40
  bool Core = false;
  std::int32_t Width = 0;        // a core header's 16-bit fields are unsigned
  std::int32_t Height = 0;       // negative: top-down rows
  std::uint16_t Planes = 0;
  std::uint16_t BitCount = 0;
  std::uint32_t Compression = BitmapRGB;
  std::uint32_t SizeImage = 0;
  std::int32_t XPelsPerMeter = 0;
  std::int32_t YPelsPerMeter = 0;
  std::uint32_t ClrUsed = 0;
  std::uint32_t ClrImportant = 0;
  // BI_BITFIELDS masks (red, green, blue) at offset 40: after a 40-byte header, inside a header of
  // 52 bytes or more. Read when the given bytes hold them; zeros otherwise.
  bool HasMasks = false;
  std::uint32_t Masks[3] = {};
  std::uint64_t MaskBytesAfterHeader = 0;  // 12 for a 40-byte header with BI_BITFIELDS, else 0
  // The colour table: biClrUsed entries, or 2^bits when that is 0 and the depth is 1, 2, 4 or 8.
  std::uint64_t Colours = 0;
  std::uint32_t ColourEntrySize = RGBQuadSize;  // RGBTripleSize after a core header
  std::uint64_t ColourTableOffset = 0;          // header + masks after it
  std::uint64_t PixelOffset = 0;                // colour table's offset + its bytes
  // Pixel rows of an uncompressed (BI_RGB or BI_BITFIELDS) DIB: DWORD-aligned rows of |Height|
  // rows; 0 when width or depth is not positive. Compressed DIBs state their size in SizeImage.
  std::uint64_t RowBytes = 0;
  std::uint64_t Rows = 0;
  bool Uncompressed() const { return Compression == BitmapRGB || Compression == BitmapBitFields; }
  std::uint64_t PixelBytes() const { return Uncompressed() ? RowBytes * Rows : SizeImage; }
};

// The header at the start of DIB: a core header (size 12, 12 bytes given) or a header of 40 bytes
// or more that lies whole inside DIB. nullopt for any other size or a shorter DIB.
KX_BLOCKS_API std::optional<TDIBHeader> ReadDIBHeader(std::string_view DIB);

// True when a DIB block of BlockSize bytes holds everything Header declares: the colour table,
// masks after the header, and the pixels (for uncompressed DIBs a positive width, a non-zero
// height and depth, and every row; for others SizeImage bytes, 0 meaning unknown).
KX_BLOCKS_API bool DIBFitsBlock(const TDIBHeader& Header, std::uint64_t BlockSize);

// True for the forms the bitmap reader loads: a positive width, a non-zero height (not
// INT32_MIN), no more than MaxBitmapPixels pixels (GDI cannot create larger bitmaps either, and an
// untrusted header must not make a reader reserve gigabytes), and BI_RGB of 1, 4, 8, 16, 24 or 32 bits,
// BI_BITFIELDS of 16 or 32 bits, or bottom-up BI_RLE8 (8 bits) or BI_RLE4 (4 bits).
inline constexpr std::uint64_t MaxBitmapPixels = std::uint64_t(1) << 28;
KX_BLOCKS_API bool DIBIsLoadable(const TDIBHeader& Header);

// The 14-byte header of a BMP file.
struct TBMPFileHeader {
  std::uint16_t Type = 0;
  std::uint32_t Size = 0;
  std::uint32_t OffBits = 0;
};
// The file header at the start of File; nullopt when it is shorter than 14 bytes or its type is
// not "BM".
KX_BLOCKS_API std::optional<TBMPFileHeader> ReadBMPFileHeader(std::string_view File);

// A BMP file for a packed DIB: a file header (bfSize 14 + the DIB's size, bfOffBits 14 + the
// header size + the masks after a 40-byte header + the colour table's bytes) followed by every
// byte of DIB. Empty unless
// ReadDIBHeader reads DIB and DIBFitsBlock holds for its whole size.
KX_BLOCKS_API std::string BMPFileFromDIB(std::string_view DIB);

// A CF_DIBV5 block for a 32-bit picture with alpha: a 124-byte BITMAPV5HEADER (BI_BITFIELDS, the
// masks of BGRA bytes in the header, sRGB), then the rows bottom-up. TopDownBGRA holds Width x
// Height pixels of four bytes, top row first, alpha not premultiplied. Empty when it holds fewer
// bytes or the size is zero or too large for one block.
KX_BLOCKS_API std::string DIBV5FromBGRA(std::uint32_t Width, std::uint32_t Height, std::string_view TopDownBGRA);

}  // namespace kestrix::blocks
