#include "sources/KXDragSourceLoop.h"

#include <cstring>
#include <new>

#include "framework/DataMedium.h"
#include "framework/Forms.h"
#include "framework/Handles.h"
#include "vocabulary/KXDragImage.h"
#include "vocabulary/KXEnum.h"

namespace kestrix {

void HandleExceptionOutsideExecute(vcl::TObject* Sender) noexcept {
  try {
    vcl::Application->HandleException(Sender);
  } catch (...) {
  }
}

HRESULT RunDragLoop(TDragSourceState& State, IDataObject* Data, IDropSource* Source) {
  State.ExplicitCancel = false;
  State.DragException = nullptr;
  State.ReturnedEffects = {deNone};  // no target has answered yet
  State.PerformedEffects = {deNone};
  if (State.ShowDragImage) {
    HBITMAP image = State.DragImage ? BitmapDragImage(State.DragImage)
                                    : State.DefaultDragImage ? State.DefaultDragImage() : nullptr;
    if (image) SetDragImage(Data, image);
  }
  DWORD effect = DROPEFFECT_NONE;
  const HRESULT hr = DoDragDrop(Data, Source, dropEffectFromSet(State.DropEffects), &effect);
  State.ReturnedEffects = hr == DRAGDROP_S_DROP ? setFromDropEffect(effect) : TDropEffects{deNone};
  State.PerformedEffects = State.ReturnedEffects;
  if (hr == DRAGDROP_S_DROP) {
    FORMATETC fe{static_cast<CLIPFORMAT>(CF_PERFORMEDDROPEFFECT), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    vcl::TStgMedium performed;
    // Asked only when offered: a data object's GetData may tell its component of the request.
    if (CF_PERFORMEDDROPEFFECT && Data->QueryGetData(&fe) == S_OK && vcl::GetDataInto(Data, fe, performed) == S_OK &&
        performed->tymed == TYMED_HGLOBAL) {
      if (const std::optional<DWORD> said = vcl::DwordOfGlobal(performed->hGlobal))
        State.PerformedEffects = setFromDropEffect(*said);
    }
  }
  if (State.DragException) std::rethrow_exception(std::exchange(State.DragException, nullptr));
  return hr;
}

// ---- TKXDropSource --------------------------------------------------------------------------------

TKXDropSource::TKXDropSource(TDragSourceState* aState, LONG volatile& LiveCount)
    : theState(aState), FLiveCount(LiveCount) {
  InterlockedIncrement(&FLiveCount);
}

TKXDropSource::~TKXDropSource() { InterlockedDecrement(&FLiveCount); }

STDMETHODIMP TKXDropSource::QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) {
  TDragSourceState* state = theState;
  // A handler that already failed during this drag ends it, without raising anything more.
  if (!state || state->DragException) return DRAGDROP_S_CANCEL;
  const HRESULT hr = DragCallbackBoundary(state, [&]() -> HRESULT {
    if (fEscapePressed || state->ExplicitCancel) {
      if (state->OnCancelDrop) state->OnCancelDrop(state->Sender);
      return DRAGDROP_S_CANCEL;
    }
    if (LOWORD(grfKeyState) & MK_XButtonFromTMouseButton(state->MouseButton)) return S_OK;
    if (NoEffect(state->ReturnedEffects)) return DRAGDROP_S_DROP;
    return !state->BeforeDrop || state->BeforeDrop() ? DRAGDROP_S_DROP : DRAGDROP_S_CANCEL;
  });
  return FAILED(hr) ? DRAGDROP_S_CANCEL : hr;
}

STDMETHODIMP TKXDropSource::GiveFeedback(DWORD dwEffect) {
  TDragSourceState* state = theState;
  if (!state || state->DragException) return DRAGDROP_S_USEDEFAULTCURSORS;
  const HRESULT hr = DragCallbackBoundary(state, [&]() -> HRESULT {
    state->ReturnedEffects = setFromDropEffect(dwEffect);
    bool defCursors = true;
    if (state->OnGiveFeedback) state->OnGiveFeedback(state->Sender, singleEffectFromSet(state->ReturnedEffects), defCursors);
    return defCursors ? DRAGDROP_S_USEDEFAULTCURSORS : S_OK;
  });
  return FAILED(hr) ? DRAGDROP_S_USEDEFAULTCURSORS : hr;
}

// ---- enumeration ----------------------------------------------------------------------------------

HRESULT EnumFormatsForReading(DWORD dwDirection, IEnumFORMATETC** enumFormatEtc,
                              const std::vector<FORMATETC>& Formats) noexcept {
  if (enumFormatEtc) *enumFormatEtc = nullptr;
  if (dwDirection == DATADIR_SET) return E_NOTIMPL;
  if (dwDirection != DATADIR_GET || !enumFormatEtc) return E_INVALIDARG;
  return vcl::ComBoundary([&]() -> HRESULT {
    auto enumerator = vcl::MakeComObject<TKXEnumFormatEtc>();
    for (const FORMATETC& fe : Formats) enumerator->addFormatEtc(fe);
    *enumFormatEtc = enumerator.Detach();
    return S_OK;
  });
}

}  // namespace kestrix
