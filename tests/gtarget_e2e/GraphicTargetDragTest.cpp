// Real drags of pictures, driven by synthesized mouse input: TKXGraphicSource on a form of this
// process into TKXGraphicTarget in another (tests/peers/kx_peer_picturetarget), and a local one;
// a browser's image, offered only as a virtual file, into a local one.
#include <gtest/gtest.h>
#include <wincodec.h>

#include "framework/ExtCtrls.h"
#include "framework/ExtCtrlsImage.h"
#include "framework/Forms.h"
#include "framework/Streams.h"
#include "gif/KXGIFImage.h"
#include "picsource/PictureTestSupport.h"
#include "sources/KXGraphicSource.h"
#include "support/DragDriver.h"
#include "support/FakeDataObject.h"
#include "support/ImageFiles.h"
#include "support/RawDragSource.h"
#include "support/PeerProcess.h"
#include "support/RawDropTarget.h"
#include "support/TestSupport.h"
#include "targets/KXGraphicTarget.h"

using namespace kestrix;

namespace {

constexpr POINT kOnImage{30, 30};  // client point of the source form, inside the image

// A form with a panel that takes dropped pictures.
struct TargetForm {
  vcl::TForm form{nullptr};
  vcl::TPanel* panel = new vcl::TPanel(&form);
  TKXGraphicTarget* target = new TKXGraphicTarget(&form);
  int drops = 0;

  TargetForm() {
    form.SetBounds(380, 80, 300, 220);
    panel->SetParent(&form);
    panel->SetBounds(0, 0, 280, 180);
    target->setAcceptorControl(panel);
    target->setOnDrop([this](TObject*, vcl::TWinControl*, vcl::TPicture*, int, int) { ++drops; });
    ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
    kxtest::PumpMessages(200);
  }
};

// A form with an image (the donor) and a picture source.
struct SourceForm {
  vcl::TForm form{nullptr};
  vcl::TImage* image = new vcl::TImage(&form);
  TKXGraphicSource* source = new TKXGraphicSource(&form);
  bool droppedOK = false;

  SourceForm() {
    form.SetBounds(40, 60, 240, 200);
    image->SetParent(&form);
    image->SetBounds(10, 10, 100, 100);
    source->setDonorImage(image);
    source->setDropEffects({deCopy, deMove});
    source->setOnAfterDrop([this](TObject*, vcl::TImage*, bool ok) { droppedOK = ok; });
    form.Show();
    kxtest::PumpMessages(150);
  }
  // Presses on the image and drags onto a client point of target; returns Execute's result.
  bool DragTo(HWND target, POINT client) {
    kxtest::DragDriver driver;
    if (!driver.Press(form.Handle(), kOnImage)) {
      ADD_FAILURE() << "the button did not go down";
      return false;
    }
    driver.Run(kxtest::DropOn(target, client));
    bool result = source->Execute();
    EXPECT_TRUE(driver.Wait());
    return result;
  }
};

}  // namespace

TEST(GraphicTargetDrag, KestrixSourceToKestrixTargetInAnotherProcess) {
  struct Case {
    bool metafile;
    const wchar_t* preferred;
  };
  const Case cases[] = {{false, L"metafile"}, {false, L"bitmap"}, {true, L"metafile"}, {true, L"bitmap"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.metafile ? "metafile" : "bitmap") << ", preferred " << vcl::Utf8FromUnicode(c.preferred));
    SourceForm s;
    if (c.metafile) s.image->Picture()->SetGraphic(pictest::FilledMetafileGraphic(2540, 1270, RGB(0, 0, 200)).get());
    else s.image->Picture()->SetGraphic(pictest::QuarteredBitmap(37, 23, vcl::pf24bit).get());

    kxtest::PeerProcess peer;
    const std::wstring title = L"kx picture target peer " + std::to_wstring(GetTickCount());
    ASSERT_TRUE(peer.Start(L"kx_peer_picturetarget.exe",
                           {L"--title", title, L"--rect", L"380,80,300,220", L"--preferred", c.preferred}));
    ASSERT_TRUE(peer.WaitReady());
    HWND peerWnd = kxtest::FindPeerWindow(title);
    ASSERT_NE(peerWnd, nullptr);
    kxtest::PumpMessages(200);

    EXPECT_TRUE(s.DragTo(peerWnd, {100, 60}));
    ASSERT_TRUE(peer.WaitExit());
    ASSERT_EQ(peer.ExitCode(), 0u) << peer.ResultText();
    auto r = peer.Result();
    EXPECT_EQ(r["kind"], std::to_string(c.metafile ? dgfMetafile : dgfBitmap));
    if (c.metafile) {
      EXPECT_EQ(kxtest::BytesFromHex(r["records"]), kxtest::EnhMetaFileBytes(s.image->Picture()->Metafile()->Handle()));
    } else {
      EXPECT_EQ(kxtest::BytesFromHex(r["pixels"]), kxtest::BitmapPixels32(s.image->Picture()->Bitmap()->Handle()));
    }
    EXPECT_EQ(r["x"], "100");
    EXPECT_EQ(r["y"], "60");
    // OnDrop ran from the panel's message loop, after Drop had returned to the source's drag loop.
    EXPECT_EQ(r["dropsreturned"], "1");
    EXPECT_EQ(r["insidedrop"], "0");
    EXPECT_EQ(r["inmessage"], "1");
    EXPECT_EQ(r["dataobject"], "1");
    EXPECT_EQ(r["effect"], std::to_string(deMove));
    EXPECT_TRUE(s.droppedOK);
    EXPECT_EQ(s.source->getReturnedEffect(), deMove);
  }
}

