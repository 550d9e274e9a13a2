#pragma once
// TFileDropTarget: the OLE drop-target object behind a TKXFileTarget. It accepts a drag that
// offers a file list (CF_HDROP) or a file group descriptor with "FileContents", builds the drop's
// list of items at Drop, and keeps the drop open (the data object held) until the component ends
// it, so that contents can be read after Drop has returned. A source that can finish a drop
// asynchronously (IAsyncOperation) is told so at Drop, OnDrop then runs from the acceptor's
// message loop, and the source learns the result when the drop is ended.
#include <windows.h>

#include <string>
#include <vector>

#include "targets/KXDropTargetBase.h"
#include "targets/KXFileTarget.h"
#include "vocabulary/KXMiscIntf.h"

namespace kestrix {

class KX_API TFileDropTarget : public TKXDropTargetBase {
 public:
  bool AcceptsCurrentFormats() override;
  bool ReadsFileNames() override { return true; }
  void OwnerGone() override;
  STDMETHODIMP Drop(IDataObject* dataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override;

  // ---- the last drop, for the component ----
  const std::vector<TKXDroppedFile>& Files() const { return FFiles; }
  // Where SaveToFolder put each item (empty: not saved); cleared by the next drop.
  std::vector<std::wstring>& SavedPaths() { return FSavedPaths; }
  // What SaveToFolder did with each item, and why; cleared by the next drop.
  struct TSaveOutcome {
    TKXFileSaveResult Result = fsrNotSaved;
    std::wstring Text;
  };
  std::vector<TSaveOutcome>& SaveOutcomes() { return FSaveOutcomes; }
  // The open drop's data object (null once the drop is ended).
  IDataObject* DropData() const { return FDropData.Get(); }
  bool DropOpen() const { return static_cast<bool>(FDropData); }
  bool DropIsAsynchronous() const { return FAsynchronous; }
  // While the component reads the drop's contents (its progress handler may pump messages), new
  // drops are refused, so that the list being saved stays the same.
  void BeginReading() { ++FReading; }
  void EndReading() { --FReading; }
  // Releases the data object; an asynchronous drop learns its result (once).
  void EndDrop(bool Succeeded);
  // The deferred step, run by the component for the message Drop posted: raises OnDrop. A wParam
  // that is not the token of the drop waiting for it is ignored (false).
  bool CompleteDrop(WPARAM Token);
  // The window message of the deferred step ("KXFileTargetDrop").
  static UINT DeferredDropMessage();

 private:
  friend struct vcl::TComObjectFactory;
  explicit TFileDropTarget(TKXFileTarget* aOwner);
  ~TFileDropTarget() override;

  HRESULT DoDrop(DWORD grfKeyState, POINTL pt, DWORD& dwEffect);
  // The items of the current drag: real files when accepted and listed, else virtual ones.
  std::vector<TKXDroppedFile> ReadDroppedItems() const;
  std::vector<TKXDroppedFile> ReadRealFiles() const;
  std::vector<TKXDroppedFile> ReadVirtualFiles() const;
  bool OffersFileContents() const;
  // Whether the drag's file list (Real) or file group descriptors were fetched and name no item.
  bool ListsNoItem(bool Real) const;
  // Raises OnDrop for the open drop; a handler that raises ends the drop as failed (false).
  bool RaiseDrop();

  TKXFileTarget* theOwner;
  std::vector<TKXDroppedFile> FFiles;
  std::vector<std::wstring> FSavedPaths;
  std::vector<TSaveOutcome> FSaveOutcomes;
  vcl::TComPtr<IDataObject> FDropData;     // the open drop's data object
  vcl::TComPtr<IAsyncOperation> FAsync;    // set while an asynchronous drop waits for its end
  bool FAsynchronous = false;
  DWORD FDropEffect = DROPEFFECT_NONE;     // what Drop reported for the open drop
  vcl::TPoint FDropPoint;
  WPARAM FPendingToken = 0;                // the deferred step posted and not yet run
  WPARAM FLastToken = 0;
  int FReading = 0;
};

}  // namespace kestrix
