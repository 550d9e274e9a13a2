// JPEG pictures decoded through Windows Imaging Component (Wine's own implementation).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "BrowserTestSupport.h"
#include "framework/Jpeg.h"

using namespace browsertest;
using vcl::TBitmap;
using vcl::TJPEGImage;
using vcl::TStringStream;

namespace {

void Load(TJPEGImage& jpeg, const std::string& bytes) {
  TStringStream stream(bytes);
  jpeg.LoadFromStream(stream);
}

std::string Saved(vcl::TGraphic& graphic) {
  vcl::TMemoryStream stream;
  graphic.SaveToStream(stream);
  return std::string(reinterpret_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.Size()));
}

// The quadrants picture with its frame header claiming another size.
std::string WithSize(std::string jpeg, int width, int height) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (static_cast<unsigned char>(jpeg[i]) == 0xFF && static_cast<unsigned char>(jpeg[i + 1]) == 0xC0) {
      jpeg[i + 5] = static_cast<char>(height >> 8);
      jpeg[i + 6] = static_cast<char>(height);
      jpeg[i + 7] = static_cast<char>(width >> 8);
      jpeg[i + 8] = static_cast<char>(width);
      return jpeg;
    }
  }
  ADD_FAILURE() << "no baseline frame header";
  return jpeg;
}

}  // namespace

TEST(JPEGImage, DecodesEachKindOfJPEGFile) {
  // The grey-scale file holds each colour's luminance as imagemagick weighs it (Rec. 709).
  const vcl::TColor grey[] = {0x363636, 0xB6B6B6, 0x121212, 0xFFFFFF};
  struct {
    const wchar_t* File;
    bool Grey;
  } const cases[] = {{L"quadrants.jpg", false},
                     {L"quadrants_progressive.jpg", false},
                     {L"quadrants_gray.jpg", true},
                     {L"quadrants_cmyk.jpg", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << vcl::Utf8FromUnicode(c.File));
    TJPEGImage jpeg;
    int changes = 0;
    jpeg.SetOnChange([&](vcl::TObject*) { ++changes; });
    Load(jpeg, ReadTestFile(c.File));
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(jpeg.Empty());
    EXPECT_EQ(jpeg.Width(), kQuadrantsWidth);
    EXPECT_EQ(jpeg.Height(), kQuadrantsHeight);
    TBitmap bitmap;
    bitmap.Assign(&jpeg);
    EXPECT_EQ(bitmap.PixelFormat(), vcl::pf24bit);
    if (!c.Grey) {
      ExpectQuadrants(bitmap, 12);
    } else {
      for (int q = 0; q < 4; ++q)
        EXPECT_TRUE(ColorNear(bitmap.Canvas()->Pixels(kQuadrantProbes[q].X, kQuadrantProbes[q].Y), grey[q], 6)) << q;
    }
  }
}

