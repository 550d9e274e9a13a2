// The blocks a foreign application drops: packed DIBs (given a file header; lying or short ones
// give an empty picture) and "Netscape Image Format" blocks (the URL at offset 44, never read past
// the block).
#include <gtest/gtest.h>

#include "GraphicTargetTestSupport.h"
#include "targets/KXGraphicDropTarget.h"

using namespace kestrix;
using namespace gtargettest;

namespace {

BITMAPFILEHEADER HeaderOf(const std::string& file) {
  BITMAPFILEHEADER h{};
  if (file.size() >= sizeof h) std::memcpy(&h, file.data(), sizeof h);
  return h;
}

std::string Padding(size_t n) { return std::string(n, '\x5A'); }

// An old-style 12-byte header (16-bit sizes; colour entries of three bytes).
std::string CoreHeader(WORD width, WORD height, WORD bits) {
  BITMAPCOREHEADER c{sizeof c, width, height, 1, bits};
  return std::string(reinterpret_cast<const char*>(&c), sizeof c);
}

}  // namespace

TEST(DroppedDIB, FileHeaderForWellFormedBlocks) {
  struct Case {
    const char* name;
    std::string dib;
    DWORD offBits;
  };
  const Case cases[] = {
      // 4 bits, biClrUsed 0: a full table of 16 colours.
      {"4-bit", DIBHeader(3, 2, 4, 0) + Padding(64 + 8), 14 + 40 + 64},
      {"8-bit, 3 colours", DIBHeader(4, 1, 8, 3) + Padding(12 + 4), 14 + 40 + 12},
      {"1-bit", DIBHeader(33, 1, 1, 0) + Padding(8 + 8), 14 + 40 + 8},
      {"24-bit", DIBHeader(1, -2, 24, 0) + Padding(8), 14 + 40},
      {"32-bit with hint table", DIBHeader(1, 1, 32, 2) + Padding(8 + 4), 14 + 40 + 8},
      {"bit fields after a 40-byte header", DIBHeader(2, 1, 16, 0, BI_BITFIELDS) + Padding(12 + 4), 14 + 40 + 12},
      {"version 5 header", DIBHeader(1, 1, 24, 0, BI_RGB, 124) + Padding(84 + 4), 14 + 124},
      {"run-length, size unknown", DIBHeader(2, 2, 8, 1, BI_RLE8) + Padding(4 + 6), 14 + 40 + 4},
      {"core header, 8-bit", CoreHeader(2, 1, 8) + Padding(256 * 3 + 4), 14 + 12 + 256 * 3},
      {"core header, 24-bit", CoreHeader(1, 2, 24) + Padding(8), 14 + 12},
  };
  for (const Case& c : cases) {
    std::string file = TGraphicDropTarget::BitmapFileFromDIB(c.dib.data(), c.dib.size());
    ASSERT_EQ(file.size(), c.dib.size() + 14) << c.name;
    BITMAPFILEHEADER h = HeaderOf(file);
    EXPECT_EQ(h.bfType, 0x4D42) << c.name;
    EXPECT_EQ(h.bfSize, c.dib.size() + 14) << c.name;
    EXPECT_EQ(h.bfReserved1 | h.bfReserved2, 0) << c.name;
    EXPECT_EQ(h.bfOffBits, c.offBits) << c.name;
    EXPECT_EQ(file.substr(14), c.dib) << c.name;
  }
}

TEST(DroppedDIB, BlocksThatClaimMoreThanTheyHoldGiveNothing) {
  struct Case {
    const char* name;
    std::string dib;
  };
  const std::string bmpFile = pictest::BmpFileOf(*pictest::QuarteredBitmap(4, 4, vcl::pf24bit));
  const Case cases[] = {
      {"shorter than an info header", DIBHeader(1, 1, 24, 0).substr(0, 39)},
      {"empty", ""},
      {"header size beyond the block", DIBHeader(1, 1, 24, 0, BI_RGB, 4096) + Padding(4)},
      {"header size neither core nor info", DIBHeader(1, 1, 24, 0, BI_RGB, 20) + Padding(4)},
      {"colour table beyond the block", DIBHeader(1, 1, 8, 0) + Padding(255 * 4)},
      {"core colour table beyond the block", CoreHeader(1, 1, 8) + Padding(255 * 3)},
      {"core rows beyond the block", CoreHeader(1, 3, 24) + Padding(8)},
      {"huge colour count", DIBHeader(1, 1, 8, 0xFFFFFFFF) + Padding(64)},
      {"one pixel row short", DIBHeader(4, 3, 24, 0) + Padding(2 * 12 + 11)},
      {"rows beyond the block (top-down)", DIBHeader(4, -3, 24, 0) + Padding(12)},
      {"width overflowing a row", DIBHeader(0x7FFFFFFF, 0x7FFFFFFF, 32, 0) + Padding(64)},
      {"no width", DIBHeader(0, 1, 24, 0) + Padding(16)},
      {"bit-field masks missing", DIBHeader(1, 1, 32, 0, BI_BITFIELDS) + Padding(8)},
      {"compressed size beyond the block", [] {
         std::string d = DIBHeader(2, 2, 8, 1, BI_RLE8) + Padding(4 + 6);
         DWORD sizeImage = 7;
         std::memcpy(d.data() + 20, &sizeImage, 4);
         return d;
       }()},
      // A BMP file handed over as CF_DIB: its file header is read as an info header.
      {"a whole BMP file", bmpFile},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TGraphicDropTarget::BitmapFileFromDIB(c.dib.data(), c.dib.size()), "") << c.name;
}

