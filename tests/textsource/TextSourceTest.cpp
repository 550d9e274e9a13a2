// TKXTextSource's properties and its drop source's answers, without a drag (the drags themselves
// are in textsource_e2e).
#include <gtest/gtest.h>

#include <stdexcept>

#include "framework/ComObj.h"
#include "sources/KXTextDataObject.h"
#include "sources/KXTextSource.h"
#include "textsource/ApplicationExceptions.h"

using namespace kestrix;
using vcl::TComPtr;

namespace {

TComPtr<IDropSource> DropSourceFor(TKXTextSource& source) {
  return TComPtr<IDropSource>::Attach(TTextDropSource::Create(&source));
}

}  // namespace

TEST(TextSource, StartsWithTheDocumentedValues) {
  TKXTextSource source(nullptr);
  EXPECT_EQ(source.getText(), L"");
  EXPECT_EQ(source.getDropEffects(), TDropEffects{deCopy});
  EXPECT_EQ(source.getDonorComponent(), nullptr);
  EXPECT_EQ(source.getMouseButton(), vcl::mbLeft);
  EXPECT_FALSE(source.getAsynchronous());
  EXPECT_FALSE(source.getActive());
  EXPECT_FALSE(source.getExplicitCancel());
  EXPECT_FALSE(source.getDropWasAsynchronous());
  EXPECT_EQ(source.getReturnedEffect(), deNone);
  ASSERT_NE(source.getCustomFormatData(), nullptr);
  EXPECT_FALSE(source.getUsingCustomFormat());
  EXPECT_EQ(source.getCustomFormatIndex(), 0);
}

TEST(TextSource, TextAndDonorReplaceEachOther) {
  vcl::TComponent form(nullptr);
  auto* image = new vcl::TComponent(&form);
  image->SetName(L"Image1");
  auto* other = new vcl::TComponent(&form);
  other->SetName(L"Other");
  auto* source = new TKXTextSource(&form);

  source->setText(L"typed");
  source->setDonorComponent(image);
  EXPECT_EQ(source->getText(), L"Image1");
  image->SetName(L"Image9");  // every read asks the donor again
  EXPECT_EQ(source->getText(), L"Image9");

  source->setDonorComponent(image);  // the same donor keeps the cached text
  EXPECT_EQ(source->getText(), L"Image9");
  source->setDonorComponent(other);
  EXPECT_EQ(source->getText(), L"Other");
  source->setDonorComponent(nullptr);  // a different donor (none) clears the text
  EXPECT_EQ(source->getText(), L"");

  source->setDonorComponent(image);
  source->setText(L"typed again");
  EXPECT_EQ(source->getDonorComponent(), nullptr);
  EXPECT_EQ(source->getText(), L"typed again");
}

TEST(TextSource, FreeingTheDonorClearsIt) {
  vcl::TComponent form(nullptr);
  auto* image = new vcl::TComponent(&form);
  image->SetName(L"Image1");
  auto* source = new TKXTextSource(&form);
  source->setDonorComponent(image);
  EXPECT_EQ(source->getText(), L"Image1");
  delete image;
  EXPECT_EQ(source->getDonorComponent(), nullptr);
  EXPECT_EQ(source->getText(), L"");
}

TEST(TextSource, ExecuteWithNothingToDragReturnsFalseAndRaisesNothing) {
  TKXTextSource source(nullptr);
  int events = 0;
  source.setOnAfterDrop([&](TObject*, TComponent*, bool) { ++events; });
  source.setOnCancelDrop([&](TObject*) { ++events; });
  source.setOnBeforeDrop([&](TObject*, TComponent*, std::wstring&, bool&) { ++events; });
  const LONG before = TTextDataObject::LiveCount();
  EXPECT_FALSE(source.Execute());
  EXPECT_EQ(events, 0);
  EXPECT_FALSE(source.getActive());
  EXPECT_EQ(TTextDataObject::LiveCount(), before);
}

