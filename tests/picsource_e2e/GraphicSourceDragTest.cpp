// TKXGraphicSource::Execute on the real DoDragDrop, driven by synthesized input, from a TImage on
// a form into raw OLE drop targets: another window of this process and a peer process.
#include <gtest/gtest.h>
#include <wincodec.h>

#include <functional>
#include <stdexcept>

#include "framework/ComObj.h"
#include "framework/ExtCtrlsImage.h"
#include "framework/Forms.h"
#include "framework/Handles.h"
#include "framework/WicImage.h"
#include "peers/DragDropHelperRegistration.h"
#include "picsource/PictureTestSupport.h"
#include "sources/KXGraphicDataObject.h"
#include "sources/KXGraphicSource.h"
#include "support/DragDriver.h"
#include "support/ImageFiles.h"
#include "support/PeerProcess.h"
#include "support/RawDropTarget.h"
#include "support/TestSupport.h"

using namespace kestrix;
using namespace kxtest;
using namespace pictest;

namespace {

constexpr RECT kTargetRect{340, 40, 540, 240};
const wchar_t kPeerRect[] = L"340,40,200,200";
constexpr POINT kOnImage{30, 30};  // client point of the form, inside the image

struct HandlerError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string ReadKey(CLIPFORMAT cf, DWORD tymed) { return "read." + std::to_string(cf) + "." + std::to_string(tymed); }

std::wstring ReadArg(CLIPFORMAT cf, DWORD tymed) { return std::to_wstring(cf) + L":" + std::to_wstring(tymed); }

LONG Field(const std::string& bytes, int index) {
  LONG v = 0;
  if (bytes.size() >= static_cast<size_t>(index + 1) * 4) std::memcpy(&v, bytes.data() + index * 4, 4);
  return v;
}

// The pixels of a packed DIB, once the file header is put back.
std::string PixelsOfDib(const std::string& dib) {
  vcl::TBitmap bitmap;
  std::string file = "BM" + std::string(12, '\0') + dib;
  const std::uint32_t size = static_cast<std::uint32_t>(file.size()), offBits = 0;  // 0: pixels follow the table
  std::memcpy(file.data() + 2, &size, 4);
  std::memcpy(file.data() + 10, &offBits, 4);
  vcl::TStringStream stream(file);
  bitmap.LoadFromStream(stream);
  return BitmapPixels32(bitmap.Handle());
}

// A form with an image (the donor) and the picture source, as an application lays them out.
class PictureDrag : public testing::Test {
 protected:
  void SetUp() override {
    liveBefore = TGraphicDataObject::LiveCount();
    form.SetBounds(40, 40, 240, 200);
    image->SetParent(&form);
    image->SetBounds(10, 10, 100, 100);
    image->SetStretch(true);
    source->setDonorImage(image);
    source->setOnAfterDrop([this](TObject* sender, vcl::TImage* donor, bool ok) {
      EXPECT_EQ(sender, source);
      ++after.calls;
      after.droppedOK = ok;
      after.donor = donor;
    });
    source->setOnCancelDrop([this](TObject*) { ++cancels; });
    form.Show();
    target = new RawDropTarget(DROPEFFECT_COPY);
    ASSERT_EQ(target->Register(targetWnd.Handle()), S_OK);
    PumpMessages(150);
  }

  void TearDown() override {
    target->Revoke();
    target->Release();
    EXPECT_TRUE(PumpUntil([&] { return TGraphicDataObject::LiveCount() == liveBefore; }, 3000))
        << "data objects alive: " << TGraphicDataObject::LiveCount() - liveBefore;
  }

  // Presses on the image, plays the script on the driver thread and runs Execute; what Execute
  // throws reaches the caller (the driver finishes its script first).
  bool Drag(DragScript script) {
    return DragWith(form.Handle(), kOnImage, std::move(script), [&] { return source->Execute(); });
  }

  DragScript ToTarget() { return DropOn(targetWnd.Handle(), targetWnd.Centre()); }

  vcl::TBitmap& DonorBitmap() { return *image->Picture()->Bitmap(); }

