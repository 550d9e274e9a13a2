// What a new kind of drag source costs on the shared bases: a data object that gives its one
// format and how it renders it, and a component that makes it. It drags for real into a raw OLE
// target; the bases carry the rest (enumeration, what the target stores through SetData, the drag
// loop and its events, the live count, the object living on after its component).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/DataMedium.h"
#include "framework/Handles.h"
#include "sources/KXBaseDataObject.h"
#include "sources/KXBaseDragSource.h"
#include "support/DragDriver.h"
#include "support/RawDropTarget.h"
#include "support/TestSupport.h"

using namespace kestrix;
using namespace kxtest;

namespace {

LONG volatile liveNotes = 0;

class TNoteDataObject : public TKXBaseDataObject {
 public:
  TNoteDataObject(TDragSourceState* State, std::string Note) : TKXBaseDataObject(State, liveNotes), FNote(std::move(Note)) {}

 private:
  std::vector<FORMATETC> OwnFormats() override {
    return {{static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Kestrix Note")), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};
  }
  HRESULT Render(const FORMATETC& fe, STGMEDIUM& medium) override {
    if (!Offers(fe)) return DV_E_FORMATETC;
    medium.hGlobal = vcl::GlobalFromBytes(kMediumBlockFlags, FNote.data(), FNote.size(), FNote.size()).Release();
    medium.tymed = TYMED_HGLOBAL;
    return medium.hGlobal ? S_OK : E_OUTOFMEMORY;
  }
  std::string FNote;
};

class TNoteSource : public TKXBaseDragSource {
 public:
  explicit TNoteSource(vcl::TComponent* AOwner) : TKXBaseDragSource(AOwner) {}
  bool Execute() { return ExecuteDrag(); }
  std::string Note;
  int AfterDrops = 0;
  bool DroppedOK = false;

 private:
  vcl::TComPtr<TKXBaseDataObject> MakeDataObject() override { return vcl::MakeComObject<TNoteDataObject>(&FDrag, Note); }
  void AfterDrop(bool OK) override {
    ++AfterDrops;
    DroppedOK = OK;
  }
};

}  // namespace

TEST(NewSourceDrag, DragsThroughTheSharedBases) {
  TestWindow sourceWnd{L"kx note source", {40, 40, 240, 240}};
  TestWindow targetWnd{L"kx note target", {340, 40, 540, 240}, false};
  auto* target = new RawDropTarget(DROPEFFECT_COPY);
  ASSERT_EQ(target->Register(targetWnd.Handle()), S_OK);
  target->SetReads({ReadRequest(L"Kestrix Note")});
  target->SetPerformedEffect(DROPEFFECT_COPY);
  target->SetKeepDataObject(true);
  const LONG before = liveNotes;
  auto source = std::make_unique<TNoteSource>(nullptr);
  source->Note = "a fourth kind of data";
  PumpMessages(100);

  EXPECT_TRUE(DragWith(sourceWnd.Handle(), sourceWnd.Centre(), DropOn(targetWnd.Handle(), targetWnd.Centre()),
                       [&] { return source->Execute(); }));

  EXPECT_EQ(target->drops, 1);
  ASSERT_EQ(target->enumerated.size(), 1u);
  EXPECT_EQ(target->enumerated[0].cfFormat, RegisterClipboardFormatW(L"Kestrix Note"));
  ASSERT_EQ(target->reads.size(), 1u);
  EXPECT_EQ(target->reads[0].hr, S_OK);
  EXPECT_EQ(target->reads[0].bytes, "a fourth kind of data");
  EXPECT_EQ(target->performedStored, S_OK);
  EXPECT_EQ(source->AfterDrops, 1);
  EXPECT_TRUE(source->DroppedOK);
  EXPECT_EQ(source->getPerformedEffect(), deCopy);
  EXPECT_FALSE(source->getActive());

  // The component goes while the target holds the object: it goes on rendering what it has.
  IDataObject* kept = target->TakeDataObject();
  ASSERT_NE(kept, nullptr);
  source.reset();
  FORMATETC fe{static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Kestrix Note")), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  vcl::TStgMedium medium;
  EXPECT_EQ(vcl::GetDataInto(kept, fe, medium), S_OK);
  EXPECT_EQ(liveNotes, before + 1);
  EXPECT_EQ(kept->Release(), 0u);
  EXPECT_EQ(liveNotes, before);
  target->Revoke();
  target->Release();
}
