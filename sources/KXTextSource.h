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
#include "sources/KXTextDataObject.h"
#include "vocabulary/KXComps.h"
#include "vocabulary/KXCustomFormats.h"

namespace kestrix {

class TKXTextSource;

// The drop source of a text source: see TKXDropSource.
class KX_API TTextDropSource : public TKXDropSource {
 public:
  // Takes one reference for the caller. aOwner is not owned.
  static TTextDropSource* Create(TKXTextSource* aOwner);
  static LONG LiveCount();

 private:
  friend struct vcl::TComObjectFactory;
  explicit TTextDropSource(TDragSourceState* aState);
};

class KX_API TKXTextSource : public TKXBaseComponent, public TTextDataOwner {
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
  const TKXGiveFeedbackType& getOnGiveFeedback() const { return FDrag.OnGiveFeedback; }
  void setOnGiveFeedback(TKXGiveFeedbackType Value) { FDrag.OnGiveFeedback = std::move(Value); }
  const TNotifyEvent& getOnCancelDrop() const { return FDrag.OnCancelDrop; }
  void setOnCancelDrop(TNotifyEvent Value) { FDrag.OnCancelDrop = std::move(Value); }
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
  TDropEffects getDropEffects() const { return FDrag.DropEffects; }
  void setDropEffects(TDropEffects Value) { FDrag.DropEffects = Value; }
  TComponent* getDonorComponent() const { return FDonor; }
  // A different donor clears the cached text; the same one keeps it.
  void setDonorComponent(TComponent* Value);
  vcl::TMouseButton getMouseButton() const { return FDrag.MouseButton; }
  void setMouseButton(vcl::TMouseButton Value) { FDrag.MouseButton = Value; }
  bool getAsynchronous() const { return FAsynchronous; }
  void setAsynchronous(bool Value) { FAsynchronous = Value; }
  // HTML that the drag offers beside the text, as "HTML Format" (a block whose fragment is this
  // HTML) and "text/html" (UTF-8); empty for none. Settable up to OnBeforeDrop, since targets ask
  // for it when the drop happens. Custom formats replace it as they replace the text. SourceURL is
  // the page the HTML comes from, written as the block's SourceURL so that receivers resolve the
  // HTML's relative links against it (none when empty).
  const std::wstring& getHTML() const { return FHTML; }
  const std::wstring& getHTMLSourceURL() const { return FHTMLSourceURL; }
  void setHTML(const std::wstring& Value, const std::wstring& SourceURL = {}) {
    FHTML = Value;
    FHTMLSourceURL = SourceURL;
  }
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
  bool getDropWasAsynchronous() const { return FDropWasAsynchronous; }
  TDropEffect getReturnedEffect() const { return singleEffectFromSet(FDrag.ReturnedEffects); }
  // The effect the target says it performed ("Performed DropEffect", as a target that moves the
  // data itself reports it while answering DoDragDrop with none); ReturnedEffect when it says
  // nothing.
  TDropEffect getPerformedEffect() const { return singleEffectFromSet(FDrag.PerformedEffects); }
  // Never null. The component owns the list.
  TCustomFormatDataList* getCustomFormatData() const { return FCustomFormats.get(); }
  // Takes ownership of the list (null stands for a new empty one) and frees the one it replaces.
  void setCustomFormatData(std::unique_ptr<TCustomFormatDataList> Value);
  bool getUsingCustomFormat() const { return FCustomFormats->Count() > 0; }
  int getCustomFormatIndex() const { return FCustomFormatIndex; }

 protected:
  void Notification(TComponent* AComponent, vcl::TOperation Operation) override;

 private:
  // ---- what its data objects ask (TTextDataOwner) ----
  TDragSourceState& DragState() override { return FDrag; }
  const std::wstring& CurrentText() override { return RefreshText(); }
  const std::wstring& CurrentHTML() override { return FHTML; }
  const std::wstring& CurrentHTMLSourceURL() override { return FHTMLSourceURL; }
  TCustomFormatDataList* CustomFormats() override { return FCustomFormats.get(); }
  void CustomFormatRequested(int Index) override { FCustomFormatIndex = Index; }
  bool RenderCustomFormat(const std::wstring& Name, std::wstring& Content) override;
  void CustomFormatRendered(const std::string& Content) override;
  void AsyncOperationStarted() override;
  void AsyncOperationEnded() override;

  // Text, refreshed from the donor when there is one.
  const std::wstring& RefreshText();
  bool BeforeDrop();

  TDragSourceState FDrag{this};
  std::wstring FText;
  std::wstring FHTML;
  std::wstring FHTMLSourceURL;
  std::unique_ptr<TCustomFormatDataList> FCustomFormats;
  int FCustomFormatIndex = 0;
  TKXBeforeDropType FOnBeforeDrop;
  TKXAfterDropType FOnAfterDrop;
  TKXRenderCustomFormatType FOnRenderCustomFormat;
  TNotifyEvent FOnStartAsyncOperation;
  TNotifyEvent FOnEndAsyncOperation;
  bool FDataObjectInAsyncOperation = false;
  vcl::TComPtr<TTextDropSource> theDropSource;
  TComponent* FDonor = nullptr;
  bool FAsynchronous = false;
  bool FDropWasAsynchronous = false;
};

}  // namespace kestrix
