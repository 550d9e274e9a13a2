// Extension blocks: what each kind reads, the registries that choose the classes, and the
// outcome of malformed blocks.
#include <gtest/gtest.h>

#include <cstring>

#include "GIFTestSupport.h"

using namespace kestrix;
using namespace giftest;

namespace {

std::string App(int blockSize, const std::string& ident, const std::string& data) {
  return Bytes({0x21, 0xFF, blockSize}) + ident + data;
}

std::string WithExtensions(const std::string& extensions) {
  return Header(2, 2, 1) + extensions + LiteralFrame(2, 2, {0, 1, 2, 3}) + ";";
}

template <class T>
T* ExtensionAt(const TLoad& r, int frame, int index) {
  return dynamic_cast<T*>(r.Frame(frame)->Extensions()->GetExtension(index));
}

}  // namespace

TEST(GIFExtensions, GraphicControlFields) {
  auto r = Load(WithExtensions(GraphicControl(0x01 | 0x02 | (2 << 2), 250, 3)));
  ASSERT_TRUE(r->Error.empty());
  auto* gce = ExtensionAt<TGIFGraphicControlExtension>(*r, 0, 0);
  ASSERT_NE(gce, nullptr);
  EXPECT_EQ(r->Frame(0)->GraphicControlExtension(), gce);
  EXPECT_TRUE(r->Frame(0)->Transparent());
  EXPECT_EQ(gce->Delay(), 250);
  EXPECT_TRUE(gce->UserInput());
  EXPECT_EQ(gce->Disposal(), dmBackground);
  EXPECT_EQ(gce->TransparentColorIndex(), 3);
  EXPECT_EQ(gce->TransparentColor(), 3 | (6 << 8) | (9 << 16));
  gce->SetDisposal(dmPrevious);
  EXPECT_EQ(gce->Record().PackedFields, 0x01 | 0x02 | (3 << 2));
  gce->SetTransparentColorIndex(4);
  EXPECT_EQ(gce->TransparentColorIndex(), 0) << "outside the 4-entry map";
  EXPECT_EQ(r->Warnings, Warnings({L"Invalid color index"}));
  gce->SetTransparent(false);
  EXPECT_FALSE(r->Frame(0)->Transparent());
}

TEST(GIFExtensions, TwoGraphicControlsBeforeOneImage) {
  auto r = Load(WithExtensions(GraphicControl(0, 1, 0) + GraphicControl(0x01, 2, 1)));
  ASSERT_EQ(r->Frame(0)->Extensions()->Count(), 2);
  auto* first = ExtensionAt<TGIFGraphicControlExtension>(*r, 0, 0);
  EXPECT_EQ(r->Frame(0)->GraphicControlExtension(), first) << "the first one wins";
  EXPECT_EQ(first->Delay(), 1);
  EXPECT_TRUE(r->Frame(0)->Transparent()) << "the second one set it";
  // Freeing the frame's own one lets go of it.
  delete first;
  EXPECT_EQ(r->Frame(0)->GraphicControlExtension(), nullptr);
  EXPECT_EQ(r->Frame(0)->Extensions()->Count(), 1);
}

TEST(GIFExtensions, TextBlocks) {
  std::string comment = Bytes({0x21, 0xFE, 2, 'a', 'b', 2, 'c', 'd', 0});
  std::string plain = Bytes({0x21, 0x01, 12}) + Le16(1) + Le16(2) + Le16(30) + Le16(8) + Bytes({8, 9, 3, 1}) +
                      Bytes({5, 'H', 'e', 0, 'x', 'y', 0});
  auto r = Load(WithExtensions(comment + plain));
  ASSERT_TRUE(r->Error.empty());
  auto* c = ExtensionAt<TGIFCommentExtension>(*r, 0, 0);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->Text()->Count(), 2);
  EXPECT_EQ(c->Text()->Strings(0), L"ab");
  EXPECT_EQ(c->Text()->Strings(1), L"cd");
  auto* t = ExtensionAt<TGIFTextExtension>(*r, 0, 1);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Left(), 1);
  EXPECT_EQ(t->Top(), 2);
  EXPECT_EQ(t->GridWidth(), 30);
  EXPECT_EQ(t->GridHeight(), 8);
  EXPECT_EQ(t->CharWidth(), 8);
  EXPECT_EQ(t->CharHeight(), 9);
  EXPECT_EQ(t->ForegroundColorIndex(), 3);
  EXPECT_EQ(t->BackgroundColorIndex(), 1);
  EXPECT_EQ(t->BackgroundColor(), 1 | (2 << 8) | (3 << 16));
  ASSERT_EQ(t->Text()->Count(), 1);
  EXPECT_EQ(t->Text()->Strings(0), L"He") << "a sub-block's text ends at its first zero byte";
}