TEST(GraphicTargetDrag, WithinOneProcess) {
  SourceForm s;
  s.image->Picture()->SetGraphic(pictest::QuarteredBitmap(20, 10, vcl::pf24bit).get());
  TargetForm t;

  EXPECT_TRUE(s.DragTo(t.form.Handle(), {50, 50}));
  kxtest::PumpUntil([&] { return t.drops > 0; }, 3000);
  EXPECT_EQ(t.drops, 1);
  ASSERT_NE(t.target->getPicture(), nullptr);
  EXPECT_EQ(kxtest::BitmapPixels32(t.target->getPicture()->Bitmap()->Handle()),
            kxtest::BitmapPixels32(s.image->Picture()->Bitmap()->Handle()));
  EXPECT_EQ(t.target->getDroppedGraphicFormat(), dgfBitmap);
}

TEST(GraphicTargetDrag, ABrowsersImageOfferedOnlyAsAVirtualFile) {
  // What a browser offers for a dragged image: the file's descriptor and its bytes in a stream,
  // its address in three forms, and no picture format.
  auto image = pictest::QuarteredBitmap(23, 11, vcl::pf24bit);
  const std::string png = kxtest::EncodeImage(image->Handle(), GUID_ContainerFormatPng);
  ASSERT_FALSE(png.empty());
  const std::wstring url = L"https://pictures.test/image.png";
  auto data = kxtest::MakeFake();
  data->Offer(L"FileGroupDescriptorW", kxtest::FileGroupDescriptor({{L"image.png"}}));
  data->OfferFileContents({png}, TYMED_ISTREAM);
  data->Offer(L"UniformResourceLocatorW", std::string(reinterpret_cast<const char*>(url.c_str()), (url.size() + 1) * 2));
  data->Offer(L"UniformResourceLocator", "https://pictures.test/image.png" + std::string(1, '\0'));
  const std::wstring mozURL = url + L"\nimage.png";
  data->Offer(L"text/x-moz-url", std::string(reinterpret_cast<const char*>(mozURL.c_str()), mozURL.size() * 2));
  TargetForm t;

  kxtest::TestWindow source(L"browser", {40, 60, 240, 260});
  kxtest::DragDriver driver;
  ASSERT_TRUE(driver.Press(source.Handle(), source.Centre()));
  driver.Run(kxtest::DropOn(t.form.Handle(), {50, 50}));
  auto* dropSource = new kxtest::RawDropSource();
  DWORD effect = 0;
  EXPECT_EQ(DoDragDrop(data.Get(), dropSource, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect), DRAGDROP_S_DROP);
  dropSource->Release();
  EXPECT_TRUE(driver.Wait());
  EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));

  kxtest::PumpUntil([&] { return t.drops > 0; }, 3000);
  EXPECT_EQ(t.drops, 1);
  ASSERT_NE(t.target->getPicture(), nullptr);
  EXPECT_EQ(t.target->getDroppedGraphicFormat(), dgfBitmap);
  EXPECT_EQ(kxtest::BitmapPixels32(t.target->getPicture()->Bitmap()->Handle()), kxtest::BitmapPixels32(image->Handle()));
  EXPECT_FALSE(t.target->getDataObject());
  EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
}

namespace {

// A file of these bytes in a fresh folder; its full path.
std::wstring WriteTempFile(const std::wstring& name, const std::string& bytes) {
  const std::wstring path = kxtest::MakeTempFolder(L"picfile") + name;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
  return path;
}

std::string ReadAll(const std::wstring& path) {
  std::string bytes;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  char buffer[4096];
  for (DWORD got = 0; ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got;) bytes.append(buffer, got);
  CloseHandle(h);
  return bytes;
}

// A DIB section's pixels as top-down rows of its own bytes (alpha included for 32 bits).
std::string RawRows(vcl::TBitmap& bitmap) {
  std::string rows;
  const size_t rowBytes = size_t(bitmap.Width()) * (bitmap.PixelFormat() == vcl::pf32bit ? 4 : 3);
  for (int y = 0; y < bitmap.Height(); ++y) rows.append(static_cast<const char*>(bitmap.ScanLine(y)), rowBytes);
  return rows;
}

}  // namespace

