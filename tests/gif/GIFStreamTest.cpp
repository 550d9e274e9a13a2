// The reader's grammar: header, block loop, image descriptors, trailer, with the warnings and
// errors each malformed stream gets, and the object model's bookkeeping.
#include <gtest/gtest.h>

#include "GIFTestSupport.h"

using namespace kestrix;
using namespace giftest;

namespace {

const std::wstring kNotAvailable = L"This feature is not available in this read-only TGIFImage";

// A 2x2 frame of the pixels 0 1 2 3 with a 4-entry global table.
std::string SmallGIF(const std::string& beforeImage = "", const std::string& afterImage = ";") {
  return Header(2, 2, 1) + beforeImage + LiteralFrame(2, 2, {0, 1, 2, 3}) + afterImage;
}

}  // namespace

TEST(GIFStream, SignaturesThatLoad) {
  std::string body = SmallGIF().substr(6);
  struct Case {
    const char* what;
    std::string stream;
  } cases[] = {
      {"GIF89a", "GIF89a" + body},
      {"GIF87a", "GIF87a" + body},
      {"lower case", "gif89a" + body},
      {"any version bytes", "GIF1x!" + body},
      {"four bytes in front", "\x01\x02\x03\x04GIF89a" + body},
  };
  for (const auto& c : cases) {
    auto r = Load(c.stream);
    EXPECT_TRUE(r->Error.empty()) << c.what;
    EXPECT_TRUE(r->Warnings.empty()) << c.what;
    ASSERT_EQ(r->Image->Images()->Count(), 1) << c.what;
    EXPECT_EQ(r->Pixels(0), std::vector<std::uint8_t>({0, 1, 2, 3})) << c.what;
  }
}

TEST(GIFStream, HeaderErrors) {
  struct Case {
    const char* what;
    std::string stream;
    std::wstring error;
  } cases[] = {
      {"not a GIF", "GIX89a" + SmallGIF().substr(6), L"Invalid GIF signature"},
      {"empty stream", "", L"Premature end of data"},
      {"cut in the signature", "GIF8", L"Premature end of data"},
      {"cut in the screen descriptor", Header(2, 2, -1).substr(0, 9), L"Premature end of data"},
      {"cut in the colour table", Header(2, 2, 3).substr(0, 20), L"Premature end of data"},
      {"cut in an image descriptor", Header(2, 2, 1) + Descriptor(0, 0, 2, 2).substr(0, 6), L"Premature end of data"},
      {"cut in a local colour table", Header(2, 2, -1) + Descriptor(0, 0, 2, 2, 0x81) + "\x01\x02", L"Premature end of data"},
  };
  for (const auto& c : cases) {
    auto r = Load(c.stream);
    EXPECT_EQ(r->Error, c.error) << c.what;
    EXPECT_EQ(r->Image->Images()->Count(), 0) << c.what;
  }
}

TEST(GIFStream, BlockLoopOutcomes) {
  struct Case {
    const char* what;
    std::string stream;
    int frames;
    Warnings warned;
  } cases[] = {
      {"ends after the screen descriptor", Header(2, 2, 1), 0, {}},
      {"zero bytes between blocks", Header(2, 2, 1) + std::string(3, '\0') + LiteralFrame(2, 2, {0, 1, 2, 3}) +
                                        std::string(2, '\0') + ";", 1, {}},
      {"missing trailer", SmallGIF("", ""), 1, {}},
      {"unknown block, trailer before it", Header(2, 2, 1) + LiteralFrame(2, 2, {0, 1, 2, 3}) + "\x99", 1,
       {L"Unknown GIF block type", L"Invalid Image trailer"}},
      {"unknown block right after the header", Header(2, 2, -1) + "\x99", 0,
       {L"Unknown GIF block type", L"Invalid Image trailer"}},
      {"data after the trailer", SmallGIF() + "garbage", 1, {}},
  };
  for (const auto& c : cases) {
    auto r = Load(c.stream);
    EXPECT_TRUE(r->Error.empty()) << c.what;
    EXPECT_EQ(r->Image->Images()->Count(), c.frames) << c.what;
    EXPECT_EQ(r->Warnings, c.warned) << c.what;
  }
}

