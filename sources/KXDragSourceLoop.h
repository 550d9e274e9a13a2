#pragma once
// What the drag-source components (text and picture) and their data objects share, inside the
// library: the drop source's answers to OLE's drag loop, the run of DoDragDrop that hands an
// application handler's exception to the caller of Execute, the data objects' answer to
// EnumFormatEtc and the kind of global memory they hand out.
#include <windows.h>
#include <ole2.h>

#include <exception>
#include <utility>
#include <vector>

#include "framework/ComObj.h"
#include "vocabulary/KXComps.h"

namespace kestrix {

// Every block a data object hands out: fixed, shareable, zero-filled (so terminators and padding
// need no writing).
constexpr UINT kMediumBlockFlags = GMEM_DDESHARE | GMEM_ZEROINIT;

// The target under the cursor takes nothing.
inline bool NoEffect(TDropEffects Effects) { return Effects.Empty() || Effects == TDropEffects{deNone}; }

// Hands the exception being handled to Application->HandleException(Sender); called from inside a
// catch block. Nothing escapes.
void HandleExceptionOutsideExecute(vcl::TObject* Sender) noexcept;

// The drag loop of a source component. Owner names this struct its friend and has the members
// FActive, FExplicitCancel, FMouseButton, FDropEffects, FReturnedEffects, FOnCancelDrop,
// FOnGiveFeedback, FDragException (std::exception_ptr) and BeforeDrop() (true to go ahead).
struct TDragSourceLoop {
  // Runs the body of an OLE callback of Owner's drag: no exception leaves it. The first one that
  // escapes while Owner's Execute runs is kept for Execute; one with no Execute to reach (the end
  // of an asynchronous drop) goes to Application->HandleException. Each is mapped to an HRESULT.
  template <class Owner, class F>
  static HRESULT CallbackBoundary(Owner* owner, F&& body) noexcept {
    return vcl::ComBoundary([&]() -> HRESULT {
      try {
        return body();
      } catch (...) {
        if (owner && owner->FActive) {
          if (!owner->FDragException) owner->FDragException = std::current_exception();
        } else if (owner) {
          HandleExceptionOutsideExecute(owner);
        }
        throw;
      }
    });
  }

  // IDropSource::QueryContinueDrag: cancel on Escape or ExplicitCancel (raising OnCancelDrop);
  // continue while MouseButton is down; then drop, after BeforeDrop may cancel, unless the target
  // under the cursor takes nothing (then drop without asking).
  template <class Owner>
  static HRESULT QueryContinueDrag(Owner* owner, BOOL fEscapePressed, DWORD grfKeyState) noexcept {
    // A handler that already failed during this drag ends it, without raising anything more.
    if (!owner || owner->FDragException) return DRAGDROP_S_CANCEL;
    const HRESULT hr = CallbackBoundary(owner, [&]() -> HRESULT {
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

  // IDropSource::GiveFeedback: stores the target's answer as the returned effects and lets
  // OnGiveFeedback take over the cursor.
  template <class Owner>
  static HRESULT GiveFeedback(Owner* owner, DWORD dwEffect) noexcept {
    if (!owner || owner->FDragException) return DRAGDROP_S_USEDEFAULTCURSORS;
    const HRESULT hr = CallbackBoundary(owner, [&]() -> HRESULT {
      owner->FReturnedEffects = setFromDropEffect(dwEffect);
      bool defCursors = true;
      if (owner->FOnGiveFeedback) owner->FOnGiveFeedback(owner, singleEffectFromSet(owner->FReturnedEffects), defCursors);
      return defCursors ? DRAGDROP_S_USEDEFAULTCURSORS : S_OK;
    });
    return FAILED(hr) ? DRAGDROP_S_USEDEFAULTCURSORS : hr;
  }

  // Runs DoDragDrop with Owner's allowed effects, Owner being Active: ExplicitCancel is reset
  // first, and the returned effects are set from the result ([deNone] unless it dropped). A
  // handler's exception kept during the loop is rethrown here once DoDragDrop has returned.
  template <class Owner>
  static HRESULT Run(Owner& owner, IDataObject* data, IDropSource* source) {
    owner.FExplicitCancel = false;
    owner.FDragException = nullptr;
    owner.FReturnedEffects = {deNone};  // no target has answered yet
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT hr = DoDragDrop(data, source, dropEffectFromSet(owner.FDropEffects), &effect);
    owner.FReturnedEffects = hr == DRAGDROP_S_DROP ? setFromDropEffect(effect) : TDropEffects{deNone};
    if (owner.FDragException) std::rethrow_exception(std::exchange(owner.FDragException, nullptr));
    return hr;
  }

  // Owner's Active flag for the life of an Execute.
  class TActiveScope {
   public:
    explicit TActiveScope(bool& active) : FActive(active) { FActive = true; }
    TActiveScope(const TActiveScope&) = delete;
    TActiveScope& operator=(const TActiveScope&) = delete;
    ~TActiveScope() { FActive = false; }

   private:
    bool& FActive;
  };
};

// IDataObject::EnumFormatEtc of a data object that offers Formats for reading: the out-pointer is
// nulled first; DATADIR_SET gives E_NOTIMPL, any other direction but DATADIR_GET E_INVALIDARG, and
// E_OUTOFMEMORY when the enumerator cannot be made.
HRESULT EnumFormatsForReading(DWORD dwDirection, IEnumFORMATETC** enumFormatEtc,
                              const std::vector<FORMATETC>& Formats) noexcept;

}  // namespace kestrix
