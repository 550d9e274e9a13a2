#pragma once
// TKXBaseDragSource: what every drag-source component shares: the state of its drags and the
// properties and events over it, the drop source that steers OLE's drag loop, the drag image,
// and Execute's course (the drag loop, the end of the drop, asynchronous drops, a handler's
// exception rethrown once the loop has returned). A component gives what it drags.
#include <windows.h>
#include <ole2.h>

#include "framework/ComObj.h"
#include "sources/KXBaseDataObject.h"
#include "sources/KXDragSourceLoop.h"
#include "vocabulary/KXComps.h"

namespace kestrix {

class KX_API TKXBaseDragSource : public TKXBaseComponent {
 public:
  ~TKXBaseDragSource() override;

  // ---- events ----
  const TKXGiveFeedbackType& getOnGiveFeedback() const { return FDrag.OnGiveFeedback; }
  void setOnGiveFeedback(TKXGiveFeedbackType Value) { FDrag.OnGiveFeedback = std::move(Value); }
  const TNotifyEvent& getOnCancelDrop() const { return FDrag.OnCancelDrop; }
  void setOnCancelDrop(TNotifyEvent Value) { FDrag.OnCancelDrop = std::move(Value); }

  // ---- published properties ----
  TDropEffects getDropEffects() const { return FDrag.DropEffects; }
  void setDropEffects(TDropEffects Value) { FDrag.DropEffects = Value; }
  vcl::TMouseButton getMouseButton() const { return FDrag.MouseButton; }
  void setMouseButton(vcl::TMouseButton Value) { FDrag.MouseButton = Value; }
  // The drag image the shell shows under the cursor (where it has a helper that draws one): on
  // unless turned off. DragImage is a bitmap of the application's (not owned; a copy scaled to
  // at most 256 pixels goes with each drag); null for the component's own rendering.
  bool getShowDragImage() const { return FDrag.ShowDragImage; }
  void setShowDragImage(bool Value) { FDrag.ShowDragImage = Value; }
  HBITMAP getDragImage() const { return FDrag.DragImage; }
  void setDragImage(HBITMAP Value) { FDrag.DragImage = Value; }

  // ---- public properties ----
  bool getActive() const { return FDrag.Active; }
  bool getExplicitCancel() const { return FDrag.ExplicitCancel; }
  // True cancels the running drag at OLE's next poll.
  void SetExplicitCancel(bool Value) { FDrag.ExplicitCancel = Value; }
  TDropEffect getReturnedEffect() const { return singleEffectFromSet(FDrag.ReturnedEffects); }
  // The effect the target says it performed ("Performed DropEffect", as a target that moves the
  // data itself reports it while answering DoDragDrop with none); ReturnedEffect when it says
  // nothing.
  TDropEffect getPerformedEffect() const { return singleEffectFromSet(FDrag.PerformedEffects); }

 protected:
  // Makes the drop source of a class that publishes its own (each counts its own) over the
  // component's state; null for a plain one.
  using TMakeDropSource = vcl::TComPtr<TKXDropSource> (*)(TDragSourceState* State);
  explicit TKXBaseDragSource(TComponent* AOwner, TMakeDropSource MakeDropSource = nullptr);

  // Execute: false when a drag is running or there is nothing to drag; otherwise the drag runs
  // (BeforeDrop may cancel its drop), DragReturned ends it, and the result is true when it ran to
  // a drop or a cancel, false when OLE failed. A handler's exception kept during the loop is
  // rethrown once DoDragDrop has returned (DragReturned is then not called).
  bool ExecuteDrag();

  // ---- what a component gives ----
  // A data object for what the component drags now; null when there is nothing to drag.
  virtual vcl::TComPtr<TKXBaseDataObject> MakeDataObject() = 0;
  // Raises the component's OnAfterDrop.
  virtual void AfterDrop(bool DroppedOK) = 0;
  // The before-drop hook: true to go ahead with the drop.
  virtual bool BeforeDrop() { return true; }
  // The drag image without an application's bitmap; null for none.
  virtual HBITMAP DefaultDragImage() { return nullptr; }
  // DoDragDrop has returned: raises AfterDrop after a drop, from the effect the target returned,
  // and records whether the target went on asynchronously.
  virtual void DragReturned(TKXBaseDataObject& Data, bool Dropped);

  // Every concrete destructor calls this first, while the component can still answer its data
  // objects: they keep what they need and, like the drop source, never reach it again.
  void ComponentGoing();

  // ---- asynchronous drops (the components that allow them publish these) ----
  bool getAsynchronous() const { return FAsynchronous; }
  void setAsynchronous(bool Value) { FAsynchronous = Value; }
  bool getDropWasAsynchronous() const { return FDropWasAsynchronous; }
  // True from the target's StartOperation to its EndOperation.
  bool getInAsyncOperation() const { return FInAsyncOperation; }
  const TNotifyEvent& getOnStartAsyncOperation() const { return FOnStartAsyncOperation; }
  void setOnStartAsyncOperation(TNotifyEvent Value) { FOnStartAsyncOperation = std::move(Value); }
  // Raised when the target ends an asynchronous drop, possibly after Execute has returned. An
  // exception from a handler raised outside Execute goes to Application->HandleException.
  const TNotifyEvent& getOnEndAsyncOperation() const { return FOnEndAsyncOperation; }
  void setOnEndAsyncOperation(TNotifyEvent Value) { FOnEndAsyncOperation = std::move(Value); }
  // A target started or ended an asynchronous drop: the state, then the event.
  void AsyncStarted();
  void AsyncEnded();

  TDragSourceState FDrag{this};
  bool FAsynchronous = false;
  bool FDropWasAsynchronous = false;

 private:
  vcl::TComPtr<TKXDropSource> theDropSource;
  bool FInAsyncOperation = false;
  TNotifyEvent FOnStartAsyncOperation;
  TNotifyEvent FOnEndAsyncOperation;
};

}  // namespace kestrix