TEST(GIFStream, ExtensionsBeforeTheTrailerMakeAnEmptyFrame) {
  std::string comment = Bytes({0x21, 0xFE, 2, 'h', 'i', 0});
  auto r = Load(Header(2, 2, 1) + LiteralFrame(2, 2, {0, 1, 2, 3}) + comment + ";");
  ASSERT_EQ(r->Image->Images()->Count(), 2);
  EXPECT_FALSE(r->Frame(0)->GetEmpty());
  EXPECT_TRUE(r->Frame(1)->GetEmpty());
  EXPECT_EQ(r->Frame(1)->Extensions()->Count(), 1);
  EXPECT_TRUE(r->Warnings.empty());
}

TEST(GIFStream, ZeroSizedFrameTakesTheScreenSize) {
  std::string frame = Descriptor(0, 0, 0, 5) + ImageData(2, {4, 1, 2, 5});
  auto r = Load(Header(3, 2, 1) + frame + ";");
  ASSERT_EQ(r->Image->Images()->Count(), 1);
  EXPECT_EQ(r->Frame(0)->Width(), 3);
  EXPECT_EQ(r->Frame(0)->Height(), 2);
  EXPECT_EQ(r->Warnings, Warnings({L"Image exceeds Logical Screen size"}));
  EXPECT_EQ(r->Pixels(0), std::vector<std::uint8_t>({1, 2, 0, 0, 0, 0}));
}

TEST(GIFStream, FramesAreTakenAsReadWhateverTheScreenSays) {
  // A frame beyond the screen, and background and transparent indices beyond the palette.
  std::string gce = GraphicControl(0x01, 0, 200);
  std::string stream = Header(4, 4, 0, /*background*/ 77) + gce + Descriptor(100, 200, 3, 1) +
                       ImageData(2, {4, 1, 5}) + ";";
  auto r = Load(stream);
  EXPECT_TRUE(r->Error.empty());
  EXPECT_TRUE(r->Warnings.empty());
  EXPECT_EQ(r->Image->GetBackgroundColorIndex(), 77);
  EXPECT_EQ(r->Frame(0)->GetBoundsRect(), (vcl::TRect{100, 200, 103, 201}));
  EXPECT_EQ(r->Pixels(0), std::vector<std::uint8_t>({1, 200, 200})) << "the transparent index fills what the data misses";
  EXPECT_TRUE(r->Image->GetIsTransparent());
}

TEST(GIFStream, NoColourTableAnywhereStillLoadsIndices) {
  auto r = Load(Header(2, 2, -1) + LiteralFrame(2, 2, {3, 2, 1, 0}) + ";");
  EXPECT_TRUE(r->Error.empty());
  EXPECT_EQ(r->Pixels(0), std::vector<std::uint8_t>({3, 2, 1, 0}));
  EXPECT_EQ(r->Frame(0)->GetActiveColorMap()->Count(), 0);
}

TEST(GIFStream, HugeFramesAreRefusedBeforeAllocation) {
  // 20 bytes declaring a 65535 x 65535 frame.
  std::string stream = Header(1, 1, -1) + Descriptor(0, 0, 65535, 65535) + Bytes({2, 0});
  auto r = Load(stream);
  EXPECT_EQ(r->Error, L"Image too large: a frame may hold at most 268435456 pixels");
  EXPECT_EQ(r->Image->Images()->Count(), 0);
  // The largest accepted shape is not refused (not loaded here: 256 MiB).
  EXPECT_EQ(GIFMaxFramePixels, std::int64_t(16384) * 16384);
}

TEST(GIFStream, FramesBeyondTheImageBoundAreRefused) {
  const std::int64_t saved = GIFMaxImagePixels;
  EXPECT_EQ(saved, std::int64_t(1) << 30);
  GIFMaxImagePixels = 8;  // two frames of 2 x 2 fit exactly; the third passes the bound
  const std::string frame = LiteralFrame(2, 2, {0, 1, 2, 3});
  auto r = Load(Header(2, 2, 1) + frame + frame + frame + ";");
  GIFMaxImagePixels = saved;
  EXPECT_EQ(r->Error, L"Image too large: its frames may hold at most 8 pixels together");
  EXPECT_EQ(r->Image->Images()->Count(), 2);
}

