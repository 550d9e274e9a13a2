// Browser image retrieval against the stand-in network automation object (tests/peers), which COM
// starts as a local server in its own process and which serves tests/data/browser by URL.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "BrowserTestSupport.h"
#include "formats/KXNetscape.h"
#include "framework/ComAuto.h"
#include "framework/Picture.h"
#include "gif/KXGIFImage.h"
#include "peers/NetworkObjectRegistration.h"

using namespace kestrix;
using namespace browsertest;
using kxtest::TNetworkObjectRegistration;

namespace {

std::wstring Url(const std::wstring& file, const std::wstring& options = {}) {
  return L"http://pictures.test/images/" + file + (options.empty() ? L"" : L"?" + options);
}

std::string Contents(vcl::TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

// Each test registers the stand-in with a log of its own; each object the test makes runs in a
// server process of its own, which appends to that log.
class NetscapeTest : public testing::Test {
 protected:
  void SetUp() override {
    FLogFile = kxtest::MakeTempFolder(L"browser") + L"calls-" + std::to_wstring(++FRun) + L".log";
    vcl::DeleteFile(FLogFile);
    FRegistration = std::make_unique<TNetworkObjectRegistration>(kxtest::TestDataPath(L"browser"), FLogFile);
    ASSERT_TRUE(FRegistration->Ok());
  }
  void TearDown() override {
    FRegistration.reset();
    vcl::DeleteFile(FLogFile);
  }
  // Starts the log afresh for the next object; the last one has logged its release by now.
  void NextObject() { vcl::DeleteFile(FLogFile); }

  // The calls the object saw, one per line. The object logs its own release from its process, so
  // the log is read once that line is there (or after a while).
  std::vector<std::wstring> Calls() {
    std::vector<std::wstring> lines;
    kxtest::PumpUntil(
        [&] {
          lines.clear();
          if (!vcl::FileExists(FLogFile)) return false;
          vcl::TMemoryStream log;
          log.LoadFromFile(FLogFile);
          std::wstring text = vcl::UnicodeFromUtf8(Contents(log));
          for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
          return !lines.empty() && lines.back() == L"Released";
        },
        10000);
    return lines;
  }
  static size_t CountOf(const std::vector<std::wstring>& lines, const std::wstring& prefix) {
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.rfind(prefix, 0) == 0; }));
  }
  // The object was closed as its last call and then released.
  static void ExpectClosedAndReleased(const std::vector<std::wstring>& lines) {
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], L"Close");
    EXPECT_EQ(lines.back(), L"Released");
    EXPECT_EQ(CountOf(lines, L"Close"), 1u);
  }

  std::unique_ptr<TNetworkObjectRegistration> FRegistration;
  std::wstring FLogFile;
  static inline int FRun = 0;
};

// A picture holding a small bitmap, to see that it is left alone.
struct TMarkedPicture {
  TMarkedPicture() {
    vcl::TBitmap mark;
    mark.SetPixelFormat(vcl::pf24bit);
    mark.SetSize(3, 2);
    Picture.Bitmap()->Assign(&mark);
    Graphic = Picture.Graphic();
    Picture.SetOnChange([this](vcl::TObject*) { ++Changes; });
  }
  void ExpectUntouched() {
    EXPECT_EQ(Picture.Graphic(), Graphic);
    EXPECT_EQ(Picture.Width(), 3);
    EXPECT_EQ(Picture.Height(), 2);
    EXPECT_EQ(Changes, 0);
  }
  vcl::TPicture Picture;
  vcl::TGraphic* Graphic = nullptr;
  int Changes = 0;
};

}  // namespace