TEST(JPEGImage, AgreesWithAnotherDecoderOnAPhotograph) {
  TJPEGImage jpeg;
  Load(jpeg, ReadTestFile(L"rose.jpg"));
  TBitmap decoded, reference;
  decoded.Assign(&jpeg);
  reference.LoadFromFile(kxtest::TestDataPath(L"browser/rose_decoded.bmp"));
  ASSERT_EQ(decoded.Width(), reference.Width());
  ASSERT_EQ(decoded.Height(), reference.Height());
  // Both decoders follow the reference implementation; rounding in the colour conversion and
  // upsampling may differ a little.
  int worst = 0;
  for (int y = 0; y < decoded.Height(); ++y) {
    auto* a = static_cast<const BYTE*>(decoded.ScanLine(y));
    auto* b = static_cast<const BYTE*>(reference.ScanLine(y));
    for (int i = 0; i < decoded.Width() * 3; ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  }
  EXPECT_LE(worst, 4);
}

TEST(JPEGImage, DrawsStretchedOntoACanvas) {
  TJPEGImage jpeg;
  Load(jpeg, ReadTestFile(L"quadrants.jpg"));
  TBitmap target;
  target.SetPixelFormat(vcl::pf24bit);
  target.SetSize(kQuadrantsWidth * 2, kQuadrantsHeight * 2);
  target.Canvas()->StretchDraw(vcl::TRect{0, 0, kQuadrantsWidth * 2, kQuadrantsHeight * 2}, &jpeg);
  ExpectQuadrants(target, 12, 2);
}

TEST(JPEGImage, KeepsTheDataAsLoadedFromTheStreamPosition) {
  const std::string file = ReadTestFile(L"quadrants.jpg");
  TStringStream stream("leading bytes" + file);
  stream.SetPosition(13);
  TJPEGImage jpeg;
  jpeg.LoadFromStream(stream);
  EXPECT_EQ(stream.Position(), stream.Size());
  EXPECT_EQ(Saved(jpeg), file);

  TJPEGImage copy;
  copy.Assign(&jpeg);
  EXPECT_EQ(Saved(copy), file);
  EXPECT_TRUE(copy.Equals(&jpeg));
  TBitmap bitmap;
  bitmap.Assign(&copy);
  ExpectQuadrants(bitmap, 12);

  copy.Assign(nullptr);
  EXPECT_TRUE(copy.Empty());
  EXPECT_EQ(Saved(copy), "");
  bitmap.Assign(&copy);
  EXPECT_TRUE(bitmap.Empty());
}

TEST(JPEGImage, RefusesDataThatDoesNotDecodeAndKeepsItsImage) {
  const std::string jpeg = ReadTestFile(L"quadrants.jpg");
  const struct {
    const char* Name;
    std::string Bytes;
  } cases[] = {
      {"empty", ""},
      {"text", "not a picture at all"},
      {"start of image only", jpeg.substr(0, 2)},
      {"headers cut short", jpeg.substr(0, 40)},
      {"PNG", ReadTestFile(L"quadrants.png")},
      {"GIF", ReadTestFile(L"quadrants.gif")},
      {"BMP", ReadTestFile(L"quadrants.bmp")},
      {"zero width", WithSize(jpeg, 0, 16)},
      {"65500 x 65500", WithSize(jpeg, 65500, 65500)},
      {"20000 x 20000", WithSize(jpeg, 20000, 20000)},
  };
  TJPEGImage image;
  Load(image, jpeg);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    int changes = 0;
    image.SetOnChange([&](vcl::TObject*) { ++changes; });
    EXPECT_THROW(Load(image, c.Bytes), vcl::EInvalidGraphic);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(image.Width(), kQuadrantsWidth);
    EXPECT_EQ(Saved(image), jpeg);
  }
}

TEST(JPEGImage, ATruncatedImageDecodesAsFarAsItGoesOrIsRefused) {
  // Decoders differ here: libjpeg fills what is missing with grey, others refuse the data.
  const std::string rose = ReadTestFile(L"rose.jpg");
  for (size_t keep : {rose.size() / 2, rose.size() - 2}) {
    SCOPED_TRACE(keep);
    TJPEGImage jpeg;
    try {
      Load(jpeg, rose.substr(0, keep));
      EXPECT_EQ(jpeg.Width(), 70);
      EXPECT_EQ(jpeg.Height(), 46);
    } catch (const vcl::EInvalidGraphic&) {
      EXPECT_TRUE(jpeg.Empty());
    }
  }
}

TEST(JPEGImage, SizeComesFromTheDataAlone) {
  TJPEGImage jpeg;
  Load(jpeg, ReadTestFile(L"quadrants.jpg"));
  EXPECT_THROW(jpeg.SetWidth(10), vcl::EInvalidGraphicOperation);
  EXPECT_THROW(jpeg.SetHeight(10), vcl::EInvalidGraphicOperation);
  EXPECT_EQ(jpeg.Width(), kQuadrantsWidth);
  // No encoder: a bitmap does not become a JPEG image.
  TBitmap bitmap;
  bitmap.SetSize(4, 4);
  EXPECT_THROW(jpeg.Assign(&bitmap), vcl::EConvertError);
}
