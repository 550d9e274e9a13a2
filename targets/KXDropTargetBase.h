#pragma once
// The drag feedback that the text and the picture drop targets share: taking the data object at
// DragEnter, the acceptance flag, the effect choice from the key state and the allowed effects,
// the component's effect override, and the drag events.
#include <windows.h>
#include <ole2.h>

#include <functional>

#include "framework/ComObj.h"
#include "framework/Handles.h"
#include "vocabulary/KXComps.h"
#include "vocabulary/KXDragImage.h"

namespace kestrix {

class TKXGenericTarget;

class KX_API TKXDropTargetBase : public vcl::TInterfacedObjectImpl<IDropTarget> {
 public:
  STDMETHODIMP DragEnter(IDataObject* dataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;
  STDMETHODIMP DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;
  STDMETHODIMP DragLeave() override;

  // Whether the current data object offers a format the component accepts.
  virtual bool AcceptsCurrentFormats() = 0;
  // Whether a drop of the current data object would only read files (their names, or a virtual
  // file's contents): then no key held chooses copy (or link) before move, so that a file manager
  // is never told its files moved.
  virtual bool ReadsFileNames() { return false; }
  // Chooses the effect from the key state among the allowed effects in dwEffect; false (and
  // dwEffect 0) when the format is not accepted or no allowed effect fits.
  bool QueryDrop(DWORD grfKeyState, DWORD& dwEffect, POINTL pt);

  // The owning component is going: later calls from OLE (a reference someone still holds) refuse
  // every drag and reach no component.
  virtual void OwnerGone();

  // ---- what the owning component reads and tells ----
  // The effect last reported to OLE.
  TDropEffect CurrentEffect() const { return singleEffectFromSet(FEffects); }
  // The current drag's data object and the effects its source allows; empty outside a drag.
  const vcl::TComPtr<IDataObject>& CurrentDataObject() const { return FDataObj; }
  TDropEffects AvailableDropEffects() const { return FAvailableDropEffects; }
  // The component's acceptance of the current drag: forced (SetAcceptAllFormatsQuery) ...
  void SetAccepting(bool Value) { FAcceptFormat = Value; }
  // ... or evaluated again after the component changed what it accepts.
  void ReevaluateAcceptance();

  // ---- paste: the drop path over the clipboard's data object ----
  // Whether Data offers a format the component accepts (QueryGetData only); a drag in progress
  // keeps its data object.
  bool CanPaste(IDataObject* Data);
  // Drops Data as if dragged with no keys held, the source allowing Allowed: the same choice of
  // effect, fetch, decoding, results and OnDrop. The effect reported, DROPEFFECT_NONE when nothing
  // was taken.
  DWORD Paste(IDataObject* Data, DWORD Allowed);
  // A paste (or its probe) is running: the data object is the clipboard's, whose EnumFormatEtc
  // is not to be relied on, and events report the point (-1, -1).
  bool Pasting() const { return FPasting; }

 protected:
  // LinkAllowed: whether link is chosen without modifier keys and allowed when Ctrl+Shift ask.
  // Made with vcl::MakeComObject by the owning component, which holds the first reference.
  TKXDropTargetBase(TKXGenericTarget* aOwner, bool LinkAllowed);
  // Replaces the chosen effect by the owner's override; an override the source does not allow
  // becomes deNone. Returns the final effect and reports it (and sets dwEffect).
  TDropEffect ApplyEffectOverride(DWORD& dwEffect);
  // Reports no effect: a drop that is not completed.
  void ReportNoEffect() { FEffects = setFromDropEffect(DROPEFFECT_NONE); }
  // Ends the drag on the target's side: no data object, no available effects.
  void EndDrag();
  // Takes the data object OLE hands to Drop again (the one of DragEnter).
  void TakeDropDataObject(IDataObject* dataObj);
  // Probes the current data object for one format (QueryGetData answering S_OK exactly).
  bool Offers(UINT cfFormat, DWORD tymed) const;
  // Fetches one format of the current data object into medium; E_UNEXPECTED outside a drag.
  HRESULT Fetch(UINT cfFormat, DWORD tymed, vcl::TStgMedium& medium) const;
  bool HasOwner() const { return theOwnerBase != nullptr; }
  // The shell's drop-target helper for this drag (drag images of other applications).
  TDropTargetImages& Images() { return FImages; }
  // Runs a callback of the application (an event): an exception it raises goes to the
  // application's exception handler instead of into OLE. False when it raised one.
  bool RaiseEvent(const std::function<void()>& Event);

 private:
  TKXGenericTarget* theOwnerBase;
  bool FLinkAllowed;
  TDropEffects FAvailableDropEffects;
  vcl::TComPtr<IDataObject> FDataObj;
  bool FAcceptFormat = false;
  bool FReadsFileNames = false;
  TDropEffects FEffects;
  TDropTargetImages FImages;
  bool FPasting = false;
};

}  // namespace kestrix