TEST(GIFExtensions, HugeCommentIsReadBlockByBlock) {
  std::string blocks;
  for (int i = 0; i < 2000; ++i) blocks += Bytes({255}) + std::string(255, static_cast<char>('a' + i % 26));
  auto r = Load(WithExtensions(Bytes({0x21, 0xFE}) + blocks + Bytes({0})));
  ASSERT_TRUE(r->Error.empty());
  auto* c = ExtensionAt<TGIFCommentExtension>(*r, 0, 0);
  ASSERT_EQ(c->Text()->Count(), 2000);
  EXPECT_EQ(c->Text()->Strings(1999).size(), 255u);
}

TEST(GIFExtensions, LoopingExtension) {
  struct Case {
    const char* what;
    std::string data;
    int loops;
    int bufferSize;
    std::wstring error;
  } cases[] = {
      {"loop 0", Bytes({3, 1, 0, 0, 0}), 0, 0, L""},
      {"loop 5", Bytes({3, 1, 5, 0, 0}), 5, 0, L""},
      {"buffer size", Bytes({5, 2, 0x10, 0x27, 0, 0, 3, 1, 2, 0, 0}), 2, 10000, L""},
      {"unknown id skipped", Bytes({4, 7, 9, 9, 9, 3, 1, 4, 0, 0}), 4, 0, L""},
      {"loop block too short", Bytes({1, 1, 0}), 0, 0, L"Invalid GIF data"},
      {"buffer block too short", Bytes({3, 2, 1, 2, 0}), 0, 0, L"Invalid GIF data"},
  };
  for (std::string ident : {"NETSCAPE2.0", "ANIMEXTS1.0"}) {
    for (const auto& c : cases) {
      auto r = Load(WithExtensions(App(11, ident, c.data)));
      EXPECT_EQ(r->Error, c.error) << c.what;
      if (!c.error.empty()) continue;
      auto* loop = ExtensionAt<TGIFAppExtNSLoop>(*r, 0, 0);
      ASSERT_NE(loop, nullptr) << c.what;
      EXPECT_EQ(loop->Loops(), c.loops) << c.what;
      EXPECT_EQ(loop->BufferSize(), c.bufferSize) << c.what;
      EXPECT_EQ(loop->Identifier() + loop->Authentication(), ident);
    }
  }
}

TEST(GIFExtensions, LoopingExtensionWritesItsData) {
  TGIFAppExtNSLoop loop(nullptr);
  loop.SetLoops(0x0102);
  loop.SetBufferSize(0x01020304);
  vcl::TMemoryStream out;
  loop.SaveData(out);
  std::string written(reinterpret_cast<const char*>(out.Memory()), static_cast<size_t>(out.Size()));
  EXPECT_EQ(written, Bytes({3, 1, 2, 1, 5, 2, 4, 3, 2, 1, 0}));
}

TEST(GIFExtensions, ApplicationBlockSizes) {
  struct Case {
    const char* what;
    std::string stream;
    std::wstring error;
    std::vector<int> blockSizes;  // of the unknown application extension read
  } cases[] = {
      {"unregistered identifier", WithExtensions(App(11, "XMP DataXMP", Bytes({3, 1, 2, 3, 1, 9, 0}))), L"", {3, 1}},
      {"ten-byte header", WithExtensions(App(10, "ABCDEFGHIJ", Bytes({2, 7, 7, 0}))), L"", {2}},
      {"nine-byte header", WithExtensions(App(9, "ABCDEFGHI", Bytes({0}))),
       L"Unsupported Application Extension block size", {}},
      {"stream ends at the size byte", Header(2, 2, 1) + Bytes({0x21, 0xFF}), L"Unknown extension type", {}},
      {"cut data block", Header(2, 2, 1) + App(11, "XMP DataXMP", Bytes({9, 1, 2})), L"Premature end of data", {}},
  };
  for (const auto& c : cases) {
    auto r = Load(c.stream);
    EXPECT_EQ(r->Error, c.error) << c.what;
    if (!c.error.empty()) continue;
    auto* app = ExtensionAt<TGIFUnknownAppExtension>(*r, 0, 0);
    ASSERT_NE(app, nullptr) << c.what;
    std::vector<int> sizes;
    for (int i = 0; i < app->Blocks()->Count(); ++i) sizes.push_back(static_cast<TGIFBlock*>(app->Blocks()->Items(i))->Size());
    EXPECT_EQ(sizes, c.blockSizes) << c.what;
  }
}

TEST(GIFExtensions, TwelveByteHeaderEndsInTheFrameworksAbstractError) {
  // Neither 10 nor 11: the plain application class is chosen, whose data reader is abstract.
  auto image = std::make_unique<TGIFImage>();
  vcl::TStringStream s(WithExtensions(App(12, "NETSCAPE2.0X", Bytes({3, 1, 2, 0, 0}))));
  EXPECT_THROW(image->LoadFromStream(s), vcl::EAbstractError);
}