  vcl::TForm form{nullptr};
  vcl::TImage* image = new vcl::TImage(&form);
  TKXGraphicSource* source = new TKXGraphicSource(&form);
  TestWindow targetWnd{L"kx picture target", kTargetRect, false};
  RawDropTarget* target = nullptr;
  struct {
    int calls = 0;
    bool droppedOK = false;
    vcl::TImage* donor = nullptr;
  } after;
  int cancels = 0;
  LONG liveBefore = 0;
};

class PeerPictureDrag : public PictureDrag {
 protected:
  void SetUp() override {
    PictureDrag::SetUp();
    target->Revoke();  // the peer's window lies where the local target was
  }

  HWND StartPeer(std::vector<std::wstring> args) {
    const std::wstring title = L"kx picture peer " + std::to_wstring(GetCurrentProcessId());
    return peer.StartWindow(L"kx_peer_droptarget.exe", title, kPeerRect, std::move(args));
  }

  PeerProcess peer;
};

}  // namespace

TEST_F(PeerPictureDrag, BitmapOfAnImageIntoAnotherProcess) {
  image->Picture()->SetGraphic(QuarteredBitmap(37, 23, vcl::pf24bit).get());
  const std::string donorPixels = BitmapPixels32(DonorBitmap().Handle());
  const std::string donorFile = BmpFileOf(DonorBitmap());
  HWND peerWnd = StartPeer({L"--read", ReadArg(CF_DIB, TYMED_HGLOBAL), L"--read", ReadArg(CF_BITMAP, TYMED_GDI)});
  ASSERT_NE(peerWnd, nullptr);

  EXPECT_TRUE(Drag(DropOn(peerWnd, {100, 100})));
  ASSERT_TRUE(peer.WaitExit());
  EXPECT_EQ(peer.ExitCode(), 0u) << peer.ResultText();

  auto r = peer.Result();
  EXPECT_EQ(r["drops"], "1");
  EXPECT_EQ(r["enumerated"], "8:1,2:16");
  const std::string dib = BytesFromHex(r[ReadKey(CF_DIB, TYMED_HGLOBAL) + ".bytes"]);
  EXPECT_EQ(dib, donorFile.substr(14));
  EXPECT_EQ(PixelsOfDib(dib), donorPixels);
  EXPECT_EQ(r[ReadKey(CF_BITMAP, TYMED_GDI) + ".tymed"], "16");
  EXPECT_EQ(BytesFromHex(r[ReadKey(CF_BITMAP, TYMED_GDI) + ".bytes"]), donorPixels);
  EXPECT_EQ(after.calls, 1);
  EXPECT_TRUE(after.droppedOK);
  EXPECT_EQ(after.donor, image);
  EXPECT_EQ(source->getReturnedEffect(), deCopy);
}

TEST_F(PeerPictureDrag, MetafileWithAndWithoutItsSize) {
  const COLORREF fill = RGB(0, 0, 200);
  image->Picture()->SetGraphic(FilledMetafileGraphic(2540, 1270, fill).get());
  const std::string donorRecords = EnhMetaFileBytes(image->Picture()->Metafile()->Handle());
  for (bool actualSizes : {false, true}) {
    SCOPED_TRACE(actualSizes);
    source->setUseActualMetafileSizes(actualSizes);
    PeerProcess peerForCase;
    const std::wstring title = L"kx metafile peer " + std::to_wstring(actualSizes);
    HWND peerWnd = peerForCase.StartWindow(
        L"kx_peer_droptarget.exe", title, kPeerRect,
        {L"--read", ReadArg(CF_ENHMETAFILE, TYMED_ENHMF), L"--read", ReadArg(CF_METAFILEPICT, TYMED_MFPICT)});
    ASSERT_NE(peerWnd, nullptr);

    EXPECT_TRUE(Drag(DropOn(peerWnd, {100, 100})));
    ASSERT_TRUE(peerForCase.WaitExit());
    auto r = peerForCase.Result();
    EXPECT_EQ(r["enumerated"], "14:64,3:32");
    EXPECT_EQ(BytesFromHex(r[ReadKey(CF_ENHMETAFILE, TYMED_ENHMF) + ".bytes"]), donorRecords);

    const std::string pict = BytesFromHex(r[ReadKey(CF_METAFILEPICT, TYMED_MFPICT) + ".bytes"]);
    ASSERT_GT(pict.size(), 12u + 18u) << "mm, extents and a Windows metafile";
    EXPECT_EQ(Field(pict, 0), MM_ANISOTROPIC);
    EXPECT_EQ(Field(pict, 1), actualSizes ? 2540 : 0);
    EXPECT_EQ(Field(pict, 2), actualSizes ? 1270 : 0);
    // The Windows metafile shows the same picture when played into a box.
    vcl::TUniqueMetaFile wmf(SetMetaFileBitsEx(static_cast<UINT>(pict.size() - 12),
                                               reinterpret_cast<const BYTE*>(pict.data() + 12)));
    ASSERT_TRUE(wmf);
    vcl::TBitmap played;
    played.SetPixelFormat(vcl::pf24bit);
    played.SetSize(40, 20);
    HDC dc = played.Canvas()->Handle();
    SetMapMode(dc, MM_ANISOTROPIC);
    SetViewportExtEx(dc, 40, 20, nullptr);
    PlayMetaFile(dc, wmf.Get());
    SetMapMode(dc, MM_TEXT);
    EXPECT_EQ(GetPixel(dc, 30, 5), fill);
  }
  EXPECT_EQ(after.calls, 2);
}