TEST(GIFStream, FramesReadBeforeAnErrorStay) {
  std::string bad = Bytes({0x21, 0x33, 0});
  auto r = Load(Header(2, 2, 1) + LiteralFrame(2, 2, {0, 1, 2, 3}) + bad + ";");
  EXPECT_EQ(r->Error, L"Unknown extension type");
  EXPECT_EQ(r->Image->Images()->Count(), 1);
}

TEST(GIFStream, TrailerCheck) {
  struct Case {
    std::string tail;
    Warnings warned;
  } cases[] = {{";", {}}, {"", {}}, {std::string(2, '\0'), {}}};
  for (const auto& c : cases) {
    auto r = Load(Header(2, 2, 1) + LiteralFrame(2, 2, {0, 1, 2, 3}) + c.tail);
    EXPECT_EQ(r->Warnings, c.warned);
  }
}

TEST(GIFStream, ProgressOfALoad) {
  struct Event {
    vcl::TObject* sender;
    vcl::TProgressStage stage;
    int percent;
    bool redraw;
    std::wstring text;
  };
  std::vector<Event> events;
  TGIFImage image;
  image.SetOnProgress([&](vcl::TObject* s, vcl::TProgressStage st, std::uint8_t p, bool redraw, const vcl::TRect&,
                          const std::wstring& text) { events.push_back({s, st, p, redraw, text}); });
  vcl::TStringStream s(SmallGIF("", "") + LiteralFrame(2, 2, {3, 3, 3, 3}) + ";");
  image.LoadFromStream(s);
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].stage, vcl::psStarting);
  EXPECT_EQ(events[0].percent, 0);
  EXPECT_FALSE(events[0].redraw);
  for (int i : {1, 2}) {
    EXPECT_EQ(events[i].stage, vcl::psRunning);
    EXPECT_EQ(events[i].sender, image.Images()) << "running events come from the frame list";
    EXPECT_FALSE(events[i].redraw) << "GIFImageRenderOnLoad is off";
  }
  EXPECT_GT(events[1].percent, 0);
  EXPECT_LT(events[1].percent, events[2].percent);
  EXPECT_LT(events[2].percent, 100);
  EXPECT_EQ(events[3].stage, vcl::psEnding);
  EXPECT_EQ(events[3].percent, 100);
  EXPECT_TRUE(events[3].redraw);
  for (const auto& e : events) EXPECT_EQ(e.text, L"Loading...");

  // A load that raises still reports its end, at 0 percent.
  std::vector<int> endings;
  image.SetOnProgress([&](vcl::TObject*, vcl::TProgressStage st, std::uint8_t p, bool, const vcl::TRect&,
                          const std::wstring&) {
    if (st == vcl::psEnding) endings.push_back(p);
  });
  vcl::TStringStream bad("GIX89a.......");
  EXPECT_THROW(image.LoadFromStream(bad), GIFException);
  EXPECT_EQ(endings, std::vector<int>({0}));
}

TEST(GIFStream, ASecondLoadReplacesTheFirst) {
  TGIFImage image;
  vcl::TStringStream first(SmallGIF("", "") + LiteralFrame(2, 2, {1, 1, 1, 1}) + ";");
  image.LoadFromStream(first);
  ASSERT_EQ(image.Images()->Count(), 2);
  vcl::TStringStream second(Header(5, 1, -1) + LiteralFrame(5, 1, {1, 2, 3, 0, 1}) + ";");
  image.LoadFromStream(second);
  EXPECT_EQ(image.Images()->Count(), 1);
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(image.GlobalColorMap()->Count(), 0);
}