// Pictures as the file manager (an image file in CF_HDROP) and office suites and browsers ("PNG",
// with alpha) offer them, dragged for real onto the picture target.
TEST(GraphicTargetDrag, ImageFilesAndPNGBlocks) {
  auto quartered = pictest::QuarteredBitmap(23, 11, vcl::pf24bit);
  const std::string png24 = kxtest::EncodeImage(quartered->Handle(), GUID_ContainerFormatPng);
  // 5 x 3 pixels, alpha 0, 1, 128, 255 and between: straight (not premultiplied) colours.
  std::string bgra;
  for (int i = 0; i < 15; ++i) bgra += {char(10 * i), char(200 - 7 * i), char(3 * i), char(i == 0 ? 0 : i == 1 ? 1 : i == 14 ? 255 : 17 * i)};
  const std::string pngAlpha = kxtest::EncodeBGRA(5, 3, bgra, GUID_ContainerFormatPng);
  ASSERT_FALSE(png24.empty());
  ASSERT_FALSE(pngAlpha.empty());
  const std::string gif = ReadAll(kxtest::TestDataPath(L"gif/gb_rose.gif"));
  ASSERT_FALSE(gif.empty());
  TGIFImage gifImage;
  {
    vcl::TStringStream stream(gif);
    stream.SetPosition(0);
    gifImage.LoadFromStream(stream);
  }
  vcl::TBitmap gifBitmap;
  gifBitmap.Assign(&gifImage);

  struct Case {
    const char* what;
    vcl::TComPtr<kxtest::FakeDataObject> data;
    bool dropped;
    std::string pixels;  // BitmapPixels32 of what arrives, or with alpha: RawRows
    bool alpha = false;
  } cases[] = {
      {"a PNG file from the file manager", kxtest::MakeFake(), true, kxtest::BitmapPixels32(quartered->Handle())},
      {"a GIF file, named .png: by content, the library's reader", kxtest::MakeFake(), true, kxtest::BitmapPixels32(gifBitmap.Handle())},
      {"\"PNG\" with alpha beside a DIB", kxtest::MakeFake(), true, bgra, true},
      {"\"PNG\" in a stream", kxtest::MakeFake(), true, bgra, true},
      {"two files are no picture", kxtest::MakeFake(), false, ""},
  };
  const std::wstring pngPath = WriteTempFile(L"photo.png", png24), gifPath = WriteTempFile(L"rose.png", gif);
  cases[0].data->Offer(CF_HDROP, kxtest::HDropBytes({pngPath})).Offer(L"Preferred DropEffect", std::string("\x05\0\0\0", 4));
  cases[1].data->Offer(CF_HDROP, kxtest::HDropBytes({gifPath}));
  cases[2].data->Offer(L"PNG", pngAlpha).Offer(CF_DIB, std::string(40, '\0'));
  cases[3].data->OfferRendered(RegisterClipboardFormatW(L"PNG"), TYMED_ISTREAM, [&](const FORMATETC&, STGMEDIUM& m) {
    m.tymed = TYMED_ISTREAM;
    return CreateStreamOnHGlobal(kxtest::GlobalWithBytes(pngAlpha), TRUE, &m.pstm);
  });
  cases[4].data->Offer(CF_HDROP, kxtest::HDropBytes({pngPath, gifPath}));

  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    TargetForm t;
    kxtest::TestWindow source(L"file manager", {40, 60, 240, 260});
    kxtest::DragDriver driver;
    ASSERT_TRUE(driver.Press(source.Handle(), source.Centre()));
    driver.Run(kxtest::DropOn(t.form.Handle(), {50, 50}));
    auto* dropSource = new kxtest::RawDropSource();
    DWORD effect = 0;
    const HRESULT hr = DoDragDrop(c.data.Get(), dropSource, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    if (c.dropped) EXPECT_EQ(hr, DRAGDROP_S_DROP);
    dropSource->Release();
    EXPECT_TRUE(driver.Wait());
    kxtest::PumpUntil([&] { return t.drops > 0; }, c.dropped ? 3000 : 300);
    ASSERT_EQ(t.drops, c.dropped ? 1 : 0);
    if (!c.dropped) {
      EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
      continue;
    }
    // A file the source is told was moved may go: copy; a block may move.
    EXPECT_EQ(effect, DWORD(c.alpha ? DROPEFFECT_MOVE : DROPEFFECT_COPY));
    ASSERT_NE(t.target->getPicture(), nullptr);
    vcl::TBitmap* got = t.target->getPicture()->Bitmap();
    if (c.alpha) {
      EXPECT_EQ(got->PixelFormat(), vcl::pf32bit);
      EXPECT_EQ(RawRows(*got), c.pixels);
    } else {
      EXPECT_EQ(kxtest::BitmapPixels32(got->Handle()), c.pixels);
    }
  }
  EXPECT_EQ(ReadAll(pngPath), png24);  // read, never moved
  EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
}
