// TKXGraphicTarget and its drop target through the registered IDropTarget: acceptance per
// preferred kind, the effect choice without link, the fetch order, the two-stage drop and the
// decoding of each picture format.
#include <gtest/gtest.h>

#include <memory>

#include "GraphicTargetTestSupport.h"
#include "targets/KXGraphicDropTarget.h"
#include "textsource/ApplicationExceptions.h"

using namespace kestrix;
using namespace gtargettest;
using kxtest::MakeFake;

namespace {

enum Offer : unsigned { kDIB = 1, kBitmap = 2, kEnh = 4, kPict = 8, kNetscape = 16 };

// A data object offering the listed formats with real content: a 24-bit quartered bitmap, a
// filled metafile, a URL block.
vcl::TComPtr<kxtest::FakeDataObject> Offering(unsigned offers) {
  static auto bitmap = pictest::QuarteredBitmap(16, 8, vcl::pf24bit);
  static HENHMETAFILE metafile = pictest::FilledMetafile(2000, 1000, RGB(0, 128, 0));
  auto data = MakeFake();
  if (offers & kDIB) data->Offer(CF_DIB, PackedDIBOf(*bitmap));
  if (offers & kBitmap) OfferBitmapHandle(*data, bitmap->Handle());
  if (offers & kEnh) OfferEnhMetafile(*data, metafile);
  if (offers & kPict) OfferMetafilePict(*data, metafile);
  if (offers & kNetscape) data->Offer(L"Netscape Image Format", std::string(44, 'x') + "http://pictures.test/none.gif" + '\0');
  return data;
}

}  // namespace

TEST(GraphicTarget, Defaults) {
  BoundTarget b;
  EXPECT_TRUE(b.target->getRegistered());
  EXPECT_EQ(b.target->getPreferredFormat(), dgfMetafile);
  EXPECT_EQ(b.target->getAcceptGraphicFormats(), (TDropGraphicFormats{dgfMetafile, dgfBitmap}));
  EXPECT_TRUE(b.target->getAcceptBitmap());
  EXPECT_TRUE(b.target->getAcceptMetafile());
  for (TDropEffect e : {deNone, deCopy, deMove, deLink, deScroll}) EXPECT_EQ(b.target->GetOverrideDropEffect(e), e);
  EXPECT_EQ(b.target->getPicture(), nullptr);
  EXPECT_EQ(b.target->getDroppedGraphicFormat(), dgfBitmap);
  EXPECT_EQ(b.target->getDropEffect(), deNone);
  EXPECT_FALSE(b.target->getDataObject());
  EXPECT_EQ(b.target->getAvailableGraphicFormats(), TDropGraphicFormats{});

  b.target->setAcceptBitmap(false);
  EXPECT_EQ(b.target->getAcceptGraphicFormats(), TDropGraphicFormats{dgfMetafile});
  EXPECT_FALSE(b.target->getAcceptBitmap());
  b.target->setAcceptGraphicFormats({dgfBitmap});
  EXPECT_TRUE(b.target->getAcceptBitmap());
  EXPECT_FALSE(b.target->getAcceptMetafile());
}

TEST(GraphicTarget, AcceptanceByPreferredKindAndAcceptedKinds) {
  struct Case {
    TDropGraphicFormat preferred;
    TDropGraphicFormats accepted;
    unsigned offers;
    bool accepts;
  };
  const Case cases[] = {
      {dgfMetafile, {dgfMetafile, dgfBitmap}, kDIB, true},
      {dgfMetafile, {dgfMetafile, dgfBitmap}, kPict, true},
      {dgfMetafile, {dgfMetafile, dgfBitmap}, kNetscape, true},
      {dgfMetafile, {dgfMetafile}, kDIB | kBitmap | kNetscape, false},
      {dgfMetafile, {dgfBitmap}, kEnh | kPict, false},
      {dgfMetafile, {dgfBitmap}, kEnh | kDIB, true},  // through the bitmap group
      {dgfBitmap, {dgfMetafile}, kBitmap, false},
      {dgfBitmap, {dgfBitmap}, kBitmap, true},
      {dgfBitmap, {}, kDIB | kEnh, false},
  };
  for (const Case& c : cases) {
    BoundTarget b;
    b.target->setPreferredFormat(c.preferred);
    b.target->setAcceptGraphicFormats(c.accepted);
    auto data = Offering(c.offers);
    EXPECT_EQ(b.Enter(data.Get()), c.accepts ? DWORD(DROPEFFECT_COPY) : 0u) << c.preferred << " " << c.offers;
    DWORD effect = DROPEFFECT_COPY;
    b.DropTarget()->DragOver(0, b.ScreenPoint(1, 1), &effect);
    EXPECT_EQ(effect, c.accepts ? DWORD(DROPEFFECT_COPY) : 0u);
    b.DropTarget()->DragLeave();
  }
}

