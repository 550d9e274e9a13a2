#include "sources/KXTextSource.h"

#include <algorithm>
#include <utility>

#include "framework/Forms.h"
#include "sources/KXCompsDonorText.h"
#include "sources/KXTextDataObject.h"

namespace kestrix {

namespace {

LONG volatile liveDropSources = 0;

// The target under the cursor takes nothing.
bool NoEffect(TDropEffects effects) { return effects.Empty() || effects == TDropEffects{deNone}; }

}  // namespace

// ---- TTextDropSource ------------------------------------------------------------------------------

TTextDropSource::TTextDropSource(TKXTextSource* aOwner) : theOwner(aOwner) {
  InterlockedIncrement(&liveDropSources);
  AddRef();  // the creator's reference
}

TTextDropSource::~TTextDropSource() { InterlockedDecrement(&liveDropSources); }

TTextDropSource* TTextDropSource::Create(TKXTextSource* aOwner) { return new TTextDropSource(aOwner); }

LONG TTextDropSource::LiveCount() { return liveDropSources; }

STDMETHODIMP TTextDropSource::QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) {
  TKXTextSource* owner = theOwner;
  // A handler that already failed during this drag ends it, without raising anything more.
  if (!owner || owner->HasDragException()) return DRAGDROP_S_CANCEL;
  HRESULT hr = TKXTextSource::CallbackBoundary(owner, [&]() -> HRESULT {
    if (fEscapePressed || owner->FExplicitCancel) {
      if (owner->FOnCancelDrop) owner->FOnCancelDrop(owner);
      return DRAGDROP_S_CANCEL;
    }
    if (LOWORD(grfKeyState) & MK_XButtonFromTMouseButton(owner->FMouseButton)) return S_OK;
    if (NoEffect(owner->FReturnedEffects)) return DRAGDROP_S_DROP;
    return owner->BeforeDrop() ? DRAGDROP_S_DROP : DRAGDROP_S_CANCEL;
  });
  return FAILED(hr) ? DRAGDROP_S_CANCEL : hr;
}

STDMETHODIMP TTextDropSource::GiveFeedback(DWORD dwEffect) {
  TKXTextSource* owner = theOwner;
  if (!owner || owner->HasDragException()) return DRAGDROP_S_USEDEFAULTCURSORS;
  HRESULT hr = TKXTextSource::CallbackBoundary(owner, [&]() -> HRESULT {
    owner->FReturnedEffects = setFromDropEffect(dwEffect);
    bool defCursors = true;
    if (owner->FOnGiveFeedback) owner->FOnGiveFeedback(owner, owner->getReturnedEffect(), defCursors);
    return defCursors ? DRAGDROP_S_USEDEFAULTCURSORS : S_OK;
  });
  return FAILED(hr) ? DRAGDROP_S_USEDEFAULTCURSORS : hr;
}

// ---- TKXTextSource --------------------------------------------------------------------------------

TKXTextSource::TKXTextSource(TComponent* AOwner)
    : TKXBaseComponent(AOwner),
      FCustomFormats(std::make_unique<TCustomFormatDataList>()),
      theDropSource(vcl::TComPtr<TTextDropSource>::Attach(TTextDropSource::Create(this))) {}

TKXTextSource::~TKXTextSource() {
  // Data objects still held by a target (an asynchronous drop) must not reach this component.
  for (TTextDataObject* obj : std::exchange(FDataObjects, {})) obj->ComponentGone();
  theDropSource->theOwner = nullptr;
}

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
  if ((getText().empty() && !getUsingCustomFormat()) || FActive) return false;

  struct ActiveScope {
    TKXTextSource& source;
    ~ActiveScope() { source.FActive = false; }
  } active{*this};
  FActive = true;
  FExplicitCancel = false;
  FDragException = nullptr;
  FReturnedEffects = {deNone};  // no target has answered yet

  auto data = vcl::TComPtr<TTextDataObject>::Attach(getUsingCustomFormat()
                                                        ? TTextDataObject::createExWithFormats(FCustomFormats.get(), this)
                                                        : TTextDataObject::createEx(getText(), this));
  data->SetAsyncMode(FAsynchronous ? -1 : 0);

  DWORD effect = DROPEFFECT_NONE;
  const HRESULT hr = DoDragDrop(data.Get(), theDropSource.Get(), dropEffectFromSet(FDropEffects), &effect);
  const bool dropped = hr == DRAGDROP_S_DROP;
  FReturnedEffects = dropped ? setFromDropEffect(effect) : TDropEffects{deNone};

  if (FDragException) {
    data.Reset();
    std::rethrow_exception(std::exchange(FDragException, nullptr));
  }
  if (dropped && FOnAfterDrop) FOnAfterDrop(this, FDonor, !NoEffect(FReturnedEffects));

  FDropWasAsynchronous = false;
  if (FAsynchronous && FDataObjectInAsyncOperation) {
    BOOL inOperation = FALSE;
    data->InOperation(&inOperation);
    FDropWasAsynchronous = inOperation != FALSE;
  }
  data.Reset();  // a target still working keeps its own reference
  return dropped || hr == DRAGDROP_S_CANCEL;
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

void TKXTextSource::AsyncStarted() {
  FDataObjectInAsyncOperation = true;
  if (FOnStartAsyncOperation) FOnStartAsyncOperation(this);
}

void TKXTextSource::AsyncEnded() {
  FDataObjectInAsyncOperation = false;
  if (FOnEndAsyncOperation) FOnEndAsyncOperation(this);
}

void TKXTextSource::KeepDragException(std::exception_ptr e) noexcept {
  if (FActive) {
    if (!FDragException) FDragException = std::move(e);
    return;
  }
  // No Execute to reach (an asynchronous drop ending later): the framework's handler gets it.
  try {
    vcl::Application->HandleException(this);
  } catch (...) {
  }
}

void TKXTextSource::DataObjectCreated(TTextDataObject* Obj) { FDataObjects.push_back(Obj); }

void TKXTextSource::DataObjectGone(TTextDataObject* Obj) {
  FDataObjects.erase(std::remove(FDataObjects.begin(), FDataObjects.end(), Obj), FDataObjects.end());
}

}  // namespace kestrix