TEST(NetscapeContentType, WholeTextWithoutRegardToCase) {
  const struct {
    const wchar_t* Text;
    TImageURLType Type;
  } cases[] = {
      {L"image/x-MS-bmp", iuBMP}, {L"IMAGE/X-MS-BMP", iuBMP},      {L"image/gif", iuGIF},
      {L"IMAGE/GIF", iuGIF},      {L"image/jpeg", iuJPG},          {L"Image/JPEG", iuJPG},
      {L"image/png", iuPNG},      {L"image/gif; charset=x", iuUnknown}, {L" image/gif", iuUnknown},
      {L"image/bmp", iuUnknown},  {L"image/jpg", iuUnknown},       {L"text/html", iuUnknown},
      {L"", iuUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(imageURLTypeFromContentType(c.Text), c.Type) << vcl::Utf8FromUnicode(c.Text);
  EXPECT_EQ(TImageURLTypes({iuGIF, iuPNG}).Byte(), 0x14);
}

TEST(NetscapeContentType, NilStreamFetchesNothing) {
  TNetworkObjectRegistration none;  // no object: creating one would raise
  ASSERT_TRUE(none.Ok());
  EXPECT_EQ(getNetscapeURLOnStream(Url(L"quadrants.gif"), nullptr), L"");
}

TEST_F(NetscapeTest, StreamsTheContentAfterWhatTheStreamHolds) {
  const struct {
    const wchar_t* File;
    const wchar_t* Options;
    const wchar_t* Type;
  } cases[] = {
      {L"quadrants.bmp", L"", L"image/x-MS-bmp"},          // 1590 bytes: two reads
      {L"rose.jpg", L"chunk=7", L"image/jpeg"},            // hundreds of short reads
      {L"quadrants.gif", L"replace", L"image/gif"},        // the object swaps in buffers of its own
      {L"notes.txt", L"type=text/x-anything", L"text/x-anything"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(vcl::Utf8FromUnicode(c.File));
    NextObject();
    vcl::TMemoryStream stream;
    stream.WriteBuffer("kept", 4);
    const std::wstring url = Url(c.File, c.Options);
    EXPECT_EQ(getNetscapeURLOnStream(url, &stream), c.Type);
    EXPECT_EQ(Contents(stream), "kept" + ReadTestFile(c.File));
    std::vector<std::wstring> calls = Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], L"Open " + url + L"|0||0|");
    EXPECT_EQ(calls[1], L"GetContentType");
    EXPECT_EQ(CountOf(calls, L"Read 1000 "), CountOf(calls, L"Read "));
    ExpectClosedAndReleased(calls);
  }
}

TEST_F(NetscapeTest, AURLThatDoesNotOpenGivesNothingAndNeedsNoClose) {
  vcl::TMemoryStream stream;
  EXPECT_EQ(getNetscapeURLOnStream(Url(L"missing.gif"), &stream), L"");
  EXPECT_EQ(stream.Size(), 0);
  std::vector<std::wstring> calls = Calls();
  EXPECT_EQ(calls, (std::vector<std::wstring>{L"Open " + Url(L"missing.gif") + L"|0||0|", L"Released"}));
}

TEST_F(NetscapeTest, AnObjectFinishedAtOnceStillReportsItsType) {
  vcl::TMemoryStream stream;
  EXPECT_EQ(getNetscapeURLOnStream(Url(L"quadrants.gif", L"finished"), &stream), L"image/gif");
  EXPECT_EQ(stream.Size(), 0);
  std::vector<std::wstring> calls = Calls();
  EXPECT_EQ(calls.size(), 5u);
  EXPECT_EQ(CountOf(calls, L"IsFinished"), 1u);
  EXPECT_EQ(CountOf(calls, L"Read"), 0u);
  ExpectClosedAndReleased(calls);
}

TEST_F(NetscapeTest, ErrorsOfTheObjectPassToTheCallerAfterClose) {
  for (const wchar_t* method : {L"GetContentType", L"IsFinished", L"Read", L"Close", L"Open"}) {
    SCOPED_TRACE(vcl::Utf8FromUnicode(method));
    NextObject();
    vcl::TMemoryStream stream;
    try {
      getNetscapeURLOnStream(Url(L"quadrants.bmp", std::wstring(L"fail=") + method), &stream);
      ADD_FAILURE() << "no exception";
    } catch (const vcl::EOleException& e) {
      EXPECT_EQ(e.Message(), std::wstring(L"The stand-in refused ") + method);
      EXPECT_EQ(e.Source(), L"kx_network_object");
      EXPECT_EQ(e.ErrorCode(), E_FAIL);
    }
    std::vector<std::wstring> calls = Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), L"Released");
    if (std::wstring(method) == L"Open") {
      EXPECT_EQ(CountOf(calls, L"Close"), 0u);  // nothing was opened
    } else if (std::wstring(method) == L"Close") {
      EXPECT_EQ(Contents(stream), ReadTestFile(L"quadrants.bmp"));
      EXPECT_EQ(CountOf(calls, L"Close"), 1u);
    } else {
      ASSERT_GE(calls.size(), 3u);
      EXPECT_EQ(calls[calls.size() - 2], L"Close");
    }
  }
}

TEST_F(NetscapeTest, ACountBeyondTheBufferIsNotBelieved) {
  // Each Read claims 5000 bytes. In the caller's own buffer (2000 bytes) the claim reaches past the
  // bytes delivered, but never past the buffer; a buffer the object swapped in holds exactly the
  // bytes delivered, and only they are taken. (Wine's marshaller rounds a string of an odd byte
  // count up to whole characters on its way back, where Windows keeps the count; the swapped-in
  // buffers here are all of even length.)
  const std::string rose = ReadTestFile(L"rose.jpg");
  vcl::TMemoryStream own;
  EXPECT_EQ(getNetscapeURLOnStream(Url(L"rose.jpg", L"claim=5000"), &own), L"image/jpeg");
  std::vector<std::wstring> calls = Calls();
  const size_t reads = CountOf(calls, L"Read ");
  EXPECT_EQ(reads, 3u);
  EXPECT_EQ(own.Size(), static_cast<std::int64_t>(reads * 2000));
  EXPECT_EQ(Contents(own).substr(0, 1000), rose.substr(0, 1000));

  NextObject();
  vcl::TMemoryStream swapped;
  EXPECT_EQ(getNetscapeURLOnStream(Url(L"quadrants.bmp", L"claim=5000&replace"), &swapped), L"image/x-MS-bmp");
  EXPECT_EQ(Contents(swapped), ReadTestFile(L"quadrants.bmp"));
  ExpectClosedAndReleased(Calls());
}

