// Colour maps: capacity steps, search order, depth, index checks and the warnings that reach the
// image.
#include <gtest/gtest.h>

#include "GIFTestSupport.h"

using namespace kestrix;
using namespace giftest;

namespace {

vcl::TColor Rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

// A frame of an image, so that its local map reports warnings and changes somewhere.
struct TMapFixture {
  TGIFImage Image;
  TGIFSubImage Frame{&Image};
  Warnings Warned;
  TMapFixture() {
    Image.SetOnWarning([this](vcl::TObject*, TGIFSeverity, const std::wstring& m) { Warned.push_back(m); });
  }
  TGIFColorMap& Map() { return *Frame.ColorMap(); }
};

}  // namespace

TEST(GIFColorMap, CapacityGrowsInSteps) {
  struct Case {
    int request;
    int capacity;
  } cases[] = {{1, 16}, {16, 16}, {17, 32}, {32, 32}, {33, 64}, {250, 256}, {300, 256}};
  for (const auto& c : cases) {
    TMapFixture f;
    f.Map().SetCapacity(c.request);
    EXPECT_EQ(f.Map().Capacity(), c.capacity) << c.request;
  }
  TMapFixture f;
  f.Map().SetCapacity(64);
  f.Map().SetCapacity(20);
  EXPECT_EQ(f.Map().Capacity(), 64) << "a smaller request changes nothing";
}

TEST(GIFColorMap, BitsPerPixelForCounts) {
  struct Case {
    int count;
    int bits;
  } cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {8, 3}, {9, 4}, {129, 8}, {256, 8}};
  for (const auto& c : cases) {
    TMapFixture f;
    for (int i = 0; i < c.count; ++i) f.Map().Add(Rgb(i, 0, 0));
    EXPECT_EQ(f.Map().GetBitsPerPixel(), c.bits) << c.count;
  }
}

TEST(GIFColorMap, IndexOfSearchesByOptimizedFlag) {
  TMapFixture f;
  f.Map().Add(Rgb(1, 2, 3));
  f.Map().Add(Rgb(9, 9, 9));
  f.Map().Add(Rgb(1, 2, 3));
  EXPECT_EQ(f.Map().IndexOf(Rgb(1, 2, 3)), 2) << "the last match";
  f.Map().SetOptimized(true);
  EXPECT_EQ(f.Map().IndexOf(Rgb(1, 2, 3)), 0) << "the first match";
  EXPECT_EQ(f.Map().IndexOf(Rgb(7, 7, 7)), -1);
  EXPECT_EQ(f.Map().IndexOf(Rgb(9, 9, 9) | 0x7F000000), 1) << "only the low three bytes count";
  EXPECT_EQ(f.Map().AddUnique(Rgb(9, 9, 9)), 1);
  EXPECT_TRUE(f.Map().Optimized()) << "AddUnique found it: nothing added, flag kept";
}

TEST(GIFColorMap, OutOfRangeIndices) {
  TMapFixture f;
  // An empty map: the warning, then the error.
  try {
    f.Map().GetColor(5);
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.Message(), L"Color table is empty");
  }
  EXPECT_EQ(f.Warned, Warnings({L"Invalid color index"}));
  f.Warned.clear();
  f.Map().Add(Rgb(10, 20, 30));
  f.Map().Add(Rgb(40, 50, 60));
  f.Map().Add(Rgb(70, 80, 90));
  EXPECT_EQ(f.Map().GetColor(5), Rgb(10, 20, 30)) << "entry 0 stands in";
  EXPECT_EQ(f.Warned, Warnings({L"Invalid color index"}));
  for (int bad : {-1, 3}) {
    EXPECT_THROW(f.Map().SetColor(bad, 0), GIFException);
    EXPECT_THROW(f.Map().Delete(bad), GIFException);
  }
}

TEST(GIFColorMap, EditsAndOverflow) {
  TMapFixture f;
  for (int i = 0; i < 256; ++i) f.Map().Add(Rgb(i, 255 - i, 7));
  try {
    f.Map().Add(0);
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.Message(), L"Color table overflow");
  }
  f.Map().Delete(0);
  EXPECT_EQ(f.Map().Count(), 255);
  EXPECT_EQ(f.Map().GetColor(0), Rgb(1, 254, 7));
  f.Map().SetColor(254, Rgb(5, 6, 7));
  EXPECT_EQ(f.Map().Data()[254].Blue, 7);
}

TEST(GIFColorMap, AssignAndImports) {
  TMapFixture a, b;
  a.Map().Add(Rgb(1, 2, 3));
  a.Map().Add(Rgb(4, 5, 6));
  a.Map().SetOptimized(true);
  b.Map().Assign(&a.Map());
  EXPECT_EQ(b.Map().Count(), 2);
  EXPECT_TRUE(b.Map().Optimized());
  EXPECT_EQ(b.Map().GetColor(1), Rgb(4, 5, 6));

  const std::uint8_t quads[] = {30, 20, 10, 0, 60, 50, 40, 0};  // blue, green, red, reserved
  b.Map().ImportColorTable(quads, 2);
  EXPECT_EQ(b.Map().GetColor(0), Rgb(10, 20, 30));
  EXPECT_EQ(b.Map().GetColor(1), Rgb(40, 50, 60));
  EXPECT_FALSE(b.Map().Optimized());

  std::vector<TGIFColor> big(300, TGIFColor{1, 2, 3});
  b.Map().ImportColorMap(big.data(), 300);
  EXPECT_EQ(b.Map().Count(), 256) << "counts above 256 are cut";
  b.Map().ImportColorMap(big.data(), 0);
  EXPECT_EQ(b.Map().Count(), 0);
}

TEST(GIFColorMap, LoadedTablesAndBackground) {
  auto r = Load(Header(2, 2, 2, /*background*/ 3) + LiteralFrame(2, 2, {0, 1, 2, 3}) + ";");
  TGIFColorMap* map = r->Image->GlobalColorMap();
  ASSERT_EQ(map->Count(), 8);
  EXPECT_EQ(map->GetColor(7), Rgb(7, 14, 21));
  EXPECT_EQ(r->Image->GetBackgroundColor(), Rgb(3, 6, 9));
  r->Image->SetBackgroundColorIndex(8);
  EXPECT_EQ(r->Image->GetBackgroundColorIndex(), 0);
  EXPECT_EQ(r->Warnings, Warnings({L"Invalid color index"}));
  r->Image->SetBackgroundColor(Rgb(200, 100, 50));
  EXPECT_EQ(r->Image->GetBackgroundColorIndex(), 8) << "a new colour is added to the map";
  EXPECT_EQ(r->Frame(0)->GetActiveColorMap(), map);
}