TEST_F(PictureDrag, ADrawingBeforeTheDropChangesThePictureButNotTheDrag) {
  image->Picture()->SetGraphic(QuarteredBitmap(16, 16, vcl::pf24bit).get());
  const std::string original = BmpFileOf(DonorBitmap()).substr(14);
  target->SetReads({ReadRequest(CF_DIB)});
  int asked = 0;
  source->setOnBeforeDrop([&](TObject*, vcl::TImage* donor, vcl::TPicture* dropPicture, bool&) {
    ++asked;
    EXPECT_EQ(donor, image);
    dropPicture->Bitmap()->Canvas()->FillRect({0, 0, 16, 16}, RGB(0, 255, 0));
  });

  EXPECT_TRUE(Drag(ToTarget()));

  EXPECT_EQ(asked, 1);
  ASSERT_TRUE(target->Has(CF_DIB));
  EXPECT_EQ(target->Find(CF_DIB)->bytes, original);  // the drag delivered the picture it started with
  EXPECT_EQ(source->getDonorImage(), nullptr);
  EXPECT_EQ(GetPixel(source->getPicture()->Bitmap()->Canvas()->Handle(), 8, 8), RGB(0, 255, 0));
  EXPECT_EQ(BmpFileOf(DonorBitmap()).substr(14), original);  // the image keeps its own picture
  EXPECT_EQ(after.calls, 1);
  EXPECT_EQ(after.donor, nullptr);
}

TEST_F(PictureDrag, AnIconIsNotDragged) {
  vcl::TIcon icon;
  icon.SetHandle(QuarteredIcon(32));
  image->Picture()->SetGraphic(&icon);
  DragDriver driver;
  ASSERT_TRUE(driver.Press(form.Handle(), kOnImage));
  EXPECT_FALSE(source->Execute());
  driver.Run(ToTarget());
  EXPECT_TRUE(driver.Wait());
  EXPECT_EQ(target->enters, 0);
  EXPECT_EQ(target->drops, 0);
  EXPECT_EQ(after.calls + cancels, 0);
  EXPECT_EQ(TGraphicDataObject::LiveCount(), liveBefore);
}

TEST_F(PictureDrag, EscapeCancels) {
  image->Picture()->SetGraphic(QuarteredBitmap(8, 8, vcl::pf24bit).get());
  source->setOnBeforeDrop([](TObject*, vcl::TImage*, vcl::TPicture*, bool&) { ADD_FAILURE() << "no drop to ask for"; });
  EXPECT_TRUE(Drag(EscapeOver(targetWnd.Handle(), targetWnd.Centre())));
  EXPECT_EQ(cancels, 1);
  EXPECT_EQ(after.calls, 0);
  EXPECT_EQ(source->getReturnedEffect(), deNone);
  EXPECT_EQ(target->drops, 0);
  EXPECT_GE(target->enters, 1);
}

