#include "sources/KXBaseDataObject.h"

#include <cstring>

namespace kestrix {

TKXBaseDataObject::TKXBaseDataObject(TDragSourceState* State, LONG volatile& LiveCount)
    : FState(State), FLiveCount(LiveCount) {
  if (FState) FState->AddReader(this);  // may throw: nothing counted yet
  InterlockedIncrement(&FLiveCount);
}

TKXBaseDataObject::~TKXBaseDataObject() {
  if (FState) FState->RemoveReader(this);
  InterlockedDecrement(&FLiveCount);
}

void TKXBaseDataObject::ComponentGone() {
  if (!FState) return;
  KeepComponentsData();
  FState = nullptr;
}

void TKXBaseDataObject::DetachFromComponent() {
  if (!FState) return;
  FState->RemoveReader(this);
  ComponentGone();
}

template <class F>
HRESULT TKXBaseDataObject::Boundary(bool RunsHandlers, F&& Body) {
  return DragCallbackBoundary(RunsHandlers ? FState : nullptr, std::forward<F>(Body));
}

STDMETHODIMP TKXBaseDataObject::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IAsyncOperation && !OffersAsyncOperation()) {
    if (ppv) *ppv = nullptr;
    return ppv ? E_NOINTERFACE : E_POINTER;
  }
  return TInterfacedObjectImpl::QueryInterface(riid, ppv);
}

// ---- what a data object may leave to the base -----------------------------------------------------

bool TKXBaseDataObject::Offers(const FORMATETC& fe) {
  if (fe.dwAspect != DVASPECT_CONTENT) return false;
  for (const FORMATETC& own : OwnFormats())
    if (own.cfFormat == fe.cfFormat && (fe.tymed & own.tymed)) return true;
  return false;
}

bool TKXBaseDataObject::CanRender(const FORMATETC& fe) { return Offers(fe); }

bool TKXBaseDataObject::RendersItself(CLIPFORMAT cf) {
  for (const FORMATETC& own : OwnFormats())
    if (own.cfFormat == cf) return true;
  return false;
}

// ---- IDataObject ----------------------------------------------------------------------------------

STDMETHODIMP TKXBaseDataObject::GetData(FORMATETC* formatetcIn, STGMEDIUM* medium) {
  if (medium) std::memset(medium, 0, sizeof *medium);
  if (!formatetcIn || !medium) return E_INVALIDARG;
  return Boundary(RenderRunsHandlers(), [&] {
    STGMEDIUM rendered{};
    // A stored format is answered without rendering, which might tell the component of a request.
    const bool stored = !RendersItself(formatetcIn->cfFormat) && FStored.Has(*formatetcIn);
    const HRESULT hr = stored ? FStored.Get(*formatetcIn, rendered) : Render(*formatetcIn, rendered);
    if (SUCCEEDED(hr)) *medium = rendered;
    return hr;
  });
}

STDMETHODIMP TKXBaseDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return DV_E_FORMATETC; }

STDMETHODIMP TKXBaseDataObject::QueryGetData(FORMATETC* formatetc) {
  if (!formatetc) return E_INVALIDARG;
  return vcl::ComBoundary([&]() -> HRESULT {
    const FORMATETC& fe = *formatetc;
    if (fe.dwAspect != DVASPECT_CONTENT) return S_FALSE;
    if (RendersItself(fe.cfFormat)) return CanRender(fe) ? S_OK : S_FALSE;
    return FStored.Has(fe) ? S_OK : S_FALSE;
  });
}

STDMETHODIMP TKXBaseDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) { return E_NOTIMPL; }

STDMETHODIMP TKXBaseDataObject::SetData(FORMATETC* formatetc, STGMEDIUM* medium, BOOL fRelease) {
  if (!formatetc || !medium) return E_INVALIDARG;
  return vcl::ComBoundary([&]() -> HRESULT {
    if (RendersItself(formatetc->cfFormat)) return DV_E_FORMATETC;
    return FStored.Set(*formatetc, *medium, fRelease);
  });
}

STDMETHODIMP TKXBaseDataObject::EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** enumFormatEtc) {
  if (enumFormatEtc) *enumFormatEtc = nullptr;
  return vcl::ComBoundary([&]() -> HRESULT {
    std::vector<FORMATETC> formats = OwnFormats();
    FStored.AppendFormats(formats);
    return EnumFormatsForReading(dwDirection, enumFormatEtc, formats);
  });
}

STDMETHODIMP TKXBaseDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) { return E_NOTIMPL; }

STDMETHODIMP TKXBaseDataObject::DUnadvise(DWORD) { return E_NOTIMPL; }

STDMETHODIMP TKXBaseDataObject::EnumDAdvise(IEnumSTATDATA** enumAdvise) {
  if (enumAdvise) *enumAdvise = nullptr;
  return E_NOTIMPL;
}

// ---- IAsyncOperation ------------------------------------------------------------------------------

STDMETHODIMP TKXBaseDataObject::SetAsyncMode(BOOL fDoOpAsync) {
  FAsyncMode = fDoOpAsync != 0;
  return S_OK;
}

STDMETHODIMP TKXBaseDataObject::GetAsyncMode(BOOL* pfIsOpAsync) {
  if (!pfIsOpAsync) return E_INVALIDARG;
  *pfIsOpAsync = FAsyncMode ? -1 : 0;
  return S_OK;
}

STDMETHODIMP TKXBaseDataObject::StartOperation(IBindCtx*) {
  FInAsyncOperation = true;
  FAsyncStarted = true;
  return Boundary(true, [&] {
    AsyncOperationStarted();
    return S_OK;
  });
}

STDMETHODIMP TKXBaseDataObject::InOperation(BOOL* pfInAsyncOp) {
  if (!pfInAsyncOp) return E_INVALIDARG;
  *pfInAsyncOp = FInAsyncOperation ? -1 : 0;
  return S_OK;
}

STDMETHODIMP TKXBaseDataObject::EndOperation(HRESULT hResult, IBindCtx*, DWORD dwEffects) {
  FInAsyncOperation = false;
  return Boundary(true, [&] {
    AsyncOperationEnded(hResult, dwEffects);
    return S_OK;
  });
}

void TKXBaseDataObject::EndAbandonedOperation() {
  if (!FState || !FInAsyncOperation) return;
  FInAsyncOperation = false;
  Boundary(true, [&] {
    AsyncOperationEnded(E_ABORT, DROPEFFECT_NONE);
    return S_OK;
  });
}

}  // namespace kestrix
