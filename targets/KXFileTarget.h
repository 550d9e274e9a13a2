#pragma once
// TKXFileTarget: makes a windowed control (its acceptor) accept dropped files, real ones (CF_HDROP
// name lists) and virtual ones (a file group descriptor naming items whose contents the source
// renders on request as "FileContents": mail attachments, a browser's image, files an application
// makes on demand). A drop gives one list; contents are read on request, item by item, into a
// stream or into a folder, for as long as the application keeps the drop: sources such as mail
// clients hand over contents only while their data object lives. When the source can finish a
// drop asynchronously, the drop is completed off the drag loop and the source learns the real
// effect when the application ends the drop.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/Streams.h"
#include "targets/KXGenericTarget.h"
#include "vocabulary/KXFileContents.h"

namespace kestrix {

class TFileDropTarget;

// One dropped item.
struct TKXDroppedFile {
  // A real file's full path; a virtual item's name as its descriptor gives it (possibly with
  // folders, and untrusted: SaveToFolder makes it safe, SaveFileToStream does not use it).
  std::wstring Name;
  bool IsVirtual = false;
  bool IsFolder = false;
  bool HasSize = false;
  std::uint64_t Size = 0;            // as stated (virtual) or found (real); never trusted for reading
  DWORD Attributes = 0;              // 0 when unknown
  FILETIME CreationTime{}, LastAccessTime{}, LastWriteTime{};  // zero when unknown
  int ContentsIndex = -1;            // the item's lindex for a virtual file
};

// What SaveToFolder did with one item.
enum TKXFileSaveResult {
  fsrNotSaved,      // not tried: no SaveToFolder since the drop, or no such item
  fsrSaved,         // written whole (a folder: made, and everything inside it copied)
  fsrSkipped,       // nothing to write: the same folder again
  fsrRefused,       // not a regular file or folder (a device, a pipe), or a folder that holds,
                    // is or lies inside the target folder, or nested too deep
  fsrTooLarge,      // more than MaxFileSize bytes
  fsrCancelled,     // a progress handler cancelled
  fsrSourceFailed,  // the source (or the file on disk) could not deliver the contents
  fsrWriteFailed,   // the target folder could not take the item
};

// Raised after a drop was taken, with the acceptor's client point. Asynchronous drops raise it
// from the acceptor's message loop after the source's drag loop has ended. An exception from it
// goes to Application->HandleException and ends the drop as failed (the source learns no effect).
using TKXFileDropType = std::function<void(TObject* Sender, vcl::TWinControl* Acceptor, int X, int Y)>;
// Raised while an item's contents are read: bytes so far and the total when known (else 0).
// Setting Cancel stops that item.
using TKXFileProgressType =
    std::function<void(TObject* Sender, int Index, std::uint64_t Done, std::uint64_t Total, bool& Cancel)>;

class KX_API TKXFileTarget : public TKXGenericTarget {
 public:
  explicit TKXFileTarget(TComponent* AOwner);
  ~TKXFileTarget() override;

  // ---- what is accepted (both by default) ----
  bool getAcceptRealFiles() const { return FAcceptRealFiles; }
  void setAcceptRealFiles(bool Value);
  bool getAcceptVirtualFiles() const { return FAcceptVirtualFiles; }
  void setAcceptVirtualFiles(bool Value);
  // The most bytes read for one item (4 GiB by default); a larger item fails to save.
  std::uint64_t getMaxFileSize() const { return FMaxFileSize; }
  void setMaxFileSize(std::uint64_t Value) { FMaxFileSize = Value; }

  // ---- the last drop ----
  int getFileCount() const;
  const TKXDroppedFile& getFile(int Index) const;  // EListError outside 0..FileCount-1
  // The drop's data object is still held (contents can be read) until EndDrop or the next drop.
  bool getDropOpen() const;
  // The source finishes this drop asynchronously (it asked to, and the drop was taken that way).
  bool getDropIsAsynchronous() const;

  // Copies one item's contents to Stream (from its position). A real file is read from disk; a
  // virtual one is asked of the source in whatever medium it offers. False when the item is a
  // folder, the drop is closed, the source fails, the item is larger than MaxFileSize, or a
  // progress handler cancels.
  bool SaveFileToStream(int Index, vcl::TStream& Stream);
  // Saves every item under Folder (created when missing): virtual items under their safe names
  // (never outside Folder; empty and duplicate names made unique; existing files are not
  // overwritten but get a unique name), folders created, real files and folders copied (never
  // moved). Returns how many files were saved whole, those inside copied folders included;
  // SavedPath tells where each item went, SaveResult what happened to it.
  int SaveToFolder(const std::wstring& Folder);
  // Where SaveToFolder put an item; empty when it was not saved.
  std::wstring getSavedPath(int Index) const;
  // What the last SaveToFolder did with an item (fsrNotSaved before one and out of range), and a
  // short English reason (empty for a saved item).
  TKXFileSaveResult getSaveResult(int Index) const;
  std::wstring getSaveResultText(int Index) const;
  // Done with the drop: the data object is released, and an asynchronous drop is ended with the
  // effect the drop reported (none when Succeeded is false). Also done by the next drop and when
  // the component goes.
  void EndDrop(bool Succeeded = true);

  // ---- events ----
  const TKXFileDropType& getOnDrop() const { return FOnDrop; }
  void setOnDrop(TKXFileDropType Value) { FOnDrop = std::move(Value); }
  const TKXFileProgressType& getOnProgress() const { return FOnProgress; }
  void setOnProgress(TKXFileProgressType Value) { FOnProgress = std::move(Value); }

 protected:
  bool HandleAcceptorMessage(vcl::TMessage& Message) override;

 private:
  TFileDropTarget* Target() const;
  // The reading's progress for item Index, through OnProgress.
  TFileContentsProgress ProgressOf(int Index);
  // Reads item Index into Stream: what happened, and why when it failed.
  TKXFileSaveResult SaveItemTo(int Index, vcl::TStream& Stream, std::wstring& Text);

  TKXFileDropType FOnDrop;
  TKXFileProgressType FOnProgress;
  bool FAcceptRealFiles = true;
  bool FAcceptVirtualFiles = true;
  std::uint64_t FMaxFileSize = std::uint64_t{4} << 30;
};

}  // namespace kestrix