TEST(GIFExtensions, MalformedIntroducersAndLabels) {
  struct Case {
    const char* what;
    std::string stream;
    std::wstring error;
    Warnings warned;
  } cases[] = {
      {"unknown label", WithExtensions(Bytes({0x21, 0x33, 0})), L"Unknown extension type", {}},
      {"graphic control cut short", Header(2, 2, 1) + Bytes({0x21, 0xF9, 4, 1}), L"", {L"Premature end of data"}},
      {"graphic control of wrong size", WithExtensions(GraphicControl(0, 7, 1, 9)), L"", {}},
      {"plain text cut short", Header(2, 2, 1) + Bytes({0x21, 0x01, 12, 0, 0}), L"Premature end of data", {}},
      // After an extension, a byte that starts no block: the frame reads it as an image separator.
      {"bad introducer after an extension", Header(2, 2, 1) + GraphicControl(0, 0, 0) + "X" +
                                                Descriptor(0, 0, 2, 2).substr(1) + ImageData(2, {4, 1, 5}) + ";",
       L"", {L"Invalid extension introducer"}},
  };
  for (const auto& c : cases) {
    auto r = Load(c.stream);
    EXPECT_EQ(r->Error, c.error) << c.what;
    EXPECT_EQ(r->Warnings, c.warned) << c.what;
  }
}

TEST(GIFExtensions, LoadingAnExtensionChecksItsOwnLabel) {
  TGIFCommentExtension comment(nullptr);
  struct Case {
    std::string bytes;
    std::wstring error;
  } cases[] = {
      {Bytes({0x2C, 0xFE, 0}), L"Invalid extension introducer"},
      {Bytes({0x21, 0xF9, 0}), L"Internal error: Extension Instance does not match Extension Label"},
      {Bytes({0x21}), L"Premature end of data"},
  };
  for (const auto& c : cases) {
    vcl::TStringStream s(c.bytes);
    try {
      comment.LoadFromStream(s);
      ADD_FAILURE();
    } catch (const GIFException& e) {
      EXPECT_EQ(e.Message(), c.error);
    }
  }
  vcl::TMemoryStream out;
  EXPECT_THROW(comment.SaveToStream(out), GIFException);
  EXPECT_THROW(TGIFUnknownAppExtension(nullptr).SaveData(out), GIFException);
}

TEST(GIFExtensions, RegistriesPreferTheLatestRegistration) {
  // Comments read as unknown application data for a while, then the registration is removed.
  static const TGIFExtensionMeta commentAsApp(
      TGIFCommentExtension::StaticClass(), [](TGIFSubImage* s) -> TGIFExtension* { return new TGIFCommentExtension(s); });
  TGIFExtension::RegisterExtension(0xFE, &commentAsApp);
  vcl::TStringStream s(Bytes({0xFE, 1, 'x', 0}));
  EXPECT_EQ(TGIFExtension::FindExtension(s), &commentAsApp);
  EXPECT_EQ(s.Position(), 0) << "the stream is left where it was";
  ExtensionRegistry()->Remove(&commentAsApp);
  EXPECT_EQ(ExtensionRegistry()->FindExt(0xFE), TGIFCommentExtension::StaticClass());
  EXPECT_EQ(ExtensionRegistry()->FindExt(0x33), nullptr);

  TGIFApplicationRec ident;
  std::memcpy(&ident, "XMP DataXMP", 11);
  TGIFApplicationExtension::RegisterExtension(ident, TGIFAppExtNSLoop::StaticClass());
  auto r = Load(WithExtensions(App(11, "XMP DataXMP", Bytes({3, 1, 9, 0, 0}))));
  auto* loop = ExtensionAt<TGIFAppExtNSLoop>(*r, 0, 0);
  ASSERT_NE(loop, nullptr);
  EXPECT_EQ(loop->Loops(), 9);
  // Removing a class drops all its registrations; the standard ones are put back afterwards.
  AppExtensionRegistry()->Remove(TGIFAppExtNSLoop::StaticClass());
  EXPECT_EQ(AppExtensionRegistry()->FindExt(ident), nullptr);
  EXPECT_EQ(AppExtensionRegistry()->Count(), 0);
  for (const char* standard : {"NETSCAPE2.0", "ANIMEXTS1.0"}) {
    std::memcpy(&ident, standard, 11);
    TGIFApplicationExtension::RegisterExtension(ident, TGIFAppExtNSLoop::StaticClass());
  }
}

TEST(GIFExtensions, IdentifierFieldsArePaddedWithSpaces) {
  TGIFUnknownAppExtension app(nullptr);
  app.SetIdentifier("AB");
  app.SetAuthentication("1234");
  EXPECT_EQ(std::string(app.Ident().Identifier, 8), "AB      ");
  EXPECT_EQ(std::string(app.Ident().Authentication, 3), "123");
  EXPECT_EQ(app.Identifier(), "AB      ");
}