TEST(GraphicTarget, AcceptanceFollowsAChangeDuringTheDrag) {
  BoundTarget b;
  b.target->setAcceptBitmap(false);
  auto data = Offering(kDIB);
  EXPECT_EQ(b.Enter(data.Get()), 0u);
  b.target->setAcceptBitmap(true);
  DWORD effect = DROPEFFECT_COPY;
  b.DropTarget()->DragOver(0, b.ScreenPoint(1, 1), &effect);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
  EXPECT_EQ(b.target->getAvailableGraphicFormats(), TDropGraphicFormats{dgfBitmap});
  b.DropTarget()->DragLeave();
}

TEST(GraphicTarget, LinkIsNeverChosen) {
  struct Case {
    DWORD keys, allowed, effect;
  };
  const Case cases[] = {
      {MK_CONTROL | MK_SHIFT, DROPEFFECT_LINK | DROPEFFECT_COPY | DROPEFFECT_MOVE, 0},  // a text target would link
      {0, DROPEFFECT_LINK, 0},
      {0, DROPEFFECT_LINK | DROPEFFECT_COPY, DROPEFFECT_COPY},
      {0, DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_MOVE},
      {MK_CONTROL, DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_COPY},
      {MK_SHIFT, DROPEFFECT_COPY, 0},
  };
  for (const Case& c : cases) {
    BoundTarget b;
    auto data = Offering(kDIB);
    EXPECT_EQ(b.Enter(data.Get(), c.keys, c.allowed), c.effect) << c.keys << " " << c.allowed;
    auto [hr, effect] = b.DropAndPump(data.Get(), c.keys, c.allowed);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(effect, c.effect);
    EXPECT_EQ(b.drops.size(), c.effect ? 1u : 0u);
    EXPECT_FALSE(b.target->getDataObject());
  }
}

TEST(GraphicTarget, FetchOrderGatesOnlyTheKindThatIsNotPreferred) {
  struct Case {
    TDropGraphicFormat preferred;
    TDropGraphicFormats accepted;
    unsigned offers;
    DWORD effect;
    TDropGraphicFormat dropped;
  };
  const Case cases[] = {
      {dgfMetafile, {dgfMetafile, dgfBitmap}, kDIB | kEnh, DROPEFFECT_COPY, dgfMetafile},
      {dgfBitmap, {dgfMetafile, dgfBitmap}, kDIB | kEnh, DROPEFFECT_COPY, dgfBitmap},
      {dgfMetafile, {dgfBitmap}, kDIB | kEnh, DROPEFFECT_COPY, dgfMetafile},  // accepted as a bitmap, the metafile taken
      {dgfBitmap, {dgfMetafile}, kEnh | kBitmap, DROPEFFECT_COPY, dgfBitmap},
      {dgfMetafile, {dgfMetafile, dgfBitmap}, kBitmap | kPict, DROPEFFECT_COPY, dgfMetafile},
      {dgfBitmap, {dgfMetafile, dgfBitmap}, kBitmap | kPict, DROPEFFECT_COPY, dgfBitmap},
      {dgfBitmap, {dgfBitmap}, kPict, 0, dgfBitmap},  // not accepted
  };
  for (const Case& c : cases) {
    BoundTarget b;
    b.target->setPreferredFormat(c.preferred);
    b.target->setAcceptGraphicFormats(c.accepted);
    auto data = Offering(c.offers);
    auto [hr, effect] = b.DropAndPump(data.Get());
    SCOPED_TRACE(testing::Message() << c.preferred << " " << c.offers);
    EXPECT_EQ(effect, c.effect);
    if (!c.effect) {
      EXPECT_EQ(b.target->getPicture(), nullptr);
      EXPECT_TRUE(b.drops.empty());
      continue;
    }
    EXPECT_EQ(hr, S_OK);
    ASSERT_EQ(b.drops.size(), 1u);
    EXPECT_EQ(b.target->getDroppedGraphicFormat(), c.dropped);
    EXPECT_EQ(b.drops[0].metafile, c.dropped == dgfMetafile);
    EXPECT_FALSE(b.drops[0].empty);
  }
  EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
}

