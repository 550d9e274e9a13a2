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
#include "sources/KXBaseDragSource.h"
#include "sources/KXDragSourceLoop.h"
#include "sources/KXFileDataObject.h"
#include "vocabulary/KXComps.h"

namespace kestrix {

// Writes one virtual file's contents into Contents. Called only when a target asks for that item,
// possibly after Execute has returned (an asynchronous drop). An exception fails that request:
// the target gets an error, never partial contents as complete.
using TKXGetFileContentsType = std::function<void(TObject* Sender, int Index, vcl::TStream& Contents)>;
using TKXFileAfterDropType = std::function<void(TObject* Sender, bool DroppedOK)>;

class KX_API TKXFileSource : public TKXBaseDragSource, public TFileDataOwner {
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

  // ---- published properties (and those of TKXBaseDragSource) ----
  // Targets may finish the drop asynchronously (on by default, as reading contents may be slow).
  using TKXBaseDragSource::getAsynchronous;
  using TKXBaseDragSource::setAsynchronous;
  // Items of at most this known size are also offered as global memory (1 MiB by default).
  std::uint64_t getMaxGlobalSize() const { return FMaxGlobalSize; }
  void setMaxGlobalSize(std::uint64_t Value) { FMaxGlobalSize = Value; }
  // DragImage null: the first names of the files, rendered.

  // ---- public properties (and those of TKXBaseDragSource) ----
  using TKXBaseDragSource::getDropWasAsynchronous;
  // True from the target's StartOperation to its EndOperation.
  using TKXBaseDragSource::getInAsyncOperation;
  // PerformedEffect: also EndOperation's effect of an asynchronous drop.

  // ---- events (and those of TKXBaseDragSource) ----
  const TKXGetFileContentsType& getOnGetContents() const { return FOnGetContents; }
  void setOnGetContents(TKXGetFileContentsType Value) { FOnGetContents = std::move(Value); }
  const TKXFileAfterDropType& getOnAfterDrop() const { return FOnAfterDrop; }
  void setOnAfterDrop(TKXFileAfterDropType Value) { FOnAfterDrop = std::move(Value); }
  using TKXBaseDragSource::getOnStartAsyncOperation;
  using TKXBaseDragSource::setOnStartAsyncOperation;
  using TKXBaseDragSource::getOnEndAsyncOperation;
  using TKXBaseDragSource::setOnEndAsyncOperation;

 private:
  // ---- what it drags (TKXBaseDragSource) ----
  vcl::TComPtr<TKXBaseDataObject> MakeDataObject() override;
  // Nothing when the list is empty; each virtual file is made when a program pastes it.
  vcl::TComPtr<IDataObject> MakeClipboardData() override;
  void AfterDrop(bool DroppedOK) override;
  HBITMAP DefaultDragImage() override;
  // A target still working when DoDragDrop returns owes the drag its end (EndOperation).
  void DragReturned(TKXBaseDataObject& Data, bool Dropped) override;

  // ---- what its data objects ask (TFileDataOwner) ----
  TDragSourceState& DragState() override { return FDrag; }
  TFileDragItems CurrentItems() override;
  bool ProduceContents(int Index, vcl::TStream& Contents) override;
  void AsyncOperationStarted() override { AsyncStarted(); }
  void AsyncOperationEnded(HRESULT Result, DWORD Effects, bool AfterDropOwed) override;

  std::vector<TVirtualFileEntry> FVirtualFiles;
  std::vector<std::wstring> FFiles;
  TKXGetFileContentsType FOnGetContents;
  TKXFileAfterDropType FOnAfterDrop;
  std::uint64_t FMaxGlobalSize = std::uint64_t{1} << 20;
  // EndOperation's effects when a target ended its asynchronous drop inside the drag loop.
  std::optional<TDropEffects> FEndedInDrag;
};

}  // namespace kestrix
