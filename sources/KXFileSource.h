#pragma once
// TKXFileSource: drags files out of an application, virtual ones (named now, their contents made
// on demand when a target asks for that item: a report not yet written, an attachment held in
// memory) and real ones on disk. Virtual files go out as "FileGroupDescriptorW" and
// "FileGroupDescriptor" with "FileContents" per item (a stream, and global memory for small
// items), real files as CF_HDROP. The data object lets a target finish the drop asynchronously,
// so a slow producer does not freeze the target's drag loop.
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/ComObj.h"
#include "framework/Streams.h"
#include "sources/KXDragSourceLoop.h"
#include "sources/KXFileDataObject.h"
#include "vocabulary/KXComps.h"

namespace kestrix {

// Writes one virtual file's contents into Contents. Called only when a target asks for that item,
// possibly after Execute has returned (an asynchronous drop). An exception fails that request:
// the target gets an error, never partial contents as complete.
using TKXGetFileContentsType = std::function<void(TObject* Sender, int Index, vcl::TStream& Contents)>;
using TKXFileAfterDropType = std::function<void(TObject* Sender, bool DroppedOK)>;

class KX_API TKXFileSource : public TKXBaseComponent, public TFileDataOwner {
 public:
  explicit TKXFileSource(TComponent* AOwner);
  ~TKXFileSource() override;

  // ---- what is dragged ----
  // A virtual file: Name may hold folders ("Reports\\May.csv"); Size is put in the descriptor
  // when known. Returns its index, as passed to OnGetContents. The name is made safe as a target
  // makes a descriptor's names (drive and UNC prefixes and empty parts dropped, forbidden
  // characters '_', device names prefixed, trailing dots and blanks removed). Raises
  // vcl::Exception for a name with a ".." part or with nothing left.
  int AddVirtualFile(const std::wstring& Name, std::optional<std::uint64_t> Size = {});
  // A real file or folder on disk, offered by its full path as CF_HDROP.
  void AddFile(const std::wstring& Path);
  void Clear();
  int getVirtualFileCount() const;
  int getFileCount() const;  // real files

  // Starts a modal OLE drag of the listed files. True when the drag ran to a drop or a cancel;
  // false when there was nothing to drag, a drag was already running, or OLE failed. An exception
  // from a handler inside the drag loop cancels the drag and is rethrown here.
  bool Execute();

  // ---- published properties ----
  TDropEffects getDropEffects() const { return FDrag.DropEffects; }
  void setDropEffects(TDropEffects Value) { FDrag.DropEffects = Value; }
  vcl::TMouseButton getMouseButton() const { return FDrag.MouseButton; }
  void setMouseButton(vcl::TMouseButton Value) { FDrag.MouseButton = Value; }
  // Targets may finish the drop asynchronously (on by default, as reading contents may be slow).
  bool getAsynchronous() const { return FAsynchronous; }
  void setAsynchronous(bool Value) { FAsynchronous = Value; }
  // Items of at most this known size are also offered as global memory (1 MiB by default).
  std::uint64_t getMaxGlobalSize() const { return FMaxGlobalSize; }
  void setMaxGlobalSize(std::uint64_t Value) { FMaxGlobalSize = Value; }
  bool getShowDragImage() const { return FDrag.ShowDragImage; }
  void setShowDragImage(bool Value) { FDrag.ShowDragImage = Value; }
  HBITMAP getDragImage() const { return FDrag.DragImage; }
  void setDragImage(HBITMAP Value) { FDrag.DragImage = Value; }

  // ---- public properties ----
  bool getActive() const { return FDrag.Active; }
  void SetExplicitCancel(bool Value) { FDrag.ExplicitCancel = Value; }
  bool getDropWasAsynchronous() const { return FDropWasAsynchronous; }
  // True from the target's StartOperation to its EndOperation.
  bool getInAsyncOperation() const { return FInAsyncOperation; }
  TDropEffect getReturnedEffect() const { return singleEffectFromSet(FDrag.ReturnedEffects); }
  // What the target says it did ("Performed DropEffect", or EndOperation's effect of an
  // asynchronous drop); ReturnedEffect when it says nothing.
  TDropEffect getPerformedEffect() const { return singleEffectFromSet(FDrag.PerformedEffects); }

  // ---- events ----
  const TKXGetFileContentsType& getOnGetContents() const { return FOnGetContents; }
  void setOnGetContents(TKXGetFileContentsType Value) { FOnGetContents = std::move(Value); }
  const TKXFileAfterDropType& getOnAfterDrop() const { return FOnAfterDrop; }
  void setOnAfterDrop(TKXFileAfterDropType Value) { FOnAfterDrop = std::move(Value); }
  const TKXGiveFeedbackType& getOnGiveFeedback() const { return FDrag.OnGiveFeedback; }
  void setOnGiveFeedback(TKXGiveFeedbackType Value) { FDrag.OnGiveFeedback = std::move(Value); }
  const TNotifyEvent& getOnCancelDrop() const { return FDrag.OnCancelDrop; }
  void setOnCancelDrop(TNotifyEvent Value) { FDrag.OnCancelDrop = std::move(Value); }
  const TNotifyEvent& getOnStartAsyncOperation() const { return FOnStartAsyncOperation; }
  void setOnStartAsyncOperation(TNotifyEvent Value) { FOnStartAsyncOperation = std::move(Value); }
  // Raised when the target ends an asynchronous drop, possibly after Execute has returned.
  const TNotifyEvent& getOnEndAsyncOperation() const { return FOnEndAsyncOperation; }
  void setOnEndAsyncOperation(TNotifyEvent Value) { FOnEndAsyncOperation = std::move(Value); }

 private:
  TDragSourceState& DragState() override { return FDrag; }
  TFileDragItems CurrentItems() override;
  bool ProduceContents(int Index, vcl::TStream& Contents) override;
  void AsyncOperationStarted() override;
  void AsyncOperationEnded(HRESULT Result, DWORD Effects, bool AfterDropOwed) override;
  void AfterDrop(bool DroppedOK);

  TDragSourceState FDrag{this};
  std::vector<TVirtualFileEntry> FVirtualFiles;
  std::vector<std::wstring> FFiles;
  TKXGetFileContentsType FOnGetContents;
  TKXFileAfterDropType FOnAfterDrop;
  TNotifyEvent FOnStartAsyncOperation;
  TNotifyEvent FOnEndAsyncOperation;
  std::uint64_t FMaxGlobalSize = std::uint64_t{1} << 20;
  // EndOperation's effects when a target ended its asynchronous drop inside the drag loop.
  std::optional<TDropEffects> FEndedInDrag;
  vcl::TComPtr<TKXDropSource> theDropSource;
  bool FAsynchronous = true;
  bool FDropWasAsynchronous = false;
  bool FInAsyncOperation = false;
};

}  // namespace kestrix