TEST(GIFStream, UnsupportedOperationsRaise) {
  auto r = Load(SmallGIF());
  TGIFImage& image = *r->Image;
  vcl::TMemoryStream out;
  TGIFImage other;
  std::function<void()> operations[] = {
      [&] { image.SaveToStream(out); },
      [&] { image.SetWidth(10); },
      [&] { image.SetHeight(10); },
      [&] { image.WriteData(out); },
      [&] { image.Assign(&other); },
      [&] { image.Images()->SaveToStream(out); },
      [&] { image.Header()->SaveToStream(out); },
      [&] { image.Images()->GetImage(0)->SaveToStream(out); },
      [&] { image.Images()->GetImage(0)->SaveToFile(L"never.gif"); },
      [&] { image.GlobalColorMap()->SaveToStream(out); },
      [&] { TGIFTrailer(&image).SaveToStream(out); },
      [&] { TGIFBlock(3).SaveToStream(out); },
  };
  for (size_t i = 0; i < std::size(operations); ++i) {
    try {
      operations[i]();
      ADD_FAILURE() << "operation " << i << " did not raise";
    } catch (const GIFException& e) {
      EXPECT_EQ(e.Message(), kNotAvailable) << i;
    }
  }
  EXPECT_EQ(out.Size(), 0);
}

TEST(GIFStream, VersionAndPackedFields) {
  TGIFImage empty;
  EXPECT_EQ(empty.GetVersion(), gvUnknown);
  std::unique_ptr<vcl::TGraphic> same(empty.NewGraphic());
  EXPECT_NE(dynamic_cast<TGIFImage*>(same.get()), nullptr);
  EXPECT_EQ(empty.Header()->LogicalScreenDescriptor().PackedFields, 0x77) << "empty map: depth 0, resolution -1";
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(Load(SmallGIF())->Image->GetVersion(), gv87a);
  EXPECT_EQ(Load(SmallGIF(GraphicControl(0, 5, 0)))->Image->GetVersion(), gv89a);
  // The header's own version does not count.
  EXPECT_EQ(Load(Header(2, 2, 1, 0, 49) + LiteralFrame(2, 2, {0, 1, 2, 3}) + ";")->Image->GetVersion(), gv87a);
}

TEST(GIFStream, PixelAccess) {
  auto r = Load(SmallGIF());
  TGIFSubImage* frame = r->Frame(0);
  EXPECT_EQ(frame->GetPixel(1, 1), 3);
  EXPECT_EQ(frame->GetScanline(1)[0], 2);
  for (auto [x, y] : {std::pair{-1, 0}, {2, 0}, {0, -1}, {0, 2}}) {
    try {
      frame->GetPixel(x, y);
      ADD_FAILURE() << x << "," << y;
    } catch (const GIFException& e) {
      EXPECT_EQ(e.Message(), L"Invalid pixel coordinates");
    }
  }
}

TEST(GIFStream, BoundsOfAFrame) {
  auto r = Load(Header(10, 10, 1) + LiteralFrame(2, 2, {0, 1, 2, 3}) + ";");
  TGIFSubImage* frame = r->Frame(0);
  frame->SetBoundsRect({1, 2, 4, 3});  // inclusive: 4 x 2
  EXPECT_EQ(frame->GetBoundsRect(), (vcl::TRect{1, 2, 5, 4}));
  EXPECT_EQ(frame->GetClientRect(), (vcl::TRect{0, 0, 4, 2}));
  EXPECT_EQ(frame->DataSize(), 8) << "a new size gets a new zero-filled buffer";
  // Growing past a non-empty screen warns, then fails: the image cannot be resized.
  try {
    frame->SetWidth(20);
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.Message(), kNotAvailable);
  }
  EXPECT_EQ(r->Warnings, Warnings({L"Image width too small for contained frames"}));
  // Clearing a frame that lies beyond the screen does not ask the image to grow.
  EXPECT_NO_THROW(frame->Clear());
  EXPECT_EQ(frame->Width(), 0);
  EXPECT_EQ(frame->Data(), nullptr);
}

TEST(GIFStream, EmptyFrameAndNeedImage) {
  TGIFSubImage frame(nullptr);
  EXPECT_TRUE(frame.GetEmpty());
  try {
    frame.NeedImage();
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.Message(), L"Image is empty");
  }
}

