// Packed DIB headers of every form, where their parts lie, and the BMP file made for a dropped DIB.
#include <gtest/gtest.h>

#include "BlockTestSupport.h"
#include "formats/KXDIBBlock.h"

using namespace kestrix::blocks;
using namespace blockstest;

namespace {

// An info header of Size bytes (40, or larger with the masks at offset 40 and zeros after).
std::string Info(std::int32_t width, std::int32_t height, std::uint16_t bits, std::uint32_t compression = 0,
                 std::uint32_t clrUsed = 0, std::uint32_t size = 40, std::uint32_t sizeImage = 0) {
  std::string h = LE32(size) + LE32(static_cast<std::uint32_t>(width)) + LE32(static_cast<std::uint32_t>(height)) + LE16(1) +
                  LE16(bits) + LE32(compression) + LE32(sizeImage) + LE32(11) + LE32(12) + LE32(clrUsed) + LE32(0);
  if (size >= 52) h += LE32(0xF800) + LE32(0x07E0) + LE32(0x001F);
  if (size > h.size()) h.resize(size, '\0');
  return h;
}

std::string Core(std::uint16_t width, std::uint16_t height, std::uint16_t bits) {
  return LE32(12) + LE16(width) + LE16(height) + LE16(1) + LE16(bits);
}

std::string Pad(std::size_t n) { return std::string(n, '\x5A'); }

}  // namespace

TEST(DIBHeader, FieldsAndLayoutOfEachForm) {
  struct Case {
    const char* what;
    std::string dib;
    bool core;
    std::uint64_t colours, tableOffset, pixelOffset, pixelBytes;
    bool hasMasks;
    std::uint32_t redMask;
  } cases[] = {
      {"core, 8 bits", Core(3, 2, 8), true, 256, 12, 12 + 256 * 3, 8, false, 0},
      {"info, 4 bits, full table implied", Info(3, 2, 4), false, 16, 40, 40 + 64, 8, false, 0},
      {"info, 2 bits, full table implied", Info(17, 1, 2), false, 4, 40, 40 + 16, 8, false, 0},
      {"info, 24 bits, hint table", Info(2, -3, 24, 0, 5), false, 5, 40, 40 + 20, 24, false, 0},
      {"info, 16 bits, no table", Info(2, 1, 16), false, 0, 40, 40, 4, false, 0},
      {"bit fields after a 40-byte header", Info(2, 1, 16, 3) + LE32(0x7C00) + LE32(0x03E0) + LE32(0x1F), false, 0, 52, 52, 4, true,
       0x7C00},
      {"bit fields, masks not in the bytes", Info(2, 1, 16, 3), false, 0, 52, 52, 4, true, 0},
      {"bit fields inside a V5 header", Info(1, 1, 32, 3, 0, 124), false, 0, 124, 124, 4, true, 0xF800},
      {"bit fields inside a V4 header", Info(1, 1, 32, 3, 0, 108), false, 0, 108, 108, 4, true, 0xF800},
      {"bit fields, a 48-byte header has no masks", Info(1, 1, 32, 3, 0, 48), false, 0, 48, 48, 4, false, 0},
      {"run-length: SizeImage", Info(4, 4, 8, 1, 2, 40, 77), false, 2, 40, 48, 77, false, 0},
      {"no width: no rows", Info(0, 5, 24), false, 0, 40, 40, 0, false, 0},
  };
  for (const Case& c : cases) {
    TExact exact(c.dib);
    const auto h = ReadDIBHeader(exact.View());
    ASSERT_TRUE(h) << c.what;
    EXPECT_EQ(h->Core, c.core) << c.what;
    EXPECT_EQ(h->Colours, c.colours) << c.what;
    EXPECT_EQ(h->ColourTableOffset, c.tableOffset) << c.what;
    EXPECT_EQ(h->PixelOffset, c.pixelOffset) << c.what;
    EXPECT_EQ(h->PixelBytes(), c.pixelBytes) << c.what;
    EXPECT_EQ(h->HasMasks, c.hasMasks) << c.what;
    EXPECT_EQ(h->Masks[0], c.redMask) << c.what;
  }
  for (const std::string& bad : {std::string(), Info(1, 1, 24).substr(0, 39), Info(1, 1, 24, 0, 0, 20), LE32(4096) + Info(1, 1, 24).substr(4),
                                 Core(1, 1, 24).substr(0, 11)})
    EXPECT_FALSE(ReadDIBHeader(TExact(bad).View())) << bad.size() << " bytes";
}

