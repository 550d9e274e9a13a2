#pragma once
// TKXTextSource: the component an application calls Execute on to drag text (or its own custom
// formats) out of a control, and TTextDropSource, the drop source that steers its drag loop.
#include <windows.h>
#include <ole2.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/ComObj.h"
#include "sources/KXBaseDragSource.h"
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

class KX_API TKXTextSource : public TKXBaseDragSource, public TTextDataOwner {
 public:
  explicit TKXTextSource(TComponent* AOwner);
  ~TKXTextSource() override;

  // Starts a modal OLE drag of Text, or of the custom formats when there are any. True when the
  // drag ran to a drop or a cancel; false when there was nothing to drag, a drag was already
  // running, or OLE failed. An exception thrown by an event handler during the drag cancels the
  // drag and is rethrown here once DoDragDrop has returned (OnAfterDrop is then not raised).
  bool Execute();

  // ---- events (and those of TKXBaseDragSource) ----
  const TKXBeforeDropType& getOnBeforeDrop() const { return FOnBeforeDrop; }
  void setOnBeforeDrop(TKXBeforeDropType Value) { FOnBeforeDrop = std::move(Value); }
  const TKXAfterDropType& getOnAfterDrop() const { return FOnAfterDrop; }
  void setOnAfterDrop(TKXAfterDropType Value) { FOnAfterDrop = std::move(Value); }
  const TKXRenderCustomFormatType& getOnRenderCustomFormat() const { return FOnRenderCustomFormat; }
  void setOnRenderCustomFormat(TKXRenderCustomFormatType Value) { FOnRenderCustomFormat = std::move(Value); }
  using TKXBaseDragSource::getOnStartAsyncOperation;
  using TKXBaseDragSource::setOnStartAsyncOperation;
  using TKXBaseDragSource::getOnEndAsyncOperation;
  using TKXBaseDragSource::setOnEndAsyncOperation;

  // ---- published properties (and those of TKXBaseDragSource) ----
  // With a donor, every read takes the donor's current text (and caches it).
  std::wstring getText();
  // Also clears DonorComponent.
  void setText(const std::wstring& Value);
  TComponent* getDonorComponent() const { return FDonor; }
  // A different donor clears the cached text; the same one keeps it.
  void setDonorComponent(TComponent* Value);
  // Off by default.
  using TKXBaseDragSource::getAsynchronous;
  using TKXBaseDragSource::setAsynchronous;
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
  // DragImage null: the text, rendered.

  // ---- public properties (and those of TKXBaseDragSource) ----
  using TKXBaseDragSource::getDropWasAsynchronous;
  // Never null. The component owns the list.
  TCustomFormatDataList* getCustomFormatData() const { return FCustomFormats.get(); }
  // Takes ownership of the list (null stands for a new empty one) and frees the one it replaces.
  void setCustomFormatData(std::unique_ptr<TCustomFormatDataList> Value);
  bool getUsingCustomFormat() const { return FCustomFormats->Count() > 0; }
  int getCustomFormatIndex() const { return FCustomFormatIndex; }

 protected:
  void Notification(TComponent* AComponent, vcl::TOperation Operation) override;

 private:
  // ---- what it drags (TKXBaseDragSource) ----
  vcl::TComPtr<TKXBaseDataObject> MakeDataObject() override;
  // A copy takes the text and HTML as they are now (a donor's selection may change before the
  // paste); custom formats are still rendered when a program asks, as their handler expects.
  vcl::TComPtr<IDataObject> MakeClipboardData() override;
  void AfterDrop(bool DroppedOK) override;
  bool BeforeDrop() override;
  HBITMAP DefaultDragImage() override;

  // ---- what its data objects ask (TTextDataOwner) ----
  TDragSourceState& DragState() override { return FDrag; }
  const std::wstring& CurrentText() override { return RefreshText(); }
  const std::wstring& CurrentHTML() override { return FHTML; }
  const std::wstring& CurrentHTMLSourceURL() override { return FHTMLSourceURL; }
  TCustomFormatDataList* CustomFormats() override { return FCustomFormats.get(); }
  void CustomFormatRequested(int Index) override { FCustomFormatIndex = Index; }
  bool RenderCustomFormat(const std::wstring& Name, std::wstring& Content) override;
  void CustomFormatRendered(const std::string& Content) override;
  void AsyncOperationStarted() override { AsyncStarted(); }
  void AsyncOperationEnded() override { AsyncEnded(); }

  // Text, refreshed from the donor when there is one.
  const std::wstring& RefreshText();

  std::wstring FText;
  std::wstring FHTML;
  std::wstring FHTMLSourceURL;
  std::unique_ptr<TCustomFormatDataList> FCustomFormats;
  int FCustomFormatIndex = 0;
  TKXBeforeDropType FOnBeforeDrop;
  TKXAfterDropType FOnAfterDrop;
  TKXRenderCustomFormatType FOnRenderCustomFormat;
  TComponent* FDonor = nullptr;
};

}  // namespace kestrix
