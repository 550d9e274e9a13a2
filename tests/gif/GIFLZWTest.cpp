// The LZW decoder through TGIFSubImage.Decompress: hand-built code streams with known outcomes,
// and a comparison with the step-by-step reference decoder on thousands of random streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "GIFReferenceDecoder.h"
#include "GIFTestSupport.h"

using namespace kestrix;
using namespace giftest;

namespace {

struct TDecoded {
  std::vector<std::uint8_t> Pixels;
  Warnings Warned;
  std::wstring Error;
  std::int64_t Position = 0;
};

// Decodes Data (minimum code size byte first) into a width x height frame of an image whose
// logical screen is as large as a GIF allows, so that no bounds check interferes.
TDecoded Decode(const std::string& data, int width, int height, bool interlaced = false, int fill = -1) {
  TDecoded out;
  TGIFImage image;
  vcl::TStringStream screen(Header(65535, 65535, -1) + ";");
  image.LoadFromStream(screen);
  image.SetOnWarning([&](vcl::TObject*, TGIFSeverity, const std::wstring& m) { out.Warned.push_back(m); });
  TGIFSubImage frame(&image);
  frame.SetWidth(width);
  frame.SetHeight(height);
  frame.SetInterlaced(interlaced);
  if (fill >= 0) {
    auto* gce = new TGIFGraphicControlExtension(&frame);
    frame.Extensions()->Add(gce);
    gce->SetTransparentColorIndex(static_cast<std::uint8_t>(fill));
    gce->SetTransparent(true);
  }
  vcl::TStringStream stream(data);
  try {
    frame.Decompress(stream);
  } catch (const GIFException& e) {
    out.Error = e.Message();
  }
  if (frame.Data()) out.Pixels.assign(frame.Data(), frame.Data() + frame.DataSize());
  out.Position = stream.Position();
  return out;
}

std::vector<std::uint8_t> Px(std::initializer_list<int> values) { return {values.begin(), values.end()}; }

}  // namespace

TEST(GIFLZW, SinglePixelFrameEndsAfterTheTerminator) {
  std::string data = ImageData(2, {4, 1, 5});
  TDecoded d = Decode(data + "next", 1, 1);
  EXPECT_EQ(d.Pixels, Px({1}));
  EXPECT_TRUE(d.Warned.empty());
  EXPECT_EQ(d.Position, static_cast<std::int64_t>(data.size()));
}

TEST(GIFLZW, StringsOfTheTableIncludingTheOneBeingDefined) {
  // 6 = "1 2", 7 = "2 1"; 8 is defined by itself: the previous string "1 2" plus its first pixel.
  TDecoded d = Decode(ImageData(2, {4, 1, 2, 6, 8, 5}), 10, 1);
  EXPECT_EQ(d.Pixels, Px({1, 2, 1, 2, 1, 2, 1, 0, 0, 0}));
  EXPECT_TRUE(d.Warned.empty());
}

TEST(GIFLZW, EndCodeBeforeTheLastPixelKeepsTheFillValue) {
  struct Case {
    int fill;
    std::vector<std::uint8_t> expected;
  } cases[] = {{-1, Px({3, 2, 0, 0})}, {7, Px({3, 2, 7, 7})}};
  for (const auto& c : cases) {
    std::string data = ImageData(2, {4, 3, 2, 5});
    TDecoded d = Decode(data + "tail", 2, 2, false, c.fill);
    EXPECT_EQ(d.Pixels, c.expected) << c.fill;
    EXPECT_EQ(d.Position, static_cast<std::int64_t>(data.size())) << "skips to the byte after the terminator";
    EXPECT_TRUE(d.Warned.empty());
  }
}

TEST(GIFLZW, InterlacedFramesFillEveryRowOnceInPassOrder) {
  // Row r of the stream carries the value r; the frame must hold the rows in pass order.
  auto passOrder = [](int h) {
    std::vector<int> rows;
    for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
      for (int r = start; r < h; r += step) rows.push_back(r);
    return rows;
  };
  for (int h : {1, 2, 3, 5, 9, 17}) {
    const int w = 3;
    std::vector<int> pixels;
    for (int r = 0; r < h; ++r)
      for (int x = 0; x < w; ++x) pixels.push_back(r % 4);
    std::vector<int> codes{4};
    for (int p : pixels) codes.push_back(p);
    codes.push_back(5);
    TDecoded d = Decode(ImageData(2, codes), w, h, true);
    std::vector<int> order = passOrder(h);
    ASSERT_EQ(static_cast<int>(order.size()), h);
    for (int i = 0; i < h; ++i)
      for (int x = 0; x < w; ++x) EXPECT_EQ(d.Pixels[static_cast<size_t>(order[i] * w + x)], i % 4) << "h=" << h;
  }
}

