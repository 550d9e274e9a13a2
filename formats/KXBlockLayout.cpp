// Compiled in the Windows build only: ties every layout value of KXBlockLayout.h to the Windows
// header it stands for, so that a parser reading through them reads what Windows writes.
#include "formats/KXBlockLayout.h"

#include "formats/KXFileGroupBlock.h"

#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <cstdint>

namespace kestrix::blocks {

static_assert(sizeof(DROPFILES) == HDROPHeaderSize);
static_assert(offsetof(DROPFILES, pFiles) == HDROPFilesOffset);
static_assert(offsetof(DROPFILES, fWide) == HDROPWideOffset);

static_assert(offsetof(FILEGROUPDESCRIPTORW, fgd) == FileGroupCountSize);
static_assert(offsetof(FILEGROUPDESCRIPTORA, fgd) == FileGroupCountSize);
static_assert(sizeof(FILEDESCRIPTORW) == FileDescriptorSizeW);
static_assert(sizeof(FILEDESCRIPTORA) == FileDescriptorSizeA);
static_assert(offsetof(FILEDESCRIPTORW, cFileName) == FileDescriptorNameOffset);
static_assert(offsetof(FILEDESCRIPTORA, cFileName) == FileDescriptorNameOffset);
#define KX_CHECK_DESCRIPTOR_FIELD(field, offset)         \
  static_assert(offsetof(FILEDESCRIPTORW, field) == offset); \
  static_assert(offsetof(FILEDESCRIPTORA, field) == offset)
KX_CHECK_DESCRIPTOR_FIELD(dwFlags, FileDescriptorFlagsOffset);
KX_CHECK_DESCRIPTOR_FIELD(clsid, FileDescriptorClsidOffset);
KX_CHECK_DESCRIPTOR_FIELD(sizel, FileDescriptorSizelOffset);
KX_CHECK_DESCRIPTOR_FIELD(pointl, FileDescriptorPointlOffset);
KX_CHECK_DESCRIPTOR_FIELD(dwFileAttributes, FileDescriptorAttributesOffset);
KX_CHECK_DESCRIPTOR_FIELD(ftCreationTime, FileDescriptorCreationTimeOffset);
KX_CHECK_DESCRIPTOR_FIELD(ftLastAccessTime, FileDescriptorLastAccessTimeOffset);
KX_CHECK_DESCRIPTOR_FIELD(ftLastWriteTime, FileDescriptorLastWriteTimeOffset);
KX_CHECK_DESCRIPTOR_FIELD(nFileSizeHigh, FileDescriptorSizeHighOffset);
KX_CHECK_DESCRIPTOR_FIELD(nFileSizeLow, FileDescriptorSizeLowOffset);
#undef KX_CHECK_DESCRIPTOR_FIELD
// The flag values as plain numbers: the two enumerations are of different types.
constexpr bool SameFlag(std::uint32_t Ours, std::uint32_t Windows) { return Ours == Windows; }
static_assert(SameFlag(FileDescriptorHasClsid, FD_CLSID) && SameFlag(FileDescriptorHasSizePoint, FD_SIZEPOINT) &&
              SameFlag(FileDescriptorHasAttributes, FD_ATTRIBUTES) && SameFlag(FileDescriptorHasCreateTime, FD_CREATETIME) &&
              SameFlag(FileDescriptorHasAccessTime, FD_ACCESSTIME) && SameFlag(FileDescriptorHasWriteTime, FD_WRITESTIME) &&
              SameFlag(FileDescriptorHasFileSize, FD_FILESIZE) && SameFlag(FileDescriptorShowProgress, FD_PROGRESSUI) &&
              SameFlag(FileDescriptorUnicode, static_cast<std::uint32_t>(FD_UNICODE)));
static_assert(SameFlag(FileAttributeDirectory, FILE_ATTRIBUTE_DIRECTORY));
static_assert(sizeof(FILEDESCRIPTORW::cFileName) / sizeof(WCHAR) == FileDescriptorNameUnits);
static_assert(sizeof(FILEDESCRIPTORA::cFileName) == FileDescriptorNameUnits);

static_assert(sizeof(BITMAPFILEHEADER) == BitmapFileHeaderSize);
static_assert(offsetof(BITMAPFILEHEADER, bfSize) == BitmapFileSizeOffset);
static_assert(offsetof(BITMAPFILEHEADER, bfOffBits) == BitmapFileOffBitsOffset);

static_assert(sizeof(BITMAPCOREHEADER) == BitmapCoreHeaderSize);
static_assert(offsetof(BITMAPCOREHEADER, bcWidth) == BitmapCoreWidthOffset);
static_assert(offsetof(BITMAPCOREHEADER, bcHeight) == BitmapCoreHeightOffset);
static_assert(offsetof(BITMAPCOREHEADER, bcPlanes) == BitmapCorePlanesOffset);
static_assert(offsetof(BITMAPCOREHEADER, bcBitCount) == BitmapCoreBitCountOffset);

static_assert(sizeof(BITMAPINFOHEADER) == BitmapInfoHeaderSize);
static_assert(offsetof(BITMAPINFOHEADER, biWidth) == BitmapWidthOffset);
static_assert(offsetof(BITMAPINFOHEADER, biHeight) == BitmapHeightOffset);
static_assert(offsetof(BITMAPINFOHEADER, biPlanes) == BitmapPlanesOffset);
static_assert(offsetof(BITMAPINFOHEADER, biBitCount) == BitmapBitCountOffset);
static_assert(offsetof(BITMAPINFOHEADER, biCompression) == BitmapCompressionOffset);
static_assert(offsetof(BITMAPINFOHEADER, biSizeImage) == BitmapSizeImageOffset);
static_assert(offsetof(BITMAPINFOHEADER, biXPelsPerMeter) == BitmapXPelsOffset);
static_assert(offsetof(BITMAPINFOHEADER, biYPelsPerMeter) == BitmapYPelsOffset);
static_assert(offsetof(BITMAPINFOHEADER, biClrUsed) == BitmapClrUsedOffset);
static_assert(offsetof(BITMAPINFOHEADER, biClrImportant) == BitmapClrImportantOffset);
static_assert(sizeof(BITMAPV4HEADER) == BitmapV4HeaderSize);
static_assert(sizeof(BITMAPV5HEADER) == BitmapV5HeaderSize);
static_assert(offsetof(BITMAPV4HEADER, bV4RedMask) == BitmapMasksOffset);
static_assert(offsetof(BITMAPV5HEADER, bV5RedMask) == BitmapMasksOffset);
static_assert(sizeof(RGBTRIPLE) == RGBTripleSize);
static_assert(sizeof(RGBQUAD) == RGBQuadSize);
static_assert(BI_RGB == BitmapRGB && BI_RLE8 == BitmapRLE8 && BI_RLE4 == BitmapRLE4 && BI_BITFIELDS == BitmapBitFields &&
              BI_JPEG == BitmapJPEG && BI_PNG == BitmapPNG);

static_assert(offsetof(METAFILEPICT, hMF) == MetafilePictHandleOffset(sizeof(HMETAFILE)));
static_assert(sizeof(METAFILEPICT) == MetafilePictSize(sizeof(HMETAFILE)));
static_assert(MetafilePictSize(4) == 16 && MetafilePictSize(8) == 24);

}  // namespace kestrix::blocks
