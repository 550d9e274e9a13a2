#pragma once
// TFileDataObject: the data object of a file drag. It offers virtual files as "FileGroupDescriptorW"
// and "FileGroupDescriptor" with "FileContents" per record, made on request by its component's
// producer, and real files as CF_HDROP, with "Preferred DropEffect"; keeps what others store
// through SetData; and lets a drop target finish the drop asynchronously (IAsyncOperation).
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "framework/ComObj.h"
#include "framework/Streams.h"
#include "sources/KXBaseDataObject.h"
#include "sources/KXDragSourceLoop.h"

namespace kestrix {

struct TVirtualFileEntry {
  std::wstring Name;  // may hold folders, separated by '\' (or '/')
  std::optional<std::uint64_t> Size;
};

// What one drag offers, fixed when its data object is made: a target finishing the drop later
// reads the same records, whatever the component's lists have become.
struct TFileDragItems {
  std::vector<TVirtualFileEntry> VirtualFiles;
  std::vector<std::wstring> Files;  // full paths
  std::uint64_t MaxGlobalSize = std::uint64_t{1} << 20;
  DWORD PreferredEffect = DROPEFFECT_COPY;
  bool Asynchronous = true;
};

// What a file data object asks of the component it renders for (TKXFileSource implements it).
class TFileDataOwner {
 public:
  // Where a handler's exception raised while rendering goes, and where the object registers to be
  // told when the component goes.
  virtual TDragSourceState& DragState() = 0;
  virtual TFileDragItems CurrentItems() = 0;
  // Writes virtual file Index into Contents; false when the component has no producer. Exceptions
  // of the producer propagate.
  virtual bool ProduceContents(int Index, vcl::TStream& Contents) = 0;
  virtual void AsyncOperationStarted() = 0;
  // AfterDropOwed: the drag's end was left to this call (see TFileDataObject::OweAfterDrop).
  virtual void AsyncOperationEnded(HRESULT Result, DWORD Effects, bool AfterDropOwed) = 0;

 protected:
  ~TFileDataOwner() = default;
};

// The descriptor holds one record per virtual file, in the order they were added, and no folder
// records: every folder a name holds is implied by its file, and readers index "FileContents"
// differently (the shell by record, Chromium by position among the file records, skipping
// folders), which only a descriptor of files alone makes agree. Names use '\' between folders,
// empty parts dropped.
//
// A target that releases the object between StartOperation and EndOperation ends the operation
// as failed with no effect (E_ABORT).
//
// When the component is destroyed while a target still holds the object (an asynchronous drop),
// the object still answers its descriptors, HDROP and preferred effect, and every "FileContents"
// request with E_FAIL: nothing is left to produce the contents.
class KX_API TFileDataObject : public TKXBaseDataObject {
 public:
  // A data object for the component's current files, with one reference for the caller (without
  // a component: one that offers nothing but "Preferred DropEffect"). TKXFileSource is the owner
  // that makes these.
  static TFileDataObject* createEx(TFileDataOwner* aComponent);
  // Objects of this class alive in the process.
  static LONG LiveCount();

  // What GetData renders (the rest of IDataObject and IAsyncOperation: see TKXBaseDataObject):
  // Descriptors, CF_HDROP and "Preferred DropEffect" on global memory. "FileContents" for the
  // lindex of a file record: a stream (from its start) when TYMED_ISTREAM is allowed, else global
  // memory when the item's size is known and at most MaxGlobalSize (DV_E_TYMED otherwise);
  // DV_E_LINDEX for -1 or an index past the records. A producer that throws
  // fails the request (E_OUTOFMEMORY, an OLE error's code, else E_UNEXPECTED) and hands out
  // nothing; its exception goes where the component's handler exceptions go. pUnkForRelease is
  // always null. QueryGetData of "FileContents" with lindex -1 answers whether any file record
  // exists.

  // The component's end of the drag (OnAfterDrop) waits for EndOperation.
  void OweAfterDrop() { FAfterDropOwed = true; }

 private:
  friend struct vcl::TComObjectFactory;
  struct TRecord {
    std::wstring Name;
    std::optional<std::uint64_t> Size;
    int VirtualIndex;  // -1: a folder
  };

  explicit TFileDataObject(TFileDataOwner* aComponent);
  ~TFileDataObject() override;

  // ---- TKXBaseDataObject ----
  std::vector<FORMATETC> OwnFormats() override;
  HRESULT Render(const FORMATETC& fe, STGMEDIUM& medium) override;
  bool CanRender(const FORMATETC& fe) override;
  // Its five formats, whatever this drag offers.
  bool RendersItself(CLIPFORMAT cf) override;
  // Nothing to keep: the records were fixed when the object was made.
  void KeepComponentsData() override { theComponent = nullptr; }
  void AsyncOperationStarted() override;
  void AsyncOperationEnded(HRESULT Result, DWORD Effects) override;

  // The record of a "FileContents" lindex that has contents, or null.
  const TRecord* ContentsRecord(LONG lindex) const;
  HRESULT RenderContents(const FORMATETC& fe, STGMEDIUM& medium);

  TFileDataOwner* theComponent;
  std::vector<TRecord> FRecords;
  std::string FDescriptorW, FDescriptorA, FHDROP;
  std::uint64_t FMaxGlobalSize;
  DWORD FPreferredEffect;
  bool FAfterDropOwed = false;
};

}  // namespace kestrix