TEST(TextSource, TheComponentOwnsItsCustomFormatList) {
  TKXTextSource source(nullptr);
  auto list = std::make_unique<TCustomFormatDataList>();
  list->AddFormat(L"Kestrix Test Format", std::string("x"));
  TCustomFormatDataList* raw = list.get();
  source.setCustomFormatData(std::move(list));
  EXPECT_EQ(source.getCustomFormatData(), raw);
  EXPECT_TRUE(source.getUsingCustomFormat());
  source.setCustomFormatData(nullptr);  // frees the list it held
  ASSERT_NE(source.getCustomFormatData(), nullptr);
  EXPECT_FALSE(source.getUsingCustomFormat());
}

TEST(TextSource, DropSourcesAreCountedAndFreed) {
  const LONG before = TTextDropSource::LiveCount();
  {
    TKXTextSource source(nullptr);
    EXPECT_EQ(TTextDropSource::LiveCount(), before + 1);
  }
  EXPECT_EQ(TTextDropSource::LiveCount(), before);
}

// ---- the drop source's answers ----------------------------------------------------------------------

TEST(TextDropSource, QueryContinueDragAnswers) {
  enum Feedback { kNone, kNoFeedback, kCopy };
  struct Case {
    const char* what;
    BOOL escape;
    bool explicitCancel;
    DWORD keys;
    vcl::TMouseButton button;
    Feedback feedback;
    bool cancelInHandler;
    HRESULT expected;
    int cancels, beforeDrops;
  } cases[] = {
      {"escape", TRUE, false, MK_LBUTTON, vcl::mbLeft, kCopy, false, DRAGDROP_S_CANCEL, 1, 0},
      {"explicit cancel", FALSE, true, MK_LBUTTON, vcl::mbLeft, kCopy, false, DRAGDROP_S_CANCEL, 1, 0},
      {"left held", FALSE, false, MK_LBUTTON | MK_SHIFT, vcl::mbLeft, kCopy, false, S_OK, 0, 0},
      {"right held", FALSE, false, MK_RBUTTON, vcl::mbRight, kCopy, false, S_OK, 0, 0},
      {"middle held", FALSE, false, MK_MBUTTON, vcl::mbMiddle, kCopy, false, S_OK, 0, 0},
      {"right wanted, left held", FALSE, false, MK_LBUTTON, vcl::mbRight, kCopy, false, DRAGDROP_S_DROP, 0, 1},
      {"only high bits", FALSE, false, MK_LBUTTON << 16, vcl::mbLeft, kCopy, false, DRAGDROP_S_DROP, 0, 1},
      {"released, target refuses", FALSE, false, 0, vcl::mbLeft, kNone, false, DRAGDROP_S_DROP, 0, 0},
      {"released, no answer yet", FALSE, false, 0, vcl::mbLeft, kNoFeedback, false, DRAGDROP_S_DROP, 0, 0},
      {"released, target accepts", FALSE, false, 0, vcl::mbLeft, kCopy, false, DRAGDROP_S_DROP, 0, 1},
      {"released, handler cancels", FALSE, false, 0, vcl::mbLeft, kCopy, true, DRAGDROP_S_CANCEL, 0, 1},
  };
  for (const Case& c : cases) {
    TKXTextSource source(nullptr);
    source.setText(L"t");
    source.setMouseButton(c.button);
    int cancels = 0, beforeDrops = 0;
    source.setOnCancelDrop([&](TObject* s) { EXPECT_EQ(s, &source); ++cancels; });
    source.setOnBeforeDrop([&](TObject*, TComponent*, std::wstring&, bool& cancel) {
      ++beforeDrops;
      cancel = c.cancelInHandler;
    });
    auto dropSource = DropSourceFor(source);
    if (c.feedback != kNoFeedback) dropSource->GiveFeedback(c.feedback == kCopy ? DROPEFFECT_COPY : DROPEFFECT_NONE);
    source.SetExplicitCancel(c.explicitCancel);
    EXPECT_EQ(dropSource->QueryContinueDrag(c.escape, c.keys), c.expected) << c.what;
    EXPECT_EQ(cancels, c.cancels) << c.what;
    EXPECT_EQ(beforeDrops, c.beforeDrops) << c.what;
  }
}