TEST(GraphicTarget, AMetafilePictAloneIsTakenThoughNotListedAsAvailable) {
  BoundTarget b;
  auto data = Offering(kPict);
  EXPECT_EQ(b.Enter(data.Get()), DWORD(DROPEFFECT_COPY));
  EXPECT_EQ(b.target->getAvailableGraphicFormats(), TDropGraphicFormats{});
  DWORD effect = DROPEFFECT_COPY;
  EXPECT_EQ(b.DropTarget()->Drop(data.Get(), 0, b.ScreenPoint(7, 8), &effect), S_OK);
  b.Pump();
  ASSERT_EQ(b.drops.size(), 1u);
  EXPECT_EQ(b.target->getDroppedGraphicFormat(), dgfMetafile);
  auto* metafile = dynamic_cast<vcl::TMetafile*>(b.target->getPicture()->Graphic());
  ASSERT_NE(metafile, nullptr);
  EXPECT_TRUE(metafile->Enhanced());
  EXPECT_NE(metafile->Handle(), nullptr);
}

TEST(GraphicTarget, AvailableGraphicFormats) {
  struct Case {
    unsigned offers;
    TDropGraphicFormats expected;
  };
  const Case cases[] = {
      {kDIB, {dgfBitmap}},        {kBitmap | kEnh, {dgfMetafile, dgfBitmap}},
      {kNetscape, {dgfBitmap}},   {kEnh, {dgfMetafile}},
      {kPict, {}},
  };
  for (const Case& c : cases) {
    BoundTarget b;
    b.target->setAcceptGraphicFormats({});  // the list does not depend on what is accepted
    auto data = Offering(c.offers);
    b.Enter(data.Get());
    EXPECT_EQ(b.target->getAvailableGraphicFormats(), c.expected) << c.offers;
    b.DropTarget()->DragLeave();
  }
}

TEST(GraphicTarget, OnDropRunsFromTheMessageLoopAfterDropHasReturned) {
  BoundTarget b;
  auto data = Offering(kEnh);
  auto [hr, effect] = b.DragAndDrop(data.Get(), 0, DROPEFFECT_COPY | DROPEFFECT_MOVE);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_MOVE));
  EXPECT_TRUE(b.drops.empty());
  // Between the two stages the picture is decoded and the drag still holds its data object.
  ASSERT_NE(b.target->getPicture(), nullptr);
  EXPECT_EQ(b.target->getDroppedGraphicFormat(), dgfMetafile);
  EXPECT_TRUE(b.target->getDataObject());
  EXPECT_EQ(b.target->getDropEffect(), deMove);

  b.Pump();
  ASSERT_EQ(b.drops.size(), 1u);
  EXPECT_FALSE(b.dropDuringDrop);
  EXPECT_EQ(b.drops[0].picture, b.target->getPicture());
  EXPECT_EQ(b.drops[0].at, (vcl::TPoint{7, 8}));
  EXPECT_TRUE(b.drops[0].hadDataObject);
  EXPECT_FALSE(b.target->getDataObject());
  EXPECT_EQ(b.target->getAvailableDropEffects(), TDropEffects{});
  EXPECT_EQ(b.target->getDropEffect(), deMove);

  // The next drop replaces the picture.
  auto bitmap = Offering(kDIB);
  b.DropAndPump(bitmap.Get());
  ASSERT_EQ(b.drops.size(), 2u);
  EXPECT_EQ(b.target->getDroppedGraphicFormat(), dgfBitmap);
}

