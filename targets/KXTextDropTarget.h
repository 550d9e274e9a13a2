#pragma once
// TTextDropTarget: the OLE drop-target object behind a TKXTextTarget. It accepts a drag when the
// data object offers a text kind the component accepts, and on Drop fetches the first accepted
// format in the order custom formats, URL, bookmark, HTML, rich text, files, Unicode text, text.
#include "targets/KXDropTargetBase.h"

namespace kestrix {

class TKXTextTarget;

class KX_API TTextDropTarget : public TKXDropTargetBase {
 public:
  // Takes one reference for the owning component.
  explicit TTextDropTarget(TKXTextTarget* aOwner);

  bool AcceptsCurrentFormats() override;
  void OwnerGone() override;
  STDMETHODIMP Drop(IDataObject* dataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;

  // The text of the last drop, as handed to OnDrop.
  const std::wstring& getString() const { return theString; }

 private:
  HRESULT DoDrop(DWORD grfKeyState, POINTL pt, DWORD& dwEffect);
  void TakeURLTitle(UINT fetchedFormat);

  TKXTextTarget* theOwner;
  std::wstring theString;
};

}  // namespace kestrix
