#include "sources/KXTextSource.h"

#include <utility>

#include "sources/KXCompsDonorText.h"
#include "sources/KXTextDataObject.h"
#include "vocabulary/KXDragImage.h"

namespace kestrix {

namespace {

LONG volatile liveDropSources = 0;

}  // namespace

// ---- TTextDropSource ------------------------------------------------------------------------------

TTextDropSource::TTextDropSource(TDragSourceState* aState) : TKXDropSource(aState, liveDropSources) {}

TTextDropSource* TTextDropSource::Create(TKXTextSource* aOwner) {
  TTextDataOwner* owner = aOwner;
  return vcl::MakeComObject<TTextDropSource>(owner ? &owner->DragState() : nullptr).Detach();
}

LONG TTextDropSource::LiveCount() { return liveDropSources; }

// ---- TKXTextSource --------------------------------------------------------------------------------

TKXTextSource::TKXTextSource(TComponent* AOwner)
    : TKXBaseDragSource(AOwner, [](TDragSourceState* State) -> vcl::TComPtr<TKXDropSource> {
        return vcl::MakeComObject<TTextDropSource>(State);
      }),
      FCustomFormats(std::make_unique<TCustomFormatDataList>()) {}

TKXTextSource::~TKXTextSource() {
  // Data objects still held by a target (an asynchronous drop) keep the last text, not the
  // donor's: the donor may be gone already.
  FDonor = nullptr;
  ComponentGoing();
}

HBITMAP TKXTextSource::DefaultDragImage() { return TextDragImage(RefreshText()); }

const std::wstring& TKXTextSource::RefreshText() {
  if (FDonor) FText = textFromDonorComponent(FDonor);
  return FText;
}

std::wstring TKXTextSource::getText() { return RefreshText(); }

void TKXTextSource::setText(const std::wstring& Value) {
  FDonor = nullptr;
  FText = Value;
}

void TKXTextSource::setDonorComponent(TComponent* Value) {
  if (Value == FDonor) return;
  FDonor = Value;
  FText.clear();
}

void TKXTextSource::setCustomFormatData(std::unique_ptr<TCustomFormatDataList> Value) {
  FCustomFormats = Value ? std::move(Value) : std::make_unique<TCustomFormatDataList>();
}

void TKXTextSource::Notification(TComponent* AComponent, vcl::TOperation Operation) {
  TKXBaseComponent::Notification(AComponent, Operation);
  if (Operation == vcl::opRemove && AComponent && AComponent == FDonor &&
      !ComponentState().Contains(vcl::csDestroying))
    setDonorComponent(nullptr);
}

bool TKXTextSource::Execute() {
  if (getText().empty() && !getUsingCustomFormat()) return false;
  return ExecuteDrag();
}

vcl::TComPtr<TKXBaseDataObject> TKXTextSource::MakeDataObject() {
  auto data = vcl::TComPtr<TTextDataObject>::Attach(getUsingCustomFormat()
                                                        ? TTextDataObject::createExWithFormats(FCustomFormats.get(), this)
                                                        : TTextDataObject::createEx(getText(), this));
  data->SetAsyncMode(getAsynchronous() ? -1 : 0);
  return data;
}

void TKXTextSource::AfterDrop(bool DroppedOK) {
  if (FOnAfterDrop) FOnAfterDrop(this, FDonor, DroppedOK);
}

bool TKXTextSource::BeforeDrop() {
  bool cancelDrop = false;
  if (FOnBeforeDrop) {
    std::wstring dropText = getText();
    FOnBeforeDrop(this, FDonor, dropText, cancelDrop);
    if (vcl::AnsiCompareStr(getText(), dropText) != 0) setText(dropText);
  }
  return !cancelDrop;
}

bool TKXTextSource::RenderCustomFormat(const std::wstring& Name, std::wstring& Content) {
  if (!FOnRenderCustomFormat) return false;
  FOnRenderCustomFormat(this, Name, Content);
  return true;
}

void TKXTextSource::CustomFormatRendered(const std::string& Content) { setText(vcl::UnicodeFromAnsi(Content)); }

}  // namespace kestrix