TEST(GraphicTarget, OverrideToAnEffectTheSourceDoesNotAllowStillDelivers) {
  BoundTarget b;
  b.target->SetOverrideDropEffect(deMove, deLink);
  auto data = Offering(kDIB);
  auto [hr, effect] = b.DropAndPump(data.Get(), 0, DROPEFFECT_COPY | DROPEFFECT_MOVE);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(effect, 0u);
  ASSERT_EQ(b.drops.size(), 1u);
  EXPECT_FALSE(b.drops[0].empty);
  EXPECT_FALSE(b.target->getDataObject());
}

TEST(GraphicTarget, RefusedAndFailedDropsPostNothing) {
  BoundTarget b;
  // Refused: nothing accepted is offered.
  auto text = MakeFake();
  text->Offer(CF_TEXT, std::string("x\0", 2));
  EXPECT_EQ(b.DropAndPump(text.Get()), (std::pair<HRESULT, DWORD>{S_OK, 0}));
  EXPECT_FALSE(b.target->getDataObject());
  // Failed: the offered format cannot be fetched; the last fetch's failure is the result.
  auto broken = MakeFake();
  broken->OfferBroken(CF_DIB, E_OUTOFMEMORY);
  EXPECT_EQ(b.DropAndPump(broken.Get()), (std::pair<HRESULT, DWORD>{DV_E_FORMATETC, 0}));
  auto browser = MakeFake();
  browser->OfferBroken(CF_NETSCAPEIMAGE, E_OUTOFMEMORY);  // the last format a bitmap drop tries
  b.target->setPreferredFormat(dgfBitmap);
  b.target->setAcceptMetafile(false);
  EXPECT_EQ(b.DropAndPump(browser.Get()), (std::pair<HRESULT, DWORD>{E_OUTOFMEMORY, 0}));
  EXPECT_TRUE(b.drops.empty());
  EXPECT_EQ(b.target->getPicture(), nullptr);
  EXPECT_FALSE(b.target->getDataObject());
}

TEST(GraphicTarget, MediaOfAnUnexpectedKindGiveAnEmptyPicture) {
  BoundTarget b;
  b.target->setPreferredFormat(dgfBitmap);
  auto data = MakeFake();
  // Claims CF_BITMAP but renders global memory.
  data->Offer(CF_BITMAP, std::string(64, '\1'), TYMED_GDI);
  auto [hr, effect] = b.DropAndPump(data.Get());
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
  ASSERT_EQ(b.drops.size(), 1u);
  EXPECT_TRUE(b.drops[0].empty);
  EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
}

TEST(GraphicTarget, BitmapsKeepTheirPixels) {
  struct Case {
    vcl::TPixelFormat format;
    bool viaHandle;
  };
  const Case cases[] = {{vcl::pf1bit, false}, {vcl::pf4bit, false}, {vcl::pf8bit, false}, {vcl::pf24bit, false},
                        {vcl::pf32bit, false}, {vcl::pf24bit, true}, {vcl::pfDevice, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.format << (c.viaHandle ? " handle" : " DIB"));
    auto source = pictest::QuarteredBitmap(21, 13, c.format);
    BoundTarget b;
    auto data = MakeFake();
    if (c.viaHandle) OfferBitmapHandle(*data, source->Handle());
    else data->Offer(CF_DIB, PackedDIBOf(*source));
    b.DropAndPump(data.Get());
    ASSERT_EQ(b.drops.size(), 1u);
    vcl::TBitmap* dropped = b.target->getPicture()->Bitmap();
    ASSERT_EQ(dropped->Width(), 21);
    ASSERT_EQ(dropped->Height(), 13);
    for (POINT p : {POINT{0, 0}, POINT{20, 0}, POINT{0, 12}, POINT{20, 12}, POINT{10, 6}, POINT{11, 7}})
      EXPECT_EQ(dropped->Canvas()->Pixels(p.x, p.y), source->Canvas()->Pixels(p.x, p.y)) << p.x << "," << p.y;
  }
}

