#include "targets/KXDropTargetBase.h"

#include <utility>

#include "framework/DataMedium.h"
#include "framework/Forms.h"
#include "targets/KXGenericTarget.h"

namespace kestrix {

TKXDropTargetBase::TKXDropTargetBase(TKXGenericTarget* aOwner, bool LinkAllowed)
    : theOwnerBase(aOwner), FLinkAllowed(LinkAllowed) {}

bool TKXDropTargetBase::Offers(UINT cfFormat, DWORD tymed) const {
  if (!FDataObj) return false;
  FORMATETC fe{static_cast<CLIPFORMAT>(cfFormat), nullptr, DVASPECT_CONTENT, -1, tymed};
  return FDataObj->QueryGetData(&fe) == S_OK;
}

HRESULT TKXDropTargetBase::Fetch(UINT cfFormat, DWORD tymed, vcl::TStgMedium& medium) const {
  if (!FDataObj) return E_UNEXPECTED;
  FORMATETC fe{static_cast<CLIPFORMAT>(cfFormat), nullptr, DVASPECT_CONTENT, -1, tymed};
  return vcl::GetDataInto(FDataObj.Get(), fe, medium);
}

void TKXDropTargetBase::TakeDropDataObject(IDataObject* dataObj) {
  if (dataObj && FDataObj.Get() != dataObj) FDataObj = vcl::TComPtr<IDataObject>(dataObj);
}

bool TKXDropTargetBase::QueryDrop(DWORD grfKeyState, DWORD& dwEffect, POINTL) {
  const DWORD allowed = dwEffect;
  auto refuse = [&] {
    dwEffect = DROPEFFECT_NONE;
    FEffects = setFromDropEffect(DROPEFFECT_NONE);
    return false;
  };
  if (!FAcceptFormat) return refuse();
  DWORD effect = OleStdGetDropEffect(grfKeyState);
  if (effect == DROPEFFECT_NONE) {
    // Without keys: move, copy, link; a drop that reads only file names moves only when the
    // source allows nothing else.
    const DWORD order[2][3] = {{DROPEFFECT_MOVE, DROPEFFECT_COPY, DROPEFFECT_LINK},
                               {DROPEFFECT_COPY, DROPEFFECT_LINK, DROPEFFECT_MOVE}};
    for (DWORD candidate : order[FReadsFileNames]) {
      if (candidate == DROPEFFECT_LINK && !FLinkAllowed) continue;
      if (allowed & candidate) {
        effect = candidate;
        break;
      }
    }
    if (effect == DROPEFFECT_NONE) return refuse();
  } else if (!(allowed & effect) || (effect == DROPEFFECT_LINK && !FLinkAllowed)) {
    return refuse();
  }
  dwEffect = effect;
  FEffects = setFromDropEffect(effect);
  return true;
}

TDropEffect TKXDropTargetBase::ApplyEffectOverride(DWORD& dwEffect) {
  TDropEffect e = theOwnerBase->GetOverrideDropEffect(singleEffectFromSet(setFromDropEffect(dwEffect)));
  if (!FAvailableDropEffects.Contains(e)) e = deNone;
  FEffects = {e};
  dwEffect = dropEffectFromEnum(e);
  return e;
}

void TKXDropTargetBase::ReevaluateAcceptance() {
  FAcceptFormat = AcceptsCurrentFormats();
  FReadsFileNames = FAcceptFormat && ReadsFileNames();
}

namespace {

// A flag set for the life of a scope.
class TFlagScope {
 public:
  explicit TFlagScope(bool& Flag) : FFlag(Flag), FWas(Flag) { FFlag = true; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;
  ~TFlagScope() { FFlag = FWas; }

 private:
  bool& FFlag;
  bool FWas;
};

}  // namespace

bool TKXDropTargetBase::CanPaste(IDataObject* Data) {
  if (!theOwnerBase || !Data) return false;
  const TFlagScope pasting(FPasting);
  struct TRestore {
    vcl::TComPtr<IDataObject>& Slot;
    vcl::TComPtr<IDataObject> Dragging;
    ~TRestore() { Slot = std::move(Dragging); }
  } restore{FDataObj, std::exchange(FDataObj, vcl::TComPtr<IDataObject>(Data))};
  return AcceptsCurrentFormats();
}

DWORD TKXDropTargetBase::Paste(IDataObject* Data, DWORD Allowed) {
  if (!theOwnerBase || !Data) return DROPEFFECT_NONE;
  // OnDrop may free the component, and with it the last other reference on this object.
  vcl::TComPtr<IDropTarget> self(this);
  const TFlagScope pasting(FPasting);
  FDataObj = vcl::TComPtr<IDataObject>(Data);
  FAvailableDropEffects = setFromDropEffect(Allowed);
  try {
    ReevaluateAcceptance();
  } catch (...) {
    EndDrag();  // lets go of the clipboard's data object, as Drop would
    throw;
  }
  DWORD effect = Allowed;
  const HRESULT hr = Drop(Data, 0, POINTL{-1, -1}, &effect);
  return SUCCEEDED(hr) ? effect : DROPEFFECT_NONE;
}

void TKXDropTargetBase::OwnerGone() {
  theOwnerBase = nullptr;
  FAcceptFormat = false;
  EndDrag();
}

bool TKXDropTargetBase::RaiseEvent(const std::function<void()>& Event) {
  try {
    Event();
    return true;
  } catch (...) {
    vcl::Application->HandleException(theOwnerBase);
    return false;
  }
}

void TKXDropTargetBase::EndDrag() {
  FDataObj.Reset();
  FAvailableDropEffects = {};
}

STDMETHODIMP TKXDropTargetBase::DragEnter(IDataObject* dataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
  if (!pdwEffect) return E_INVALIDARG;
  if (!theOwnerBase) {
    *pdwEffect = DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT hr = vcl::ComBoundary([&] {
    FDataObj = vcl::TComPtr<IDataObject>(dataObj);
    ReevaluateAcceptance();
    FAvailableDropEffects = setFromDropEffect(*pdwEffect);
    QueryDrop(grfKeyState, *pdwEffect, pt);
    TDropEffect e = ApplyEffectOverride(*pdwEffect);
    FImages.DragEnter(theOwnerBase->AcceptorHandle(), dataObj, pt, *pdwEffect);
    if (theOwnerBase->getOnDragEnter()) {
      vcl::TPoint p = theOwnerBase->AcceptorClientPoint(pt);
      RaiseEvent([&] { theOwnerBase->getOnDragEnter()(theOwnerBase, e, p.X, p.Y); });
    }
    return S_OK;
  });
  if (FAILED(hr)) *pdwEffect = DROPEFFECT_NONE;
  return S_OK;
}

STDMETHODIMP TKXDropTargetBase::DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
  if (!pdwEffect) return E_INVALIDARG;
  if (!theOwnerBase) {
    *pdwEffect = DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT hr = vcl::ComBoundary([&] {
    QueryDrop(grfKeyState, *pdwEffect, pt);
    TDropEffect e = ApplyEffectOverride(*pdwEffect);
    FImages.DragOver(pt, *pdwEffect);
    if (theOwnerBase->getOnDragOver()) {
      vcl::TPoint p = theOwnerBase->AcceptorClientPoint(pt);
      RaiseEvent([&] { theOwnerBase->getOnDragOver()(theOwnerBase, e, p.X, p.Y); });
    }
    return S_OK;
  });
  if (FAILED(hr)) *pdwEffect = DROPEFFECT_NONE;
  return S_OK;
}

STDMETHODIMP TKXDropTargetBase::DragLeave() {
  FAcceptFormat = false;
  FImages.DragLeave();
  if (theOwnerBase && theOwnerBase->getOnDragLeave()) RaiseEvent([&] { theOwnerBase->getOnDragLeave()(theOwnerBase); });
  EndDrag();
  return S_OK;
}

}  // namespace kestrix
