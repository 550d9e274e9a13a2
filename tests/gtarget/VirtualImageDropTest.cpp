// Pictures offered only as virtual files (a file group descriptor and "FileContents"), as a
// browser drags an image: recognised by content whatever the name, taken only after every other
// picture format, and never taken from a descriptor of folders.
#include <gtest/gtest.h>

#include <wincodec.h>

#include "GraphicTargetTestSupport.h"
#include "gif/GIFTestSupport.h"
#include "support/ImageFiles.h"
#include "support/RawDropTarget.h"

using namespace kestrix;
using namespace gtargettest;
using kxtest::MakeFake;
using kxtest::VirtualItem;

namespace {

// A 4-colour GIF whose pixel (x, y) has index (x + 2y) mod 4, and the bitmap it shows.
constexpr int kGifWidth = 7, kGifHeight = 5;
std::string GifFile() {
  std::vector<int> pixels;
  for (int y = 0; y < kGifHeight; ++y)
    for (int x = 0; x < kGifWidth; ++x) pixels.push_back((x + 2 * y) % 4);
  return giftest::Header(kGifWidth, kGifHeight, 1) + giftest::LiteralFrame(kGifWidth, kGifHeight, pixels) + ";";
}
std::unique_ptr<vcl::TBitmap> GifPixels() {
  auto bitmap = pictest::QuarteredBitmap(kGifWidth, kGifHeight, vcl::pf24bit);
  for (int y = 0; y < kGifHeight; ++y)
    for (int x = 0; x < kGifWidth; ++x) {
      const int i = (x + 2 * y) % 4;  // giftest::ColorTable's entry i is (i, 2i, 3i)
      bitmap->Canvas()->SetPixels(x, y, RGB(i, 2 * i, 3 * i));
    }
  return bitmap;
}

// A browser's drag of one image: its descriptor, its contents and its address.
vcl::TComPtr<kxtest::FakeDataObject> BrowserImage(const std::vector<VirtualItem>& items,
                                                   std::vector<std::string> contents, DWORD tymed = TYMED_ISTREAM,
                                                   bool wide = true) {
  auto data = MakeFake();
  data->Offer(wide ? L"FileGroupDescriptorW" : L"FileGroupDescriptor", kxtest::FileGroupDescriptor(items, wide));
  data->OfferFileContents(std::move(contents), tymed);
  const std::wstring url = L"https://pictures.test/image.png";
  data->Offer(L"UniformResourceLocatorW", std::string(reinterpret_cast<const char*>(url.c_str()), (url.size() + 1) * 2));
  data->Offer(L"UniformResourceLocator", "https://pictures.test/image.png" + std::string(1, '\0'));
  return data;
}

}  // namespace