TEST(DroppedDIB, ThroughTheDropTargetABadBlockGivesAnEmptyPicture) {
  const std::string bmpFile = pictest::BmpFileOf(*pictest::QuarteredBitmap(4, 4, vcl::pf24bit));
  const std::string blocks[] = {
      DIBHeader(4, 300, 24, 0) + Padding(48),       // claims more rows than it holds
      DIBHeader(1, 1, 8, 100000) + Padding(16),     // claims more colours than it holds
      DIBHeader(1, 1, 24, 0).substr(0, 20),          // shorter than its header
      bmpFile,                                       // with a file header of its own
      DIBHeader(2, 2, 7, 0) + Padding(64),          // no such bit count: the bitmap reader refuses it
  };
  for (const std::string& dib : blocks) {
    BoundTarget b;
    b.target->setPreferredFormat(dgfBitmap);
    auto data = kxtest::MakeFake();
    data->Offer(CF_DIB, dib);
    auto [hr, effect] = b.DropAndPump(data.Get());
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
    ASSERT_EQ(b.drops.size(), 1u);
    EXPECT_TRUE(b.drops[0].empty);
    EXPECT_EQ(b.target->getDroppedGraphicFormat(), dgfBitmap);
  }
  EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
}

TEST(DroppedDIB, WithAndWithoutAFullColourTable) {
  // The same 4-bit image with biClrUsed 16 (as saved) and 0 (a full table implied).
  auto source = pictest::QuarteredBitmap(9, 5, vcl::pf4bit);
  std::string asSaved = PackedDIBOf(*source);
  std::string implied = asSaved;
  DWORD zero = 0;
  std::memcpy(implied.data() + 32, &zero, 4);
  for (const std::string& dib : {asSaved, implied}) {
    ASSERT_EQ(HeaderOf(TGraphicDropTarget::BitmapFileFromDIB(dib.data(), dib.size())).bfOffBits, 14u + 40 + 64);
    BoundTarget b;
    auto data = kxtest::MakeFake();
    data->Offer(CF_DIB, dib);
    b.DropAndPump(data.Get());
    ASSERT_EQ(b.drops.size(), 1u);
    vcl::TBitmap* dropped = b.target->getPicture()->Bitmap();
    for (POINT p : {POINT{0, 0}, POINT{8, 0}, POINT{0, 4}, POINT{8, 4}})
      EXPECT_EQ(dropped->Canvas()->Pixels(p.x, p.y), source->Canvas()->Pixels(p.x, p.y));
  }
}

TEST(NetscapeImageBlock, TheURLAtOffset44EndsAtZeroOrAtTheBlocksEnd) {
  struct Case {
    const char* name;
    std::string block;
    std::string url;
  };
  const Case cases[] = {
      {"terminated", Padding(44) + "http://a.test/x.gif" + '\0' + "junk", "http://a.test/x.gif"},
      {"unterminated", Padding(44) + "http://a.test/y.gif", "http://a.test/y.gif"},
      {"one byte of URL", Padding(44) + "h", "h"},
      {"44 bytes", Padding(44), ""},
      {"shorter", Padding(10), ""},
      {"empty", "", ""},
      {"zero at 44", Padding(44) + '\0' + "http://hidden", ""},
      {"zeros before 44 do not matter", std::string(44, '\0') + "u", "u"},
  };
  for (const Case& c : cases) {
    // The block lies in front of bytes that are not its own and hold no zero byte.
    const std::string memory = c.block + "BEYOND THE BLOCK";
    EXPECT_EQ(TGraphicDropTarget::URLFromNetscapeImage(memory.data(), c.block.size()), c.url) << c.name;
  }
}