TEST(GIFStream, ListOwnershipAndOrder) {
  auto r = Load(SmallGIF("", "") + LiteralFrame(2, 2, {1, 1, 1, 1}) + LiteralFrame(2, 2, {2, 2, 2, 2}) + ";");
  TGIFImageList* list = r->Image->Images();
  ASSERT_EQ(list->Count(), 3);
  TGIFSubImage* second = list->GetImage(1);
  list->Exchange(0, 2);
  EXPECT_EQ(list->GetImage(0)->GetPixel(0, 0), 2);
  list->Move(0, 2);
  EXPECT_EQ(list->IndexOf(second), 0);
  // Freeing a frame takes it out of its list; Delete frees what it removes.
  delete second;
  EXPECT_EQ(list->Count(), 2);
  list->Delete(0);
  EXPECT_EQ(list->Count(), 1);
  // Frames and extensions made by the application live on the heap, loaded ones in the load's
  // slabs: either kind is freed by delete, by its list, or with the image.
  auto* made = new TGIFSubImage(r->Image.get());
  made->Extensions()->Add(new TGIFGraphicControlExtension(made));
  list->Add(made);
  list->Add(new TGIFSubImage(r->Image.get()));
  delete made;
  EXPECT_EQ(list->Count(), 2);
}

TEST(GIFStream, ColourResolutionAndDepthTakeTheLargestMap) {
  std::string frame = Descriptor(0, 0, 1, 1, 0x80 | 4) + ColorTable(4) + ImageData(5, {32, 9, 33});
  auto r = Load(Header(1, 1, 1) + frame + ";");
  EXPECT_EQ(r->Image->GetBitsPerPixel(), 5);
  EXPECT_EQ(r->Image->GetColorResolution(), 4);
  EXPECT_EQ(r->Pixels(0), std::vector<std::uint8_t>({9}));
}

// The frames of one load share the decoder's tables and, once the image holds megabytes, slabs of
// pixel memory: every frame must keep its own pixels whatever the code sizes before it, while
// frames are freed one by one in any order, and after the image is gone (checked under ASan).
TEST(GIFStream, FramesOfALoadKeepTheirOwnPixels) {
  struct Case {
    const char* name;
    int frames, width, height;
  } cases[] = {
      {"many small", 60, 9, 7},
      {"enough for slabs", 48, 256, 256},
      {"several mapped slabs", 40, 512, 512},
      {"larger than a slab", 3, 3000, 3000},
  };
  // Twice: the second time frames are cut from the slabs the first images gave back.
  for (int pass = 0; pass < 2; ++pass) {
    for (const Case& c : cases) {
      // Frame i: minimum code size 2 to 8 in turn, starting "a b a b b a" through two table entries,
      // then its transparent index v (the fill value) to the end.
      std::string file = Header(c.width, c.height, 7);
      std::vector<std::vector<std::uint8_t>> expected;
      for (int i = 0; i < c.frames; ++i) {
        const int size = 2 + (i * 5) % 7, clear = 1 << size;
        const int a = clear - 1, b = (clear - 2 + i) % clear, v = (i * 37) % clear;
        file += GraphicControl(1, 0, v) + Descriptor(0, 0, c.width, c.height) +
                ImageData(size, {clear, a, b, clear + 2, clear + 3, clear + 1});
        std::vector<std::uint8_t> px(static_cast<size_t>(c.width) * static_cast<size_t>(c.height), static_cast<std::uint8_t>(v));
        const int start[] = {a, b, a, b, b, a};
        for (size_t k = 0; k < 6 && k < px.size(); ++k) px[k] = static_cast<std::uint8_t>(start[k]);
        expected.push_back(std::move(px));
      }
      auto r = Load(file + ";");
      ASSERT_EQ(r->Error, L"") << c.name;
      TGIFImageList* list = r->Image->Images();
      ASSERT_EQ(list->Count(), c.frames) << c.name;
      // Frames go one at a time from scattered places until half are left; the rest go with the image.
      for (size_t round = 0; expected.size() > static_cast<size_t>(c.frames / 2); ++round) {
        for (size_t i = 0; i < expected.size(); ++i)
          ASSERT_TRUE(r->Pixels(static_cast<int>(i)) == expected[i]) << c.name << ", frame " << i << " of " << expected.size();
        const size_t gone = (expected.size() * 7 + round) % expected.size();
        list->Delete(static_cast<int>(gone));
        expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(gone));
      }
      r->Image.reset();
    }
  }
}
