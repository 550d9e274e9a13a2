#pragma once
// Byte layouts of the Windows structures that foreign blocks carry (DROPFILES, the file group
// descriptors, the bitmap headers, METAFILEPICT, the browser's image block), as offsets and sizes.
// The parsers read blocks through these values alone, without Windows headers, so that they also
// build natively for sanitizer and fuzzing runs; KXBlockLayout.cpp, compiled in the Windows build
// only, checks each value against the Windows headers.
#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include "framework/Export.h"
#define KX_BLOCKS_API KX_API
#else
#define KX_BLOCKS_API
#endif

namespace kestrix::blocks {

enum : std::size_t {
  // DROPFILES: pFiles, pt.x, pt.y, fNC, fWide; the name list starts at pFiles.
  HDROPHeaderSize = 20,
  HDROPFilesOffset = 0,
  HDROPWideOffset = 16,

  // FILEGROUPDESCRIPTORA/W: cItems, then the records.
  FileGroupCountSize = 4,
  FileDescriptorSizeW = 592,
  FileDescriptorSizeA = 332,
  // A record's fields (the same in both forms up to cFileName).
  FileDescriptorFlagsOffset = 0,
  FileDescriptorClsidOffset = 4,
  FileDescriptorSizelOffset = 20,
  FileDescriptorPointlOffset = 28,
  FileDescriptorAttributesOffset = 36,
  FileDescriptorCreationTimeOffset = 40,
  FileDescriptorLastAccessTimeOffset = 48,
  FileDescriptorLastWriteTimeOffset = 56,
  FileDescriptorSizeHighOffset = 64,
  FileDescriptorSizeLowOffset = 68,
  FileDescriptorNameOffset = 72,  // cFileName inside a record
  FileDescriptorNameUnits = 260,  // MAX_PATH code units (W) or bytes (A)

  // BITMAPFILEHEADER (packed): bfType, bfSize, bfReserved1, bfReserved2, bfOffBits.
  BitmapFileHeaderSize = 14,
  BitmapFileSizeOffset = 2,
  BitmapFileOffBitsOffset = 10,

  // BITMAPCOREHEADER: bcSize, bcWidth (16 bits), bcHeight (16 bits), bcPlanes, bcBitCount.
  BitmapCoreHeaderSize = 12,
  BitmapCoreWidthOffset = 4,
  BitmapCoreHeightOffset = 6,
  BitmapCorePlanesOffset = 8,
  BitmapCoreBitCountOffset = 10,

  // BITMAPINFOHEADER, the first 40 bytes of every later header (V4, V5).
  BitmapInfoHeaderSize = 40,
  BitmapWidthOffset = 4,
  BitmapHeightOffset = 8,
  BitmapPlanesOffset = 12,
  BitmapBitCountOffset = 14,
  BitmapCompressionOffset = 16,
  BitmapSizeImageOffset = 20,
  BitmapXPelsOffset = 24,
  BitmapYPelsOffset = 28,
  BitmapClrUsedOffset = 32,
  BitmapClrImportantOffset = 36,
  BitmapV4HeaderSize = 108,
  BitmapV5HeaderSize = 124,
  // The three colour masks of BI_BITFIELDS: right after a 40-byte header, inside a larger one
  // (bV4RedMask and on); either way at offset 40 of the DIB.
  BitmapMasksOffset = 40,
  BitmapMaskBytes = 12,
  RGBTripleSize = 3,  // a colour entry after a core header
  RGBQuadSize = 4,    // a colour entry after any other header

  // METAFILEPICT: mm, xExt, yExt (LONGs), then hMF aligned to the handle's width.
  MetafilePictExtentsSize = 12,

  // "Netscape Image Format": the image's URL (ANSI) starts here.
  NetscapeImageURLOffset = 44,
};

enum : std::uint16_t { BitmapFileType = 0x4D42 };  // "BM"

// biCompression values.
enum : std::uint32_t { BitmapRGB = 0, BitmapRLE8 = 1, BitmapRLE4 = 2, BitmapBitFields = 3, BitmapJPEG = 4, BitmapPNG = 5 };

// Where hMF lies in a METAFILEPICT of a build whose handles are HandleSize bytes wide (4 or 8),
// and the record's size.
constexpr std::size_t MetafilePictHandleOffset(std::size_t HandleSize) {
  return (MetafilePictExtentsSize + HandleSize - 1) / HandleSize * HandleSize;
}
constexpr std::size_t MetafilePictSize(std::size_t HandleSize) { return MetafilePictHandleOffset(HandleSize) + HandleSize; }

}  // namespace kestrix::blocks
