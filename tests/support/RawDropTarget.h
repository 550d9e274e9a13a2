#pragma once
// A drop target written with nothing but raw OLE (no library types), standing for a foreign
// application's window: it records the calls it gets and what it reads at the drop. Used in the
// test process (another window) and by the peer program kx_peer_droptarget (another process).
#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <string>
#include <vector>

namespace kxtest {

// One GetData made at the drop, and what came back.
struct RawRead {
  CLIPFORMAT cfFormat = 0;
  DWORD tymed = TYMED_HGLOBAL;  // asked for
  LONG lindex = -1;
  HRESULT hr = E_FAIL;
  DWORD gotTymed = 0;
  // TYMED_HGLOBAL: every byte of the block (its full size; empty for a null handle).
  // TYMED_ISTREAM: the stream's bytes from its start. TYMED_ISTORAGE: the element names, each
  // followed by '\n'. TYMED_GDI: BitmapPixels32 of the bitmap. TYMED_ENHMF: the metafile's bytes.
  // TYMED_MFPICT: mm, xExt and yExt of the METAFILEPICT as three 32-bit integers, then the bytes
  // of its Windows metafile.
  std::string bytes;
  bool nullHandle = false;
  // With SetReleaseByHand: every handle of the medium was freed by the call its kind takes
  // (GlobalFree, DeleteObject, DeleteEnhMetaFile, DeleteMetaFile) and the call succeeded.
  bool freedByHand = false;
};

// A bitmap as a 40-byte BITMAPINFOHEADER of a top-down 32-bit DIB followed by its pixel rows;
// empty when the bitmap cannot be read.
std::string BitmapPixels32(HBITMAP bitmap);
// The bytes of an enhanced or a Windows metafile; empty for none.
std::string EnhMetaFileBytes(HENHMETAFILE emf);
std::string MetaFileBytes(HMETAFILE wmf);

// Names a format for reading at the drop: a standard id, or a registered name.
RawRead ReadRequest(CLIPFORMAT cf, DWORD tymed = TYMED_HGLOBAL, LONG lindex = -1);
RawRead ReadRequest(const std::wstring& registeredName, DWORD tymed = TYMED_HGLOBAL, LONG lindex = -1);

class RawDropTarget : public IDropTarget {
 public:
  // answer: the effects the target is willing to take; each DragEnter/DragOver answers the part of
  // it that the source allows (so DROPEFFECT_COPY | DROPEFFECT_LINK may answer both).
  explicit RawDropTarget(DWORD answer = DROPEFFECT_COPY);

  // IUnknown / IDropTarget, counted with interlocked operations; starts with one reference for
  // the creator.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;
  STDMETHODIMP DragOver(DWORD keys, POINTL pt, DWORD* effect) override;
  STDMETHODIMP DragLeave() override;
  STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL pt, DWORD* effect) override;

  HRESULT Register(HWND wnd);
  void Revoke();

  // What to read at the drop; CF_UNICODETEXT and CF_TEXT on global memory unless replaced.
  void SetReads(std::vector<RawRead> reads) { FReads = std::move(reads); }
  void SetAnswer(DWORD answer) { FAnswer = answer; }
  // Frees each medium read at the drop by hand, as a receiver that owns it may, instead of
  // through ReleaseStgMedium (only media without pUnkForRelease; others are released as usual).
  void SetReleaseByHand(bool byHand) { FByHand = byHand; }
  // Keeps a reference on the dropped data object after Drop (TakeDataObject hands it over).
  void SetKeepDataObject(bool keep) { FKeep = keep; }
  // At the drop, after reading, tells the source what it did as the shell's targets do: a DWORD
  // in "Performed DropEffect" through SetData (0 for nothing to tell); performedStored is the
  // HRESULT of that SetData.
  void SetPerformedEffect(DWORD performed) { FPerformed = performed; }
  // What Drop answers when it is not the answer of DragOver: a target that moved the data itself
  // answers none, so that the source does not delete it (the shell's optimized move).
  void SetDropAnswer(DWORD answer) {
    FDropAnswer = answer;
    FDropAnswerSet = true;
  }
  IDataObject* TakeDataObject();
  // Asynchronous drop: when the data object reports async mode, Drop calls StartOperation, keeps
  // the object and returns without reading; CompleteAsync later reads and calls EndOperation.
  void SetAsync(bool async) { FAsync = async; }
  // Reads every file of the drag's "FileGroupDescriptorW" after the reads set above, as the shell
  // does (FileContents by record index) or as Chromium does (by position among the file records,
  // folder records skipped); each arrives in `files`.
  enum class ContentsIndexing { None, ByRecord, AmongFiles };
  void SetContentsIndexing(ContentsIndexing indexing) { FIndexing = indexing; }
  bool AsyncPending() const { return FAsyncData != nullptr; }
  void CompleteAsync();

  // ---- what happened (counters may be read from another thread) ----
  std::atomic<int> enters{0}, overs{0}, leaves{0}, drops{0};
  std::atomic<DWORD> lastAnswer{0};
  HRESULT performedStored = E_NOTIMPL;
  DWORD allowedAtEnter = 0;      // the source's allowed effects as DragEnter saw them
  DWORD keysAtDrop = 0;
  DWORD dropEffect = 0;          // what Drop answered
  bool dataAsyncMode = false;    // the data object reported async mode at the drop
  bool startedAsync = false;     // StartOperation was called
  std::vector<FORMATETC> enumerated;  // the data object's EnumFormatEtc(DATADIR_GET) at DragEnter
  std::vector<RawRead> reads;    // filled at the drop (or by CompleteAsync)
  struct ContentsRead {
    std::wstring name;  // the file record's name
    RawRead read;       // its FileContents, asked by the indexing's lindex
  };
  std::vector<ContentsRead> files;

  // Convenience over `reads`: the text of the first successful read of the format, up to its
  // first terminator (bounded by the block size).
  bool Has(CLIPFORMAT cf) const;
  std::wstring UnicodeText() const;
  std::string AnsiText() const;
  const RawRead* Find(CLIPFORMAT cf) const;

 private:
  virtual ~RawDropTarget();
  DWORD Answer(DWORD allowed) const;
  void ReadAll(IDataObject* data);
  void ReadFiles(IDataObject* data);

  LONG volatile FRefs = 1;
  HWND FWnd = nullptr;
  DWORD FAnswer;
  std::vector<RawRead> FReads;
  bool FKeep = false;
  bool FByHand = false;
  bool FAsync = false;
  ContentsIndexing FIndexing = ContentsIndexing::None;
  DWORD FPerformed = 0;
  DWORD FDropAnswer = 0;
  bool FDropAnswerSet = false;
  IDataObject* FKept = nullptr;
  IDataObject* FAsyncData = nullptr;
};

// Result lines of a drop target for a file or a pipe ("key=value", values hex for bytes; a read is
// keyed "read.<format>.<tymed>", with ".<lindex>" added for an item other than -1; a file of
// SetContentsIndexing as "file.<n>.name" (UTF-16 hex), "file.<n>.lindex" and "file.<n>.bytes"), and back. Used by the peer program and by tests that read what it wrote.
std::string FormatRawResult(const RawDropTarget& t);
std::string HexOf(const std::string& bytes);
std::string BytesFromHex(const std::string& hex);

}  // namespace kxtest