TEST(DIBHeader, WhatTheBitmapReaderLoads) {
  struct Case {
    const char* what;
    std::string dib;
    bool loadable;
  } cases[] = {
      {"1 bit", Info(1, 1, 1), true},           {"24 bits top-down", Info(1, -1, 24), true},
      {"2 bits", Info(1, 1, 2), false},         {"bit fields of 24 bits", Info(1, 1, 24, 3), false},
      {"RLE8", Info(1, 1, 8, 1), true},         {"top-down RLE8", Info(1, -1, 8, 1), false},
      {"RLE4 of 8 bits", Info(1, 1, 8, 2), false}, {"JPEG", Info(1, 1, 0, 4), false},
      {"height 0", Info(1, 0, 24), false},      {"height INT32_MIN", Info(1, INT32_MIN, 24), false},
      {"2^28 pixels", Info(16384, 16384, 8), true}, {"one row more", Info(16384, 16385, 8), false},
      {"core 24 bits", Core(1, 1, 24), true},
  };
  for (const Case& c : cases) EXPECT_EQ(DIBIsLoadable(*ReadDIBHeader(c.dib)), c.loadable) << c.what;
}

TEST(BMPFileFromDIB, TheFileHeaderOrNothingForABlockThatClaimsMore) {
  struct Case {
    const char* what;
    std::string dib;
    std::uint32_t offBits;  // 0: no file
  } cases[] = {
      {"4 bits", Info(3, 2, 4) + Pad(64 + 8), 14 + 40 + 64},
      {"core, 8 bits", Core(2, 1, 8) + Pad(256 * 3 + 4), 14 + 12 + 256 * 3},
      {"bit fields after a 40-byte header: masks not counted", Info(2, 1, 16, 3) + Pad(12 + 4), 14 + 40},
      {"V5 header", Info(1, 1, 24, 0, 0, 124) + Pad(4), 14 + 124},
      {"run-length of unknown size", Info(2, 2, 8, 1, 1) + Pad(4 + 6), 14 + 40 + 4},
      {"one pixel row short", Info(4, 3, 24) + Pad(2 * 12 + 11), 0},
      {"masks missing", Info(1, 1, 32, 3) + Pad(8), 0},
      {"colour table beyond the block", Info(1, 1, 8) + Pad(255 * 4), 0},
      {"huge colour count", Info(1, 1, 8, 0, 0xFFFFFFFF) + Pad(64), 0},
      {"width overflowing a row", Info(0x7FFFFFFF, 0x7FFFFFFF, 32) + Pad(64), 0},
      {"compressed size beyond the block", Info(2, 2, 8, 1, 1, 40, 7) + Pad(4 + 6), 0},
      {"a BMP file given as a DIB", Bytes("BM\x46\0\0\0\0\0\0\0\x36\0\0\0") + Info(1, 1, 24) + Pad(4), 0},
  };
  for (const Case& c : cases) {
    TExact exact(c.dib);
    const std::string file = BMPFileFromDIB(exact.View());
    if (!c.offBits) {
      EXPECT_EQ(file, "") << c.what;
      continue;
    }
    const auto header = ReadBMPFileHeader(file);
    ASSERT_TRUE(header) << c.what;
    EXPECT_EQ(header->Size, c.dib.size() + 14) << c.what;
    EXPECT_EQ(header->OffBits, c.offBits) << c.what;
    EXPECT_EQ(file.substr(6, 4), std::string(4, '\0')) << c.what;
    EXPECT_EQ(file.substr(14), c.dib) << c.what;
  }
  EXPECT_FALSE(ReadBMPFileHeader(Bytes("BA\0\0\0\0\0\0\0\0\0\0\0\0")));
  EXPECT_FALSE(ReadBMPFileHeader("BM"));
}
