// TKXGraphicSource's picture and donor rules and its drop source's before-drop hook, without a
// drag (the drags themselves are in picsource_e2e; the drop source's shared answers are tested
// with the text source).
#include <gtest/gtest.h>

#include <stdexcept>

#include "PictureTestSupport.h"
#include "framework/ComObj.h"
#include "sources/KXGraphicDataObject.h"
#include "sources/KXGraphicSource.h"
#include "textsource/ApplicationExceptions.h"

using namespace kestrix;
using namespace pictest;
using vcl::TComPtr;

namespace {

class TMyBitmap : public vcl::TBitmap {};

TComPtr<IDropSource> DropSourceFor(TKXGraphicSource& source) {
  return TComPtr<IDropSource>::Attach(TGraphicDropSource::Create(&source));
}

std::string PixelsOf(vcl::TPicture* picture) {
  auto* bitmap = dynamic_cast<vcl::TBitmap*>(picture->Graphic());
  return bitmap ? kxtest::BitmapPixels32(bitmap->Handle()) : std::string();
}

// A form owning an image (the donor) and the source, as an application lays them out.
struct Form {
  Form() {
    image->Picture()->SetGraphic(QuarteredBitmap(8, 8, vcl::pf24bit).get());
    source->setDonorImage(image);
  }
  vcl::TComponent owner{nullptr};
  vcl::TImage* image = new vcl::TImage(&owner);
  TKXGraphicSource* source = new TKXGraphicSource(&owner);
};

}  // namespace

TEST(GraphicSource, StartsWithTheDocumentedValues) {
  TKXGraphicSource source(nullptr);
  ASSERT_NE(source.getPicture(), nullptr);
  EXPECT_EQ(source.getPicture()->Graphic(), nullptr);
  EXPECT_EQ(source.getDropEffects(), TDropEffects{deCopy});
  EXPECT_EQ(source.getDonorImage(), nullptr);
  EXPECT_EQ(source.getMouseButton(), vcl::mbLeft);
  EXPECT_FALSE(source.getActive());
  EXPECT_FALSE(source.getExplicitCancel());
  EXPECT_FALSE(source.getUseActualMetafileSizes());
  EXPECT_EQ(source.getReturnedEffect(), deNone);
}