TEST_F(PictureDrag, AHandlerExceptionReachesTheCallerOfExecute) {
  image->Picture()->SetGraphic(QuarteredBitmap(8, 8, vcl::pf24bit).get());
  target->SetReads({ReadRequest(CF_DIB)});
  enum Where { kFeedback, kBeforeDrop, kCancel, kAfterDrop };
  struct Case {
    Where where;
    bool escape;   // the user cancels with Escape instead of dropping
    bool dropped;  // the target got the drop before the handler failed
  } cases[] = {
      {kFeedback, false, false},
      {kBeforeDrop, false, false},
      {kCancel, true, false},
      {kAfterDrop, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    source->setOnGiveFeedback(nullptr);
    source->setOnBeforeDrop(nullptr);
    source->setOnCancelDrop(nullptr);
    source->setOnAfterDrop(nullptr);
    const int dropsBefore = target->drops;
    switch (c.where) {
      case kFeedback: source->setOnGiveFeedback([](TObject*, TDropEffect, bool&) { throw HandlerError("feedback"); }); break;
      case kBeforeDrop:
        source->setOnBeforeDrop([](TObject*, vcl::TImage*, vcl::TPicture*, bool&) { throw HandlerError("before drop"); });
        break;
      case kCancel: source->setOnCancelDrop([](TObject*) { throw HandlerError("cancel"); }); break;
      case kAfterDrop: source->setOnAfterDrop([](TObject*, vcl::TImage*, bool) { throw HandlerError("after drop"); }); break;
    }
    DragScript script = c.escape ? EscapeOver(targetWnd.Handle(), targetWnd.Centre()) : ToTarget();
    EXPECT_THROW(Drag(std::move(script)), HandlerError);
    EXPECT_FALSE(source->getActive());
    EXPECT_EQ(target->drops, dropsBefore + (c.dropped ? 1 : 0));
    EXPECT_EQ(source->getDonorImage(), image);
    EXPECT_TRUE(PumpUntil([&] { return TGraphicDataObject::LiveCount() == liveBefore; }, 2000));
  }
  // The component is usable afterwards.
  source->setOnAfterDrop(nullptr);
  EXPECT_TRUE(Drag(ToTarget()));
  EXPECT_TRUE(target->Has(CF_DIB));
}

TEST_F(PictureDrag, ATargetThatKeepsTheDataObjectHoldsItsOnlyReference) {
  image->Picture()->SetGraphic(QuarteredBitmap(8, 8, vcl::pf24bit).get());
  const std::string original = BmpFileOf(DonorBitmap()).substr(14);
  target->SetReads({ReadRequest(CF_DIB)});
  target->SetKeepDataObject(true);
  ASSERT_TRUE(Drag(ToTarget()));

  auto kept = vcl::TComPtr<IDataObject>::Attach(target->TakeDataObject());
  ASSERT_TRUE(kept);
  EXPECT_EQ(TGraphicDataObject::LiveCount(), liveBefore + 1);
  kept->AddRef();
  EXPECT_EQ(kept->Release(), 1u) << "the source and OLE have released theirs";

  // Read later, it still renders the picture of the drag, whatever became of the donor.
  DonorBitmap().Canvas()->FillRect({0, 0, 8, 8}, RGB(0, 255, 0));
  FORMATETC fe{CF_DIB, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  vcl::TStgMedium medium;
  ASSERT_EQ(kept->GetData(&fe, medium.Put()), S_OK);
  vcl::TGlobalLock lock(medium.Get().hGlobal);
  ASSERT_TRUE(lock);
  EXPECT_EQ(std::string(lock.As<char>(), lock.Size()), original);

  kept.Reset();
  EXPECT_EQ(TGraphicDataObject::LiveCount(), liveBefore);
}

TEST_F(PictureDrag, ThePictureIsTheDragImageAndTheTargetsWordCounts) {
  TDragDropHelperRegistration registration(MakeTempFolder(L"pictureimage") + L"helper.log");
  ASSERT_TRUE(registration.Ok());
  image->Picture()->SetGraphic(QuarteredBitmap(512, 128, vcl::pf24bit).get());
  target->SetAnswer(DROPEFFECT_COPY | DROPEFFECT_MOVE);
  target->SetPerformedEffect(DROPEFFECT_MOVE);
  source->setDropEffects({deCopy, deMove});
  ASSERT_TRUE(Drag(ToTarget()));
  // Scaled to fit 256 pixels, the cursor at the middle of its top edge.
  EXPECT_EQ(registration.LogText(), "InitializeFromBitmap 256x64 offset 128,0 stored\n");
  EXPECT_EQ(target->performedStored, S_OK);
  EXPECT_EQ(source->getPerformedEffect(), deMove);
}

TEST_F(PictureDrag, DragsLeaveNothingBehind) {
  // Large pictures: every copy the library makes of one (the data object's picture, the rendered
  // DIB, bitmap and metafiles) would show in the process's memory and GDI objects if it stayed.
  // The target frees each medium by hand, as the receiver that owns it.
  struct Case {
    const char* name;
    std::function<std::unique_ptr<vcl::TGraphic>()> make;
    std::vector<RawRead> reads;
  } cases[] = {
      {"bitmap", [] { return std::unique_ptr<vcl::TGraphic>(QuarteredBitmap(1024, 1024, vcl::pf32bit)); },
       {ReadRequest(CF_DIB), ReadRequest(CF_BITMAP, TYMED_GDI)}},
      {"metafile", [] { return std::unique_ptr<vcl::TGraphic>(FilledMetafileGraphic(20000, 20000, RGB(0, 0, 200))); },
       {ReadRequest(CF_ENHMETAFILE, TYMED_ENHMF), ReadRequest(CF_METAFILEPICT, TYMED_MFPICT)}},
  };
  target->SetReleaseByHand(true);
  const LONG dropSources = TGraphicDropSource::LiveCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    image->Picture()->SetGraphic(c.make().get());
    target->SetReads(c.reads);
    ASSERT_TRUE(Drag(ToTarget()));  // the allocators' first growth
    // A paint of the image leaves a DC in the bitmap's canvas until the bitmap is next read.
    auto settledGdiCount = [&] {
      PumpMessages(100);
      if (auto* bitmap = dynamic_cast<vcl::TBitmap*>(image->Picture()->Graphic())) bitmap->Handle();
      return GdiObjectCount();
    };
    const DWORD gdiBefore = settledGdiCount();
    const size_t bytesBefore = CommittedPrivateBytes();
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(Drag(ToTarget()));
      ASSERT_EQ(target->reads.size(), c.reads.size());
      for (const RawRead& r : target->reads) {
        EXPECT_EQ(r.hr, S_OK) << r.cfFormat;
        EXPECT_TRUE(r.freedByHand) << r.cfFormat;
      }
    }
    EXPECT_EQ(settledGdiCount(), gdiBefore);
    EXPECT_LT(CommittedPrivateBytes(), bytesBefore + 4 * 1024 * 1024) << "3 leaked bitmap copies would take 12 MiB";
    EXPECT_EQ(TGraphicDataObject::LiveCount(), liveBefore);
  }
  EXPECT_EQ(TGraphicDropSource::LiveCount(), dropSources);
}