TEST(TextDropSource, BeforeDropHandlerMayReplaceTheText) {
  vcl::TComponent donor(nullptr);
  donor.SetName(L"Donor1");
  TKXTextSource source(nullptr);
  source.setDonorComponent(&donor);
  auto dropSource = DropSourceFor(source);
  dropSource->GiveFeedback(DROPEFFECT_COPY);

  std::wstring seen;
  source.setOnBeforeDrop([&](TObject* s, TComponent* d, std::wstring& text, bool&) {
    EXPECT_EQ(s, &source);
    EXPECT_EQ(d, &donor);
    seen = text;
  });
  EXPECT_EQ(dropSource->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
  EXPECT_EQ(seen, L"Donor1");
  EXPECT_EQ(source.getDonorComponent(), &donor);  // unchanged text keeps the donor

  source.setOnBeforeDrop([&](TObject*, TComponent*, std::wstring& text, bool&) { text = L"donor1"; });
  EXPECT_EQ(dropSource->QueryContinueDrag(FALSE, 0), DRAGDROP_S_DROP);
  EXPECT_EQ(source.getDonorComponent(), nullptr);  // a case change is a change
  EXPECT_EQ(source.getText(), L"donor1");
}

TEST(TextDropSource, GiveFeedbackReportsTheLowestEffect) {
  TKXTextSource source(nullptr);
  auto dropSource = DropSourceFor(source);
  std::vector<TDropEffect> seen;
  bool useDefault = true;
  source.setOnGiveFeedback([&](TObject* s, TDropEffect effect, bool& defCursors) {
    EXPECT_EQ(s, &source);
    EXPECT_TRUE(defCursors);
    seen.push_back(effect);
    defCursors = useDefault;
  });
  EXPECT_EQ(dropSource->GiveFeedback(DROPEFFECT_COPY | DROPEFFECT_LINK), DRAGDROP_S_USEDEFAULTCURSORS);
  EXPECT_EQ(source.getReturnedEffect(), deCopy);
  useDefault = false;
  EXPECT_EQ(dropSource->GiveFeedback(DROPEFFECT_MOVE | DROPEFFECT_LINK), S_OK);
  EXPECT_EQ(source.getReturnedEffect(), deMove);
  EXPECT_EQ(dropSource->GiveFeedback(DROPEFFECT_NONE), S_OK);
  EXPECT_EQ(source.getReturnedEffect(), deNone);
  EXPECT_EQ(seen, (std::vector<TDropEffect>{deCopy, deMove, deNone}));
}

TEST(TextDropSource, HandlerExceptionsOutsideExecuteGoToTheApplication) {
  ApplicationExceptions caught;
  TKXTextSource source(nullptr);
  source.setText(L"t");
  auto dropSource = DropSourceFor(source);
  source.setOnGiveFeedback([](TObject*, TDropEffect, bool&) { throw std::runtime_error("feedback"); });
  source.setOnBeforeDrop([](TObject*, TComponent*, std::wstring&, bool&) { throw std::runtime_error("before"); });
  source.setOnCancelDrop([](TObject*) { throw std::runtime_error("cancel"); });
  EXPECT_EQ(dropSource->GiveFeedback(DROPEFFECT_COPY), DRAGDROP_S_USEDEFAULTCURSORS);
  EXPECT_EQ(dropSource->QueryContinueDrag(FALSE, 0), DRAGDROP_S_CANCEL);
  EXPECT_EQ(dropSource->QueryContinueDrag(TRUE, MK_LBUTTON), DRAGDROP_S_CANCEL);
  EXPECT_EQ(caught.messages, (std::vector<std::string>{"feedback", "before", "cancel"}));
}