TEST(GraphicSource, ReadingThePictureCopiesTheDonorsBitmapOrMetafile) {
  auto bitmap = QuarteredBitmap(5, 4, vcl::pf8bit);
  auto metafile = FilledMetafileGraphic(300, 200, RGB(10, 20, 30));
  TMyBitmap mine;
  mine.SetSize(3, 3);
  vcl::TIcon icon;
  icon.SetHandle(QuarteredIcon(16));
  struct Case {
    const char* name;
    vcl::TGraphic* donorGraphic;
    bool copied;
  } cases[] = {
      {"bitmap", bitmap.get(), true}, {"metafile", metafile.get(), true}, {"bitmap descendant", &mine, true},
      {"icon", &icon, false},         {"nothing", nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Form form;
    vcl::TPicture* picture = form.source->getPicture();
    form.image->Picture()->SetGraphic(c.donorGraphic);
    EXPECT_EQ(form.source->getPicture(), picture);  // the same object, refreshed on every read
    if (!c.copied) {
      EXPECT_EQ(picture->Graphic(), nullptr);
      continue;
    }
    ASSERT_NE(picture->Graphic(), nullptr);
    EXPECT_NE(picture->Graphic(), form.image->Picture()->Graphic());
    EXPECT_EQ(Rendering(*picture->Graphic(), 6, 6), Rendering(*c.donorGraphic, 6, 6));
  }
}

TEST(GraphicSource, PictureAndDonorReplaceEachOther) {
  Form form;
  vcl::TImage* other = new vcl::TImage(&form.owner);
  vcl::TPicture* picture = form.source->getPicture();
  const std::string donorPixels = PixelsOf(picture);
  ASSERT_FALSE(donorPixels.empty());

  form.source->setDonorImage(form.image);  // the same donor keeps the picture
  EXPECT_EQ(PixelsOf(picture), donorPixels);
  form.source->setDonorImage(other);  // another one empties it
  EXPECT_EQ(picture->Graphic(), nullptr);

  form.source->setDonorImage(form.image);
  form.source->setPicture(form.source->getPicture());  // its own picture changes nothing
  EXPECT_EQ(form.source->getDonorImage(), form.image);

  auto own = PictureOf(QuarteredBitmap(3, 3, vcl::pf24bit).get());
  form.source->setPicture(own.get());
  EXPECT_EQ(form.source->getDonorImage(), nullptr);
  EXPECT_EQ(form.source->getPicture(), picture);
  EXPECT_EQ(PixelsOf(picture), PixelsOf(own.get()));
  own->Bitmap()->Canvas()->FillRect({0, 0, 3, 3}, vcl::clWhite);  // a copy was taken
  EXPECT_NE(PixelsOf(picture), PixelsOf(own.get()));
  form.source->setPicture(nullptr);
  EXPECT_EQ(picture->Graphic(), nullptr);
}

TEST(GraphicSource, FreeingTheDonorClearsIt) {
  Form form;
  delete form.image;
  EXPECT_EQ(form.source->getDonorImage(), nullptr);
  EXPECT_EQ(form.source->getPicture()->Graphic(), nullptr);
}

TEST(GraphicSource, ExecuteWithoutABitmapOrMetafileReturnsFalseAndRaisesNothing) {
  vcl::TIcon icon;
  icon.SetHandle(QuarteredIcon(16));
  vcl::TBitmap empty;
  for (vcl::TGraphic* graphic : {static_cast<vcl::TGraphic*>(&icon), static_cast<vcl::TGraphic*>(&empty),
                                 static_cast<vcl::TGraphic*>(nullptr)}) {
    Form form;
    form.image->Picture()->SetGraphic(graphic);
    int events = 0;
    form.source->setOnAfterDrop([&](TObject*, vcl::TImage*, bool) { ++events; });
    form.source->setOnBeforeDrop([&](TObject*, vcl::TImage*, vcl::TPicture*, bool&) { ++events; });
    const LONG live = TGraphicDataObject::LiveCount();
    EXPECT_FALSE(form.source->Execute());
    EXPECT_EQ(events, 0);
    EXPECT_FALSE(form.source->getActive());
    EXPECT_EQ(TGraphicDataObject::LiveCount(), live);
  }
}

// ---- the drop source and the before-drop hook ---------------------------------------------------

TEST(GraphicDropSource, SteersTheLoopLikeTheTextSource) {
  TKXGraphicSource source(nullptr);
  auto dropSource = DropSourceFor(source);
  int cancels = 0;
  source.setOnCancelDrop([&](TObject* s) {
    EXPECT_EQ(s, &source);
    ++cancels;
  });
  EXPECT_EQ(dropSource->GiveFeedback(DROPEFFECT_COPY | DROPEFFECT_MOVE), DRAGDROP_S_USEDEFAULTCURSORS);
  EXPECT_EQ(source.getReturnedEffect(), deCopy);
  EXPECT_EQ(dropSource->QueryContinueDrag(FALSE, MK_LBUTTON), S_OK);
  source.setMouseButton(vcl::mbRight);
  EXPECT_EQ(dropSource->QueryContinueDrag(FALSE, MK_RBUTTON), S_OK);
  EXPECT_EQ(dropSource->QueryContinueDrag(TRUE, MK_RBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(cancels, 1);
}

TEST(GraphicDropSource, APictureChangedBeforeTheDropReplacesTheComponentsPicture) {
  enum Handler { kLooks, kDraws, kReplacesKind, kCancels };
  struct Case {
    const char* name;
    Handler handler;
    HRESULT expected;
    bool pictureChanged;
  } cases[] = {
      {"looks only", kLooks, DRAGDROP_S_DROP, false},
      {"draws on it", kDraws, DRAGDROP_S_DROP, true},
      {"makes it a metafile", kReplacesKind, DRAGDROP_S_DROP, true},
      {"cancels", kCancels, DRAGDROP_S_CANCEL, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Form form;
    auto dropSource = DropSourceFor(*form.source);
    const std::string donorPixels = PixelsOf(form.source->getPicture());
    vcl::TPicture* given = nullptr;
    form.source->setOnBeforeDrop([&](TObject* sender, vcl::TImage* donor, vcl::TPicture* dropPicture, bool& cancel) {
      EXPECT_EQ(sender, form.source);
      EXPECT_EQ(donor, form.image);
      EXPECT_NE(dropPicture, form.source->getPicture());
      EXPECT_EQ(PixelsOf(dropPicture), donorPixels);
      given = dropPicture;
      switch (c.handler) {
        case kDraws: dropPicture->Bitmap()->Canvas()->FillRect({0, 0, 4, 4}, RGB(0, 255, 0)); break;
        case kReplacesKind: dropPicture->Metafile()->SetHandle(FilledMetafile(100, 100, RGB(1, 1, 1))); break;
        case kCancels: cancel = true; break;
        default: break;
      }
    });
    dropSource->GiveFeedback(DROPEFFECT_COPY);
    EXPECT_EQ(dropSource->QueryContinueDrag(FALSE, 0), c.expected);
    ASSERT_NE(given, nullptr);

    EXPECT_EQ(form.source->getDonorImage(), c.pictureChanged ? nullptr : form.image);
    vcl::TGraphic* now = form.source->getPicture()->Graphic();
    ASSERT_NE(now, nullptr);
    switch (c.handler) {
      case kDraws:
        EXPECT_NE(PixelsOf(form.source->getPicture()), donorPixels);
        EXPECT_EQ(GetPixel(form.source->getPicture()->Bitmap()->Canvas()->Handle(), 1, 1), RGB(0, 255, 0));
        break;
      case kReplacesKind: EXPECT_NE(dynamic_cast<vcl::TMetafile*>(now), nullptr); break;
      default: EXPECT_EQ(PixelsOf(form.source->getPicture()), donorPixels); break;
    }
    EXPECT_EQ(PixelsOf(form.image->Picture()), donorPixels);  // the donor's own picture is never touched
  }
}

TEST(GraphicDropSource, HandlerExceptionsOutsideExecuteGoToTheApplication) {
  ApplicationExceptions caught;
  Form form;
  auto dropSource = DropSourceFor(*form.source);
  form.source->setOnGiveFeedback([](TObject*, TDropEffect, bool&) { throw std::runtime_error("feedback"); });
  form.source->setOnBeforeDrop([](TObject*, vcl::TImage*, vcl::TPicture*, bool&) { throw std::runtime_error("before"); });
  EXPECT_EQ(dropSource->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
  EXPECT_EQ(dropSource->QueryContinueDrag(FALSE, 0), DRAGDROP_S_CANCEL);
  EXPECT_EQ(form.source->getDonorImage(), form.image);
  EXPECT_EQ(caught.messages, (std::vector<std::string>{"feedback", "before"}));
}

TEST(GraphicDropSource, DropSourcesAreCountedAndFreed) {
  const LONG before = TGraphicDropSource::LiveCount();
  {
    TKXGraphicSource source(nullptr);
    EXPECT_EQ(TGraphicDropSource::LiveCount(), before + 1);
  }
  EXPECT_EQ(TGraphicDropSource::LiveCount(), before);
}
