#pragma once
// The drag feedback that the text and the picture drop targets share: taking the data object at
// DragEnter, the acceptance flag, the effect choice from the key state and the allowed effects,
// the component's effect override, and the drag events.
#include <windows.h>
#include <ole2.h>

#include <functional>

#include "framework/ComObj.h"
#include "vocabulary/KXComps.h"

namespace kestrix {

class TKXGenericTarget;

class KX_API TKXDropTargetBase : public vcl::TInterfacedObjectImpl<IDropTarget> {
 public:
  STDMETHODIMP DragEnter(IDataObject* dataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;
  STDMETHODIMP DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;
  STDMETHODIMP DragLeave() override;

  // Whether the current data object offers a format the component accepts.
  virtual bool AcceptsCurrentFormats() = 0;
  // Chooses the effect from the key state among the allowed effects in dwEffect; false (and
  // dwEffect 0) when the format is not accepted or no allowed effect fits.
  bool QueryDrop(DWORD grfKeyState, DWORD& dwEffect, POINTL pt);

  // The owning component is going: later calls from OLE (a reference someone still holds) refuse
  // every drag and reach no component.
  virtual void OwnerGone();

  // Drag state, read by the owning component.
  TDropEffects FAvailableDropEffects;
  vcl::TComPtr<IDataObject> FDataObj;
  bool FAcceptFormat = false;
  TDropEffects FEffects;

 protected:
  // LinkAllowed: whether link is chosen without modifier keys and allowed when Ctrl+Shift ask.
  TKXDropTargetBase(TKXGenericTarget* aOwner, bool LinkAllowed);
  // Replaces the chosen effect by the owner's override; an override the source does not allow
  // becomes deNone. Returns the final effect and sets FEffects and dwEffect.
  TDropEffect ApplyEffectOverride(DWORD& dwEffect);
  // Ends the drag on the target's side: no data object, no available effects.
  void EndDrag();
  // Probes the current data object for one format (QueryGetData answering S_OK exactly).
  bool Offers(UINT cfFormat, DWORD tymed) const;
  bool HasOwner() const { return theOwnerBase != nullptr; }
  // Runs a callback of the application (an event): an exception it raises goes to the
  // application's exception handler instead of into OLE.
  void RaiseEvent(const std::function<void()>& Event);

 private:
  TKXGenericTarget* theOwnerBase;
  bool FLinkAllowed;
};

}  // namespace kestrix