TEST(GIFLZW, ClearFollowedByEndStoresTheEndCodeAsAPixel) {
  TDecoded d = Decode(ImageData(2, {4, 5, 1, 5}), 3, 1);
  EXPECT_EQ(d.Pixels, Px({5, 1, 0}));
}

TEST(GIFLZW, DataCutInsideASubBlockWarnsAndKeepsWhatWasDecoded) {
  std::string full = ImageData(2, {4, 1, 2, 3, 1, 2, 3, 5});
  std::string cut = full.substr(0, 3);  // code size, length, one data byte of two
  TDecoded d = Decode(cut, 6, 1, false, 2);
  EXPECT_EQ(d.Warned, Warnings({L"Premature end of data"}));
  EXPECT_EQ(d.Pixels[0], 1);
  EXPECT_EQ(d.Pixels[5], 2) << "the rest keeps the fill value";
  EXPECT_TRUE(d.Error.empty());
}

TEST(GIFLZW, MissingDataAndMissingEndCode) {
  struct Case {
    const char* what;
    std::string data;
    Warnings warned;
  } cases[] = {
      {"no code size byte", "", {}},
      {"no sub-block", std::string(1, 2), {}},
      {"terminator only", Bytes({2, 0}), {L"Decoder bit buffer under-run"}},
      {"codes end without end code", std::string(1, 2) + SubBlocks(PackCodes(2, {4, 1})), {L"Decoder bit buffer under-run"}},
  };
  for (const auto& c : cases) {
    TDecoded d = Decode(c.data, 4, 1, false, 3);
    EXPECT_EQ(d.Warned, c.warned) << c.what;
    EXPECT_TRUE(d.Error.empty()) << c.what;
    EXPECT_EQ(d.Pixels.back(), 3) << c.what;
  }
}

TEST(GIFLZW, TableFullWithoutClearKeepsTwelveBitCodes) {
  // Every literal after the first adds an entry: 4090 of them fill the table. The codes that
  // follow stay 12 bits wide and add nothing; the end code must still be found at that width.
  std::vector<int> codes{4};
  for (int i = 0; i < 4200; ++i) codes.push_back(i % 4);
  codes.push_back(4095);
  codes.push_back(1);
  codes.push_back(5);
  std::string data = ImageData(2, codes);
  const int width = 4200 + 2 + 1;
  TDecoded fast = Decode(data, width, 1);
  TReferenceResult ref = TReferenceDecoder::Decode(data, width, 1, false, 0);
  EXPECT_TRUE(fast.Warned.empty());
  EXPECT_TRUE(fast.Error.empty());
  EXPECT_EQ(fast.Pixels, ref.Pixels);
  EXPECT_EQ(fast.Pixels[width - 1], 1);
  EXPECT_EQ(fast.Position, static_cast<std::int64_t>(data.size())) << "the end code was read at 12 bits";
}

TEST(GIFLZW, CorruptTablesStopWithoutLeavingTheTables) {
  struct Case {
    const char* what;
    std::string data;
    std::wstring error;
  } cases[] = {
      // The first code after a clear is 6 (undefined), so entry 6 gets itself as prefix.
      {"direct cycle", ImageData(2, {4, 6, 1, 6, 5}), L"Circular decoder table entry"},
      // Entries 6 -> 7 -> 6: prefixes refer forward, then close a loop of two.
      {"longer cycle", ImageData(2, {4, 7, 6, 7, 6, 5}), L"Circular decoder table entry"},
      {"code size 12", Bytes({12, 2, 0, 0, 0}), L"Invalid LZW minimum code size"},
      {"code size 13", Bytes({13, 2, 0, 0, 0}), L"Invalid LZW minimum code size"},
      {"code size 255", Bytes({255, 2, 0, 0, 0}), L"Invalid LZW minimum code size"},
  };
  for (const auto& c : cases) {
    for (bool interlaced : {false, true}) {
      TDecoded d = Decode(c.data, 50, 50, interlaced, 9);
      EXPECT_EQ(d.Error, c.error) << c.what;
      // Frames are not zeroed in advance: what the error left undecoded must still get the fill.
      ASSERT_EQ(d.Pixels.size(), 2500u);
      EXPECT_EQ(std::count(d.Pixels.begin() + 8, d.Pixels.end(), 9), 2500 - 8) << c.what << interlaced;
    }
  }
}