namespace {

// 6 x 4 pixels of straight BGRA, top row first, with alpha 0, 255 and between.
std::string AlphaPixels() {
  std::string bgra;
  for (int i = 0; i < 24; ++i) bgra += {char(9 * i), char(250 - 5 * i), char(i * i % 256), char(i % 6 == 0 ? 0 : i % 6 == 1 ? 255 : 40 * i % 256)};
  return bgra;
}

// An application's own 32-bit DIB section holding the pixels (bottom-up, as GDI keeps it).
HBITMAP AlphaBitmap(const std::string& bgra, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  for (int y = 0; y < height; ++y) std::memcpy(static_cast<char*>(bits) + (height - 1 - y) * width * 4, &bgra[y * width * 4], width * 4);
  return bitmap;
}

// The rows of a 32-bit bitmap as top-down BGRA bytes, alpha included.
std::string RowsOf(vcl::TBitmap& bitmap) {
  std::string rows;
  for (int y = 0; y < bitmap.Height(); ++y) rows.append(static_cast<const char*>(bitmap.ScanLine(y)), bitmap.Width() * 4);
  return rows;
}

}  // namespace

// Pictures an application gives the source as its own HBITMAP or as encoded image bytes, dragged
// into another process: with alpha, "PNG" and CF_DIBV5 come first and keep every pixel's alpha;
// without, the drag offers what it always did.
TEST_F(PeerPictureDrag, TransparentPicturesAndTheApplicationsOwnImages) {
  const std::string bgra = AlphaPixels();
  const CLIPFORMAT png = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"PNG"));
  auto opaque = QuarteredBitmap(8, 6, vcl::pf24bit);
  struct Case {
    const char* what;
    std::function<void()> give;
    bool alpha;
    std::string pixels;  // BitmapPixels32 of CF_DIB's bitmap without alpha
  } cases[] = {
      {"an application's 32-bit HBITMAP, deleted once given",
       [&] {
         HBITMAP own = AlphaBitmap(bgra, 6, 4);
         source->LoadFromBitmapHandle(own);
         DeleteObject(own);
       },
       true, ""},
      {"PNG bytes with alpha", [&] { source->LoadFromImageBytes(EncodeBGRA(6, 4, bgra, GUID_ContainerFormatPng)); }, true, ""},
      {"an application's 24-bit HBITMAP", [&] { source->LoadFromBitmapHandle(opaque->Handle()); }, false,
       BitmapPixels32(opaque->Handle())},
      {"PNG bytes without alpha", [&] { source->LoadFromImageBytes(EncodeImage(opaque->Handle(), GUID_ContainerFormatPng)); },
       false, BitmapPixels32(opaque->Handle())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.give();
    EXPECT_EQ(source->getDonorImage(), nullptr);  // the application's picture replaces the donor's
    PeerProcess peer;
    const std::wstring title = L"kx alpha peer " + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(peer.Start(L"kx_peer_droptarget.exe", {L"--read", L"PNG:1", L"--read", ReadArg(CF_DIBV5, TYMED_HGLOBAL), L"--read",
                                                       ReadArg(CF_DIB, TYMED_HGLOBAL), L"--title", title, L"--rect", kPeerRect}));
    ASSERT_TRUE(peer.WaitReady());
    HWND peerWnd = FindPeerWindow(title);
    ASSERT_NE(peerWnd, nullptr);
    PumpMessages(200);
    EXPECT_TRUE(Drag(DropOn(peerWnd, {100, 100})));
    ASSERT_TRUE(peer.WaitExit());
    auto r = peer.Result();
    const std::string dib = BytesFromHex(r[ReadKey(CF_DIB, TYMED_HGLOBAL) + ".bytes"]);
    if (!c.alpha) {
      EXPECT_EQ(r["enumerated"], "8:1,2:16");
      EXPECT_EQ(PixelsOfDib(dib), c.pixels);
      continue;
    }
    EXPECT_EQ(r["enumerated"], std::to_string(png) + ":1,17:1,8:1,2:16");
    const std::string pngBytes = BytesFromHex(r[ReadKey(png, TYMED_HGLOBAL) + ".bytes"]);
    auto decoded = vcl::DecodeImageWithWIC(pngBytes, &GUID_ContainerFormatPng, L"no PNG", true);
    EXPECT_EQ(RowsOf(*decoded), bgra);
    // CF_DIBV5: a 124-byte header, 32 bits with BI_BITFIELDS and an alpha mask, rows bottom-up.
    const std::string v5 = BytesFromHex(r[ReadKey(CF_DIBV5, TYMED_HGLOBAL) + ".bytes"]);
    ASSERT_EQ(v5.size(), 124u + bgra.size());
    EXPECT_EQ(Field(v5, 0), 124);
    EXPECT_EQ(Field(v5, 1), 6);
    EXPECT_EQ(Field(v5, 2), 4);
    EXPECT_EQ(Field(v5, 4), BI_BITFIELDS);
    EXPECT_EQ(static_cast<DWORD>(Field(v5, 13)), 0xFF000000u);
    std::string topDown;
    for (int y = 3; y >= 0; --y) topDown += v5.substr(124 + y * 24, 24);
    EXPECT_EQ(topDown, bgra);
    EXPECT_EQ(dib.size(), 40u + bgra.size());  // CF_DIB as before: the 32-bit bitmap itself
  }
}
