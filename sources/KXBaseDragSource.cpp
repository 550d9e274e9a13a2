#include "sources/KXBaseDragSource.h"

namespace kestrix {

namespace {

LONG volatile liveDropSources = 0;

// The drop source of a component whose class publishes none of its own.
class TBaseDropSource : public TKXDropSource {
 public:
  explicit TBaseDropSource(TDragSourceState* aState) : TKXDropSource(aState, liveDropSources) {}
};

vcl::TComPtr<TKXDropSource> MakeBaseDropSource(TDragSourceState* State) { return vcl::MakeComObject<TBaseDropSource>(State); }

}  // namespace

TKXBaseDragSource::TKXBaseDragSource(TComponent* AOwner, TMakeDropSource MakeDropSource)
    : TKXBaseComponent(AOwner), TKXClipboardSource(this), theDropSource((MakeDropSource ? MakeDropSource : MakeBaseDropSource)(&FDrag)) {
  FDrag.BeforeDrop = [this] { return BeforeDrop(); };
  FDrag.DefaultDragImage = [this] { return DefaultDragImage(); };
}

TKXBaseDragSource::~TKXBaseDragSource() { ComponentGoing(); }

void TKXBaseDragSource::ComponentGoing() {
  ClipboardComponentGone();  // flushed while the component can still render
  FDrag.ReadersComponentGone();
  theDropSource->ComponentGone();
}

vcl::TComPtr<IDataObject> TKXBaseDragSource::MakeClipboardData() { return vcl::TComPtr<IDataObject>(MakeDataObject()); }

bool TKXBaseDragSource::ExecuteDrag() {
  if (FDrag.Active) return false;
  TActiveScope active(FDrag);
  vcl::TComPtr<TKXBaseDataObject> data = MakeDataObject();
  if (!data) return false;
  const HRESULT hr = RunDragLoop(FDrag, data.Get(), theDropSource.Get());
  const bool dropped = hr == DRAGDROP_S_DROP;
  DragReturned(*data, dropped);
  data.Reset();  // a target still working keeps its own reference
  return dropped || hr == DRAGDROP_S_CANCEL;
}

void TKXBaseDragSource::DragReturned(TKXBaseDataObject& Data, bool Dropped) {
  if (Dropped) AfterDrop(DropSucceeded(FDrag));
  FDropWasAsynchronous = false;
  if (FAsynchronous && FInAsyncOperation) {
    BOOL inOperation = FALSE;
    Data.InOperation(&inOperation);
    FDropWasAsynchronous = inOperation != FALSE;
  }
}

void TKXBaseDragSource::AsyncStarted() {
  FInAsyncOperation = true;
  if (FOnStartAsyncOperation) FOnStartAsyncOperation(this);
}

void TKXBaseDragSource::AsyncEnded() {
  FInAsyncOperation = false;
  if (FOnEndAsyncOperation) FOnEndAsyncOperation(this);
}

}  // namespace kestrix