TEST(VirtualImageDrop, RecognisedByContentNotByName) {
  auto source = pictest::QuarteredBitmap(9, 7, vcl::pf24bit);
  const std::string png = kxtest::EncodeImage(source->Handle(), GUID_ContainerFormatPng);
  const std::string jpeg = kxtest::EncodeImage(source->Handle(), GUID_ContainerFormatJpeg);
  ASSERT_FALSE(png.empty());
  ASSERT_FALSE(jpeg.empty());
  const std::string bmp = pictest::BmpFileOf(*source);
  auto gifPixels = GifPixels();
  const VirtualItem folder{L"pictures", FILE_ATTRIBUTE_DIRECTORY};

  enum Expect { kPixels, kDecodes, kEmpty };
  struct Case {
    const char* name;
    std::vector<VirtualItem> items;
    std::vector<std::string> contents;
    DWORD tymed;
    bool wide;
    Expect expect;
    vcl::TBitmap* pixels;
  };
  const Case cases[] = {
      {"PNG named .jpg, stream", {{L"photo.jpg"}}, {png}, TYMED_ISTREAM, true, kPixels, source.get()},
      {"PNG, global memory, ANSI descriptor", {{L"image.png"}}, {png}, TYMED_HGLOBAL, false, kPixels, source.get()},
      {"GIF named .png", {{L"image.png"}}, {GifFile()}, TYMED_ISTREAM, true, kPixels, gifPixels.get()},
      {"BMP named .gif", {{L"image.gif"}}, {bmp}, TYMED_HGLOBAL, true, kPixels, source.get()},
      {"JPEG named .png", {{L"image.png"}}, {jpeg}, TYMED_ISTREAM, true, kDecodes, nullptr},
      {"a folder and a text file before the image", {folder, {L"notes.txt"}, {L"image.png"}},
       {"", "just text", png}, TYMED_ISTREAM, true, kPixels, source.get()},
      {"garbage", {{L"image.png"}}, {"this is no picture at all"}, TYMED_ISTREAM, true, kEmpty, nullptr},
      {"PNG cut short", {{L"image.png"}}, {png.substr(0, 60)}, TYMED_ISTREAM, true, kEmpty, nullptr},
      {"GIF cut short", {{L"image.gif"}}, {GifFile().substr(0, 20)}, TYMED_ISTREAM, true, kEmpty, nullptr},
      {"BMP cut short", {{L"image.bmp"}}, {bmp.substr(0, 30)}, TYMED_ISTREAM, true, kEmpty, nullptr},
      {"PNG claiming 65535 x 65535", {{L"image.png"}},
       {png.substr(0, 16) + std::string("\0\0\xFF\xFF\0\0\xFF\xFF", 8) + png.substr(24)}, TYMED_ISTREAM, true, kEmpty,
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BoundTarget b;
    auto data = BrowserImage(c.items, c.contents, c.tymed, c.wide);
    EXPECT_EQ(b.Enter(data.Get()), DWORD(DROPEFFECT_COPY));
    EXPECT_EQ(b.target->getAvailableGraphicFormats(), TDropGraphicFormats{dgfBitmap});
    DWORD effect = DROPEFFECT_COPY;
    EXPECT_EQ(b.DropTarget()->Drop(data.Get(), 0, b.ScreenPoint(7, 8), &effect), S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
    b.Pump();
    // Contents that are no picture give an empty picture, as a DIB that is no picture does.
    ASSERT_EQ(b.drops.size(), 1u);
    EXPECT_EQ(b.drops[0].empty, c.expect == kEmpty);
    EXPECT_EQ(b.target->getDroppedGraphicFormat(), dgfBitmap);
    if (c.expect == kPixels) {
      EXPECT_EQ(kxtest::BitmapPixels32(b.target->getPicture()->Bitmap()->Handle()),
                kxtest::BitmapPixels32(c.pixels->Handle()));
    } else if (c.expect == kDecodes) {
      EXPECT_EQ(b.target->getPicture()->Bitmap()->Width(), 9);
      EXPECT_EQ(b.target->getPicture()->Bitmap()->Height(), 7);
    }
    EXPECT_FALSE(b.target->getDataObject());
    data.Reset();
    EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
  }
}

TEST(VirtualImageDrop, AcceptedOnlyForAFileWithContentsAfterEveryOtherFormat) {
  auto source = pictest::QuarteredBitmap(9, 7, vcl::pf24bit);
  const std::string png = kxtest::EncodeImage(source->Handle(), GUID_ContainerFormatPng);
  auto other = pictest::QuarteredBitmap(5, 3, vcl::pf24bit);
  other->Canvas()->FillRect({0, 0, 5, 3}, RGB(0, 200, 0));

  // Refused: a descriptor of folders, a descriptor without contents, contents without a
  // descriptor, a target that takes no bitmaps.
  const VirtualItem folder{L"pictures", FILE_ATTRIBUTE_DIRECTORY};
  struct Refused {
    const char* name;
    vcl::TComPtr<kxtest::FakeDataObject> data;
    bool acceptBitmap;
  };
  auto noContents = MakeFake();
  noContents->Offer(L"FileGroupDescriptorW", kxtest::FileGroupDescriptor({{L"image.png"}}));
  auto noDescriptor = MakeFake();
  noDescriptor->OfferFileContents({png});
  Refused refused[] = {
      {"only a folder", BrowserImage({folder}, {png}), true},
      {"no contents", noContents, true},
      {"no descriptor", noDescriptor, true},
      {"bitmaps not accepted", BrowserImage({{L"image.png"}}, {png}), false},
  };
  for (Refused& r : refused) {
    SCOPED_TRACE(r.name);
    BoundTarget b;
    b.target->setAcceptBitmap(r.acceptBitmap);
    EXPECT_EQ(b.Enter(r.data.Get()), 0u);
    auto [hr, effect] = b.DragAndDrop(r.data.Get());
    b.Pump();
    EXPECT_EQ(effect, 0u);
    EXPECT_TRUE(b.drops.empty());
    EXPECT_EQ(b.target->getPicture(), nullptr);
  }

  // Every format taken today comes first: a DIB (moved without keys, as before, where the virtual
  // file alone is copied: its source may delete what it is told was moved), and a metafile as the
  // preferred kind.
  BoundTarget b;
  EXPECT_EQ(b.Enter(BrowserImage({{L"image.png"}}, {png}).Get(), 0, DROPEFFECT_COPY | DROPEFFECT_MOVE),
            DWORD(DROPEFFECT_COPY));
  b.DropTarget()->DragLeave();
  auto both = BrowserImage({{L"image.png"}}, {png});
  both->Offer(CF_DIB, PackedDIBOf(*other));
  b.target->setPreferredFormat(dgfBitmap);
  EXPECT_EQ(b.DropAndPump(both.Get(), 0, DROPEFFECT_COPY | DROPEFFECT_MOVE).second, DWORD(DROPEFFECT_MOVE));
  ASSERT_EQ(b.drops.size(), 1u);
  EXPECT_EQ(kxtest::BitmapPixels32(b.target->getPicture()->Bitmap()->Handle()), kxtest::BitmapPixels32(other->Handle()));
  auto withMetafile = BrowserImage({{L"image.png"}}, {png});
  OfferEnhMetafile(*withMetafile, pictest::FilledMetafile(2000, 1000, RGB(0, 128, 0)));
  b.target->setPreferredFormat(dgfMetafile);
  b.DropAndPump(withMetafile.Get());
  ASSERT_EQ(b.drops.size(), 2u);
  EXPECT_EQ(b.target->getDroppedGraphicFormat(), dgfMetafile);

  // Contents that cannot be read are a failed fetch: no effect, no OnDrop, the last picture kept.
  vcl::TPicture* last = b.target->getPicture();
  auto broken = MakeFake();
  broken->Offer(L"FileGroupDescriptorW", kxtest::FileGroupDescriptor({{L"image.png"}}));
  broken->OfferBroken(RegisterClipboardFormatW(L"FileContents"), E_OUTOFMEMORY, TYMED_ISTREAM);
  EXPECT_EQ(b.Enter(broken.Get()), DWORD(DROPEFFECT_COPY));
  auto [hr, effect] = b.DropAndPump(broken.Get());
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(effect, 0u);
  EXPECT_EQ(b.drops.size(), 2u);
  EXPECT_EQ(b.target->getPicture(), last);
  EXPECT_FALSE(b.target->getDataObject());
  EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
}