TEST(GIFLZW, OddCodeSizesAndCodesAboveTheNextFreeDecodeAsTheTableSays) {
  struct Case {
    const char* what;
    std::string data;
    int width;
  } cases[] = {
      {"code size 0", ImageData(0, {1, 0, 0, 3, 2}), 5},
      {"code size 1", ImageData(1, {2, 1, 0, 4, 3}), 5},
      {"code size 11", ImageData(11, {2048, 300, 2047, 2050, 2049}), 5},
      {"code above next free", ImageData(2, {4, 1, 2, 31, 3, 5}), 8},
      {"literal above the palette", ImageData(8, {256, 200, 255, 258, 257}), 5},
  };
  for (const auto& c : cases) {
    TDecoded fast = Decode(c.data, c.width, 1);
    TReferenceResult ref = TReferenceDecoder::Decode(c.data, c.width, 1, false, 0);
    EXPECT_EQ(fast.Error, ref.Error) << c.what;
    EXPECT_EQ(fast.Pixels, ref.Pixels) << c.what;
    EXPECT_EQ(fast.Warned, ref.Warnings) << c.what;
    EXPECT_EQ(fast.Position, ref.Position) << c.what;
  }
}

TEST(GIFLZW, AStringOverrunningTheFrameLeavesTheEndCodeUnread) {
  // The last string is longer than the space left: its leftover pixels satisfy the extra request,
  // so the end code and the terminator stay in the stream.
  std::string data = ImageData(2, {4, 1, 1, 6, 5});
  TDecoded d = Decode(data, 3, 1);
  EXPECT_EQ(d.Pixels, Px({1, 1, 1}));
  EXPECT_LT(d.Position, static_cast<std::int64_t>(data.size()));
}

// Random streams, mostly plausible and partly garbage, decoded by both decoders: pixels,
// warnings, errors and the final stream position must agree.
TEST(GIFLZW, AgreesWithTheReferenceDecoderOnRandomStreams) {
  std::mt19937 rng(20240611);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  int compared = 0;
  for (int iteration = 0; iteration < 3000; ++iteration) {
    int mcs = pick(10) == 0 ? pick(13) : 2 + pick(7);
    int clear = 1 << std::min(mcs, 11);
    std::vector<int> codes;
    if (pick(4)) codes.push_back(clear);
    int next = clear + 2;
    bool afterClear = true;
    int count = 1 + pick(pick(8) == 0 ? 6000 : 300);
    for (int i = 0; i < count; ++i) {
      int kind = pick(100);
      int code;
      // Mostly a literal after a clear, as encoders write; otherwise garbage tables arise early.
      if (afterClear && pick(10)) code = pick(clear);
      else if (kind < 45) code = pick(clear);
      else if (kind < 85) code = clear + 2 + pick(std::max(1, next - clear - 2) + (pick(20) == 0));
      else if (kind < 88) code = clear;
      else if (kind < 89) code = clear + 1;
      else code = pick(4096);
      codes.push_back(code);
      if (!afterClear) next = std::min(next + 1, 4096);
      afterClear = code == clear;
      if (afterClear) next = clear + 2;
    }
    if (pick(3)) codes.push_back(clear + 1);
    std::string packed = PackCodes(std::min(mcs, 11), codes);
    std::string data = std::string(1, static_cast<char>(mcs)) + SubBlocks(packed, 1 + pick(255), pick(5) != 0);
    if (pick(4) == 0) data.resize(static_cast<size_t>(pick(static_cast<int>(data.size()) + 1)));
    if (pick(2)) data += Bytes({0x21, 0xF9, 4, 0, 0, 0, 0, 0, 0x3B});
    int width = pick(40), height = pick(30);
    bool interlaced = pick(3) == 0;
    int fill = pick(3) ? 0 : pick(256);
    TDecoded fast = Decode(data, width, height, interlaced, fill);
    TReferenceResult ref = TReferenceDecoder::Decode(data, width, height, interlaced, static_cast<std::uint8_t>(fill));
    ASSERT_EQ(fast.Error, ref.Error) << "iteration " << iteration;
    ASSERT_EQ(fast.Warned, ref.Warnings) << "iteration " << iteration;
    ASSERT_EQ(fast.Position, ref.Position) << "iteration " << iteration;
    if (ref.Error.empty()) {
      ASSERT_EQ(fast.Pixels, ref.Pixels) << "iteration " << iteration;
      ++compared;
    }
  }
  EXPECT_GT(compared, 2000);
}