TEST(GraphicTarget, AWindowThatIsGoneGetsNoPacket) {
  // The acceptor wraps a window of the application, which then destroys it while OLE still holds
  // the drop target: nothing can be posted, so the drop reports no effect and ends the drag.
  ApplicationExceptions exceptions;
  vcl::TForm form(nullptr);
  HWND wnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
  auto* wrapped = new vcl::TWinControl(&form, wnd);
  auto* target = new TKXGraphicTarget(&form);
  target->setAcceptorControl(wrapped);
  int drops = 0;
  target->setOnDrop([&](TObject*, vcl::TWinControl*, vcl::TPicture*, int, int) { ++drops; });
  vcl::TComPtr<IDropTarget> dropTarget(static_cast<IDropTarget*>(GetPropW(wnd, L"OleDropTargetInterface")));
  ASSERT_TRUE(dropTarget);
  DestroyWindow(wnd);
  EXPECT_FALSE(target->getRegistered());

  auto data = Offering(kDIB);
  DWORD effect = DROPEFFECT_COPY;
  ASSERT_EQ(dropTarget->DragEnter(data.Get(), 0, {0, 0}, &effect), S_OK);
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(dropTarget->Drop(data.Get(), 0, {0, 0}, &effect), S_OK);
  EXPECT_EQ(effect, 0u);
  EXPECT_EQ(target->getDropEffect(), deNone);
  EXPECT_FALSE(target->getDataObject());
  kxtest::PumpMessages(100);
  EXPECT_EQ(drops, 0);
  EXPECT_TRUE(exceptions.messages.empty());
}

TEST(GraphicTarget, AForgedPacketMessageIsIgnored) {
  BoundTarget b;
  // Anyone can post the registered message; only packets the target posted itself are taken.
  TGraphicDropPacket foreign{{1, 2}, nullptr};
  PostMessageW(b.panel->Handle(), WM_GRAPHICTARGETDROP, reinterpret_cast<WPARAM>(&foreign), 0);
  PostMessageW(b.panel->Handle(), WM_GRAPHICTARGETDROP, 0x1234, 0);
  b.Pump();
  EXPECT_TRUE(b.drops.empty());
  // A genuine drop still completes, once.
  auto data = Offering(kDIB);
  b.DropAndPump(data.Get());
  EXPECT_EQ(b.drops.size(), 1u);
}

TEST(GraphicTarget, AnExceptionOfTheHandlerGoesToTheApplication) {
  ApplicationExceptions exceptions;
  BoundTarget b;
  b.target->setOnDrop([](TObject*, vcl::TWinControl*, vcl::TPicture*, int, int) { throw vcl::EAbstractError(L"handler failed"); });
  auto data = Offering(kDIB);
  b.DropAndPump(data.Get());
  ASSERT_EQ(exceptions.messages.size(), 1u);
  EXPECT_EQ(exceptions.messages[0], "handler failed");
  EXPECT_FALSE(b.target->getDataObject());
}

TEST(GraphicTarget, DestroyedWithADropPendingFreesItQuietly) {
  ApplicationExceptions exceptions;
  auto b = std::make_unique<BoundTarget>();
  auto data = Offering(kDIB);
  b->DragAndDrop(data.Get());
  HWND panel = b->panel->Handle();
  delete b->target;
  kxtest::PumpMessages(50);
  EXPECT_TRUE(b->drops.empty());
  EXPECT_TRUE(IsWindow(panel));
  b.reset();
  EXPECT_TRUE(exceptions.messages.empty());
}

TEST(GraphicTarget, OnDropMayFreeTheComponent) {
  ApplicationExceptions exceptions;
  BoundTarget b;
  b.target->setOnDrop([&](TObject*, vcl::TWinControl*, vcl::TPicture* picture, int, int) {
    EXPECT_NE(picture, nullptr);
    delete b.target;
    b.target = nullptr;
  });
  auto data = Offering(kDIB);
  auto [hr, effect] = b.DropAndPump(data.Get());
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(b.target, nullptr);
  EXPECT_EQ(GetPropW(b.panel->Handle(), L"OleDropTargetInterface"), nullptr);
  EXPECT_TRUE(exceptions.messages.empty());
  EXPECT_EQ(data->RefCount(), 1);  // the drag's reference went with the component
}
