#pragma once
// What the drag-source components (text and picture) share, inside the library: the state of a
// component's drag, the drop source that answers OLE's drag loop from it, the run of DoDragDrop
// that hands an application handler's exception to the caller of Execute, the data objects' answer
// to EnumFormatEtc and the kind of global memory they hand out.
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <exception>
#include <functional>
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
// A drop succeeded when the target answered an effect, or answered none because it performed the
// drop itself and said so ("Performed DropEffect": the shell's optimized move).
template <class TState>
bool DropSucceeded(const TState& State) {
  return !NoEffect(State.ReturnedEffects) || !NoEffect(State.PerformedEffects);
}

// Hands the exception being handled to Application->HandleException(Sender); called from inside a
// catch block. Nothing escapes.
void HandleExceptionOutsideExecute(vcl::TObject* Sender) noexcept;

// A data object that reads its component: told when the component goes, so that it keeps what it
// needs and never reaches the component again.
class TComponentReader {
 public:
  virtual void ComponentGone() = 0;

 protected:
  ~TComponentReader() = default;
};

// The state of a source component's drags, owned by the component and read by its drop source and
// data objects.
struct TDragSourceState {
  explicit TDragSourceState(vcl::TObject* aSender) : Sender(aSender) {}
  TDragSourceState(const TDragSourceState&) = delete;
  TDragSourceState& operator=(const TDragSourceState&) = delete;
  // The component: the Sender of its events.
  vcl::TObject* Sender;
  // An Execute is running.
  bool Active = false;
  bool ExplicitCancel = false;
  vcl::TMouseButton MouseButton = vcl::mbLeft;
  TDropEffects DropEffects{deCopy};
  TDropEffects ReturnedEffects;
  // What the target says it did through "Performed DropEffect" (an optimized move answers
  // DoDragDrop with no effect); ReturnedEffects when it says nothing.
  TDropEffects PerformedEffects;
  // The drag image: shown unless turned off; the application's bitmap (not owned) or, without
  // one, what DefaultDragImage renders.
  bool ShowDragImage = true;
  HBITMAP DragImage = nullptr;
  std::function<HBITMAP()> DefaultDragImage;
  TNotifyEvent OnCancelDrop;
  TKXGiveFeedbackType OnGiveFeedback;
  // The before-drop hook: true to go ahead with the drop.
  std::function<bool()> BeforeDrop;
  // An event handler's exception, kept during Execute for Execute to rethrow.
  std::exception_ptr DragException;
  // Data objects made for the component and still alive (a target may keep one after the drag).
  std::vector<TComponentReader*> Readers;

  void AddReader(TComponentReader* Reader) { Readers.push_back(Reader); }
  void RemoveReader(TComponentReader* Reader) {
    Readers.erase(std::remove(Readers.begin(), Readers.end(), Reader), Readers.end());
  }
  // The component is going: every reader is told.
  void ReadersComponentGone() {
    for (TComponentReader* reader : std::exchange(Readers, {})) reader->ComponentGone();
  }
};

// Runs the body of an OLE callback of a component's drag (State null: no component): no exception
// leaves it. The first one that escapes while Execute runs is kept for Execute; one with no
// Execute to reach (the end of an asynchronous drop) goes to Application->HandleException. Each is
// mapped to an HRESULT.
template <class F>
HRESULT DragCallbackBoundary(TDragSourceState* State, F&& Body) noexcept {
  return vcl::ComBoundary([&]() -> HRESULT {
    try {
      return Body();
    } catch (...) {
      if (State && State->Active) {
        if (!State->DragException) State->DragException = std::current_exception();
      } else if (State) {
        HandleExceptionOutsideExecute(State->Sender);
      }
      throw;
    }
  });
}

// Runs DoDragDrop with the allowed effects of State, which is Active: ExplicitCancel is reset
// first and the drag image handed to the shell's helper, and the returned effects are set from
// the result ([deNone] unless it dropped), the performed ones from what the target stored. A
// handler's exception kept during the loop is rethrown here once DoDragDrop has returned.
HRESULT RunDragLoop(TDragSourceState& State, IDataObject* Data, IDropSource* Source);

// The Active flag for the life of an Execute.
class TActiveScope {
 public:
  explicit TActiveScope(TDragSourceState& State) : FActive(State.Active) { FActive = true; }
  TActiveScope(const TActiveScope&) = delete;
  TActiveScope& operator=(const TActiveScope&) = delete;
  ~TActiveScope() { FActive = false; }

 private:
  bool& FActive;
};

// The drop source of a source component: ends the drag on Escape or ExplicitCancel (raising
// OnCancelDrop), goes on while MouseButton is down, then drops, after BeforeDrop may cancel,
// unless the target under the cursor takes nothing (then it drops without asking); reports each
// target answer through OnGiveFeedback. Made without a state, or once its component has gone, it
// cancels every drag.
class KX_API TKXDropSource : public vcl::TInterfacedObjectImpl<IDropSource> {
 public:
  STDMETHODIMP QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) override;
  STDMETHODIMP GiveFeedback(DWORD dwEffect) override;

  // The component is going: OLE's later calls reach no state.
  void ComponentGone() { theState = nullptr; }

 protected:
  // aState is not owned; LiveCount is the counter of the concrete class.
  TKXDropSource(TDragSourceState* aState, LONG volatile& LiveCount);
  ~TKXDropSource() override;

 private:
  TDragSourceState* theState;
  LONG volatile& FLiveCount;
};

// IDataObject::EnumFormatEtc of a data object that offers Formats for reading: the out-pointer is
// nulled first; DATADIR_SET gives E_NOTIMPL, any other direction but DATADIR_GET E_INVALIDARG, and
// E_OUTOFMEMORY when the enumerator cannot be made.
HRESULT EnumFormatsForReading(DWORD dwDirection, IEnumFORMATETC** enumFormatEtc,
                              const std::vector<FORMATETC>& Formats) noexcept;

}  // namespace kestrix