TEST_F(NetscapeTest, GIFJPEGAndBMPLoadIntoThePictureAsBitmaps) {
  const struct {
    const wchar_t* File;
    const wchar_t* Options;
    TImageURLType Type;
    int Tolerance;
  } cases[] = {
      {L"quadrants.gif", L"", iuGIF, 0},
      {L"quadrants.jpg", L"", iuJPG, 12},
      {L"quadrants.bmp", L"", iuBMP, 0},
      {L"quadrants.gif", L"type=IMAGE/GIF&chunk=50", iuGIF, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(vcl::Utf8FromUnicode(c.File));
    NextObject();
    TMarkedPicture marked;
    EXPECT_EQ(getNetscapeImageURLIntoPicture(Url(c.File, c.Options), &marked.Picture), c.Type);
    auto* bitmap = dynamic_cast<vcl::TBitmap*>(marked.Picture.Graphic());
    ASSERT_NE(bitmap, nullptr);
    ExpectQuadrants(*bitmap, c.Tolerance);
    EXPECT_GE(marked.Changes, 1);
    ExpectClosedAndReleased(Calls());
  }
}

TEST_F(NetscapeTest, PNGAndOtherContentLeaveThePictureAlone) {
  const struct {
    const wchar_t* File;
    const wchar_t* Options;
    TImageURLType Type;
  } cases[] = {
      {L"quadrants.png", L"", iuPNG},
      {L"notes.txt", L"", iuUnknown},
      {L"quadrants.gif", L"type=image/gif;q=1", iuUnknown},
      {L"missing.gif", L"", iuUnknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(vcl::Utf8FromUnicode(c.File));
    NextObject();
    TMarkedPicture marked;
    EXPECT_EQ(getNetscapeImageURLIntoPicture(Url(c.File, c.Options), &marked.Picture), c.Type);
    marked.ExpectUntouched();
    EXPECT_EQ(Calls().back(), L"Released");
  }
}

TEST_F(NetscapeTest, TheDecodersErrorsPassToTheCallerAndThePictureStays) {
  // An object finished at once hands the decoder an empty stream; content of another kind than
  // reported fails the same way.
  const struct {
    const wchar_t* File;
    const wchar_t* Options;
    bool Gif;  // GIFException rather than EInvalidGraphic
  } cases[] = {
      {L"quadrants.gif", L"finished", true},
      {L"quadrants.jpg", L"finished", false},
      {L"quadrants.bmp", L"finished", false},
      {L"quadrants.png", L"type=image/jpeg", false},
      {L"quadrants.jpg", L"type=image/x-ms-bmp", false},
      {L"notes.txt", L"type=image/gif", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << vcl::Utf8FromUnicode(c.File) << " " << vcl::Utf8FromUnicode(c.Options));
    NextObject();
    TMarkedPicture marked;
    if (c.Gif) EXPECT_THROW(getNetscapeImageURLIntoPicture(Url(c.File, c.Options), &marked.Picture), GIFException);
    else EXPECT_THROW(getNetscapeImageURLIntoPicture(Url(c.File, c.Options), &marked.Picture), vcl::EInvalidGraphic);
    marked.ExpectUntouched();
    ExpectClosedAndReleased(Calls());
  }
}

TEST_F(NetscapeTest, ANilPictureIsNotDecodedInto) {
  EXPECT_EQ(getNetscapeImageURLIntoPicture(Url(L"quadrants.gif"), nullptr), iuGIF);
  ExpectClosedAndReleased(Calls());
}

TEST(NetscapeNoBrowser, WithoutTheObjectTheOleErrorPasses) {
  TNetworkObjectRegistration none;
  ASSERT_TRUE(none.Ok());
  TMarkedPicture marked;
  vcl::TMemoryStream stream;
  for (int call = 0; call < 2; ++call) {
    try {
      if (call == 0) getNetscapeImageURLIntoPicture(Url(L"quadrants.gif"), &marked.Picture);
      else getNetscapeURLOnStream(Url(L"quadrants.gif"), &stream);
      ADD_FAILURE() << "no exception";
    } catch (const vcl::EOleSysError& e) {
      EXPECT_EQ(e.ErrorCode(), CO_E_CLASSSTRING);
    }
  }
  marked.ExpectUntouched();
  EXPECT_EQ(stream.Size(), 0);
}
