#pragma once
// TKXTextSource: the component an application calls Execute on to drag text (or its own custom
// formats) out of a control, and TTextDropSource, the drop source that steers its drag loop.
#include <windows.h>
#include <ole2.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "framework/ComObj.h"
#include "sources/KXDragSourceLoop.h"
#include "vocabulary/KXComps.h"
#include "vocabulary/KXCustomFormats.h"

namespace kestrix {

class TKXTextSource;
class TTextDataObject;

// Ends the drag on Escape or ExplicitCancel, drops when the component's MouseButton is released
// (after OnBeforeDrop may cancel), and reports each target answer through OnGiveFeedback.
class KX_API TTextDropSource : public vcl::TInterfacedObjectImpl<IDropSource> {
 public:
  // Takes one reference for the caller. aOwner is not owned.
  static TTextDropSource* Create(TKXTextSource* aOwner);
  static LONG LiveCount();

  STDMETHODIMP QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) override;
  STDMETHODIMP GiveFeedback(DWORD dwEffect) override;

 private:
  friend class TKXTextSource;
  explicit TTextDropSource(TKXTextSource* aOwner);
  ~TTextDropSource() override;
  TKXTextSource* theOwner;
};

class KX_API TKXTextSource : public TKXBaseComponent {
 public:
  explicit TKXTextSource(TComponent* AOwner);
  ~TKXTextSource() override;

  // Starts a modal OLE drag of Text, or of the custom formats when there are any. True when the
  // drag ran to a drop or a cancel; false when there was nothing to drag, a drag was already
  // running, or OLE failed. An exception thrown by an event handler during the drag cancels the
  // drag and is rethrown here once DoDragDrop has returned (OnAfterDrop is then not raised).
  bool Execute();

  // ---- events ----
  const TKXBeforeDropType& getOnBeforeDrop() const { return FOnBeforeDrop; }
  void setOnBeforeDrop(TKXBeforeDropType Value) { FOnBeforeDrop = std::move(Value); }
  const TKXAfterDropType& getOnAfterDrop() const { return FOnAfterDrop; }
  void setOnAfterDrop(TKXAfterDropType Value) { FOnAfterDrop = std::move(Value); }
  const TKXGiveFeedbackType& getOnGiveFeedback() const { return FOnGiveFeedback; }
  void setOnGiveFeedback(TKXGiveFeedbackType Value) { FOnGiveFeedback = std::move(Value); }
  const TNotifyEvent& getOnCancelDrop() const { return FOnCancelDrop; }
  void setOnCancelDrop(TNotifyEvent Value) { FOnCancelDrop = std::move(Value); }
  const TKXRenderCustomFormatType& getOnRenderCustomFormat() const { return FOnRenderCustomFormat; }
  void setOnRenderCustomFormat(TKXRenderCustomFormatType Value) { FOnRenderCustomFormat = std::move(Value); }
  const TNotifyEvent& getOnStartAsyncOperation() const { return FOnStartAsyncOperation; }
  void setOnStartAsyncOperation(TNotifyEvent Value) { FOnStartAsyncOperation = std::move(Value); }
  // Raised when the target ends an asynchronous drop, possibly after Execute has returned. An
  // exception from a handler raised outside Execute goes to Application->HandleException.
  const TNotifyEvent& getOnEndAsyncOperation() const { return FOnEndAsyncOperation; }
  void setOnEndAsyncOperation(TNotifyEvent Value) { FOnEndAsyncOperation = std::move(Value); }

  // ---- published properties ----
  // With a donor, every read takes the donor's current text (and caches it).
  std::wstring getText();
  // Also clears DonorComponent.
  void setText(const std::wstring& Value);
  TDropEffects getDropEffects() const { return FDropEffects; }
  void setDropEffects(TDropEffects Value) { FDropEffects = Value; }
  TComponent* getDonorComponent() const { return FDonor; }
  // A different donor clears the cached text; the same one keeps it.
  void setDonorComponent(TComponent* Value);
  vcl::TMouseButton getMouseButton() const { return FMouseButton; }
  void setMouseButton(vcl::TMouseButton Value) { FMouseButton = Value; }
  bool getAsynchronous() const { return FAsynchronous; }
  void setAsynchronous(bool Value) { FAsynchronous = Value; }

  // ---- public properties ----
  bool getActive() const { return FActive; }
  bool getExplicitCancel() const { return FExplicitCancel; }
  // True cancels the running drag at OLE's next poll.
  void SetExplicitCancel(bool Value) { FExplicitCancel = Value; }
  bool getDropWasAsynchronous() const { return FDropWasAsynchronous; }
  TDropEffect getReturnedEffect() const { return singleEffectFromSet(FReturnedEffects); }
  // Never null. The component owns the list.
  TCustomFormatDataList* getCustomFormatData() const { return FCustomFormats.get(); }
  // Takes ownership of the list (null stands for a new empty one) and frees the one it replaces.
  void setCustomFormatData(std::unique_ptr<TCustomFormatDataList> Value);
  bool getUsingCustomFormat() const { return FCustomFormats->Count() > 0; }
  int getCustomFormatIndex() const { return FCustomFormatIndex; }

 protected:
  void Notification(TComponent* AComponent, vcl::TOperation Operation) override;

 private:
  friend class TTextDataObject;
  friend class TTextDropSource;

  friend struct TDragSourceLoop;

  // Runs the body of an OLE callback of this component's drag (see TDragSourceLoop).
  template <class F>
  static HRESULT CallbackBoundary(TKXTextSource* Owner, F&& Body) noexcept {
    return TDragSourceLoop::CallbackBoundary(Owner, std::forward<F>(Body));
  }

  // Text, refreshed from the donor when there is one.
  const std::wstring& RefreshText();
  // The before-drop hook: true to go ahead with the drop.
  bool BeforeDrop();
  void AsyncStarted();
  void AsyncEnded();
  void DataObjectCreated(TTextDataObject* Obj);
  void DataObjectGone(TTextDataObject* Obj);

  std::wstring FText;
  vcl::TMouseButton FMouseButton = vcl::mbLeft;
  std::unique_ptr<TCustomFormatDataList> FCustomFormats;
  int FCustomFormatIndex = 0;
  bool FActive = false;
  TKXBeforeDropType FOnBeforeDrop;
  TKXAfterDropType FOnAfterDrop;
  TKXGiveFeedbackType FOnGiveFeedback;
  TNotifyEvent FOnCancelDrop;
  TKXRenderCustomFormatType FOnRenderCustomFormat;
  TNotifyEvent FOnStartAsyncOperation;
  TNotifyEvent FOnEndAsyncOperation;
  bool FDataObjectInAsyncOperation = false;
  TDropEffects FDropEffects{deCopy};
  TDropEffects FReturnedEffects;
  vcl::TComPtr<TTextDropSource> theDropSource;
  TComponent* FDonor = nullptr;
  bool FAsynchronous = false;
  bool FDropWasAsynchronous = false;
  bool FExplicitCancel = false;
  // An event handler's exception, kept during Execute for Execute to rethrow.
  std::exception_ptr FDragException;
  // Data objects created for this component and still alive (an asynchronous drop outlives
  // Execute); told when the component goes.
  std::vector<TTextDataObject*> FDataObjects;
};

}  // namespace kestrix
