#include "targets/KXFileDropTarget.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "formats/KXFileGroupBlock.h"
#include "formats/KXUtil.h"
#include "framework/Handles.h"
#include "targets/KXTextDropTarget.h"
#include "vocabulary/KXFileContents.h"

namespace kestrix {

namespace {

constexpr DWORD kContentsMedia = TYMED_ISTREAM | TYMED_HGLOBAL | TYMED_ISTORAGE;

FILETIME FileTimeOf(std::uint64_t value) {
  return {static_cast<DWORD>(value & 0xFFFFFFFFu), static_cast<DWORD>(value >> 32)};
}

}  // namespace

namespace {

// A name in the case the file system compares names in (CompareStringOrdinal's upper case).
std::wstring FoldedName(std::wstring_view name) {
  std::wstring folded(name);
  if (!folded.empty()) CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

struct TFindCloseTraits { static void Close(HANDLE h) { FindClose(h); } };
using TFindHandle = vcl::TUniqueHandle<HANDLE, TFindCloseTraits>;

// What the file system says about each dropped name. Many names in one folder (a whole folder
// selected) are looked up in one listing of that folder; other names are asked for one by one.
class TAttributeLookup {
 public:
  explicit TAttributeLookup(const std::vector<std::wstring>& names) {
    constexpr size_t kListFrom = 32;
    // Folded folder -> how many names it has, and its spelling in the list.
    std::unordered_map<std::wstring, std::pair<size_t, std::wstring_view>> perFolder;
    for (const std::wstring& name : names) {
      const size_t slash = name.find_last_of(L"\\/");
      if (slash == std::wstring::npos || slash + 1 == name.size()) continue;
      const std::wstring_view folder = std::wstring_view(name).substr(0, slash);
      auto& seen = perFolder.try_emplace(FoldedName(folder), 0, folder).first->second;
      ++seen.first;
    }
    for (const auto& [folded, seen] : perFolder)
      if (seen.first >= kListFrom) List(folded, std::wstring(seen.second));
  }

  bool Find(const std::wstring& name, WIN32_FILE_ATTRIBUTE_DATA& found) const {
    const size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash + 1 < name.size()) {
      const auto listing = FListings.find(FoldedName(std::wstring_view(name).substr(0, slash)));
      if (listing != FListings.end()) {
        if (!listing->second) return false;  // the folder does not exist: nothing in it does
        const std::wstring_view leaf = std::wstring_view(name).substr(slash + 1);
        const auto entry = listing->second->find(FoldedName(leaf));
        if (entry != listing->second->end()) return found = entry->second, true;
        // A plain long name the listing does not hold does not exist.
        if (leaf.find_first_of(L"~:*?") == std::wstring_view::npos && leaf.back() != L'.' && leaf.back() != L' ') return false;
      }
    }
    // Not listed, or a spelling the listing does not show (a short name, a stream): asked alone.
    return GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &found) != 0;
  }

 private:
  using TEntries = std::unordered_map<std::wstring, WIN32_FILE_ATTRIBUTE_DATA>;

  void List(const std::wstring& folded, const std::wstring& folder) {
    WIN32_FIND_DATAW f;
    HANDLE first = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &f, FindExSearchNameMatch, nullptr, 0);
    if (first == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_PATH_NOT_FOUND) FListings.emplace(folded, std::nullopt);
      return;  // else each name is asked for alone
    }
    TFindHandle search(first);
    TEntries entries;
    do {
      entries.emplace(FoldedName(f.cFileName), WIN32_FILE_ATTRIBUTE_DATA{f.dwFileAttributes, f.ftCreationTime, f.ftLastAccessTime,
                                                                         f.ftLastWriteTime, f.nFileSizeHigh, f.nFileSizeLow});
    } while (FindNextFileW(search.Get(), &f));
    FListings.emplace(folded, std::move(entries));
  }

  std::unordered_map<std::wstring, std::optional<TEntries>> FListings;  // folded folder -> its entries
};

}  // namespace

UINT TFileDropTarget::DeferredDropMessage() {
  static const UINT message = RegisterWindowMessageW(L"KXFileTargetDrop");
  return message;
}

TFileDropTarget::TFileDropTarget(TKXFileTarget* aOwner) : TKXDropTargetBase(aOwner, false), theOwner(aOwner) {}

TFileDropTarget::~TFileDropTarget() { EndDrop(true); }

void TFileDropTarget::OwnerGone() {
  EndDrop(true);
  theOwner = nullptr;
  TKXDropTargetBase::OwnerGone();
}

bool TFileDropTarget::OffersFileContents() const {
  if (Offers(CF_FILECONTENTS, kContentsMedia)) return true;
  if (Pasting()) return false;  // the clipboard's format list is not to be relied on
  // Some sources answer QueryGetData only for a real item index; their format list still shows it.
  vcl::TComPtr<IEnumFORMATETC> formats;
  if (!CurrentDataObject() || FAILED(CurrentDataObject()->EnumFormatEtc(DATADIR_GET, formats.Put())) || !formats)
    return false;
  FORMATETC fe;
  for (ULONG got = 0; formats->Next(1, &fe, &got) == S_OK && got == 1;) {
    if (fe.ptd) CoTaskMemFree(fe.ptd);
    if (fe.cfFormat == CF_FILECONTENTS) return true;
  }
  return false;
}

bool TFileDropTarget::AcceptsCurrentFormats() {
  if (!CurrentDataObject() || !theOwner || FReading) return false;
  const bool real = theOwner->getAcceptRealFiles() && Offers(CF_HDROP, TYMED_HGLOBAL);
  const bool virtuals = theOwner->getAcceptVirtualFiles() &&
                        (Offers(CF_FILEGROUPDESCRIPTORW, TYMED_HGLOBAL) || Offers(CF_FILEGROUPDESCRIPTOR, TYMED_HGLOBAL)) &&
                        OffersFileContents();
  // A drag whose lists can be read now and name nothing would drop nothing: refused while it
  // drags, so the user sees no promise. A list a source renders only at the drop is taken on trust.
  return (real && !ListsNoItem(true)) || (virtuals && !ListsNoItem(false));
}

bool TFileDropTarget::ListsNoItem(bool Real) const {
  if (Real) {
    vcl::TStgMedium medium;
    if (FAILED(Fetch(CF_HDROP, TYMED_HGLOBAL, medium)) || medium->tymed != TYMED_HGLOBAL) return false;
    const std::vector<std::wstring> names = DroppedFileList(medium->hGlobal);
    return std::all_of(names.begin(), names.end(), [](const std::wstring& n) { return n.empty(); });
  }
  bool fetched = false;
  for (const bool wide : {true, false}) {
    const std::string block = FileGroupDescriptorBlock(CurrentDataObject().Get(), wide);
    if (!blocks::ReadFileGroup(block, wide).empty()) return false;
    fetched = fetched || !block.empty();
  }
  return fetched;
}

std::vector<TKXDroppedFile> TFileDropTarget::ReadRealFiles() const {
  vcl::TStgMedium medium;
  if (FAILED(Fetch(CF_HDROP, TYMED_HGLOBAL, medium)) || medium->tymed != TYMED_HGLOBAL) return {};
  std::vector<std::wstring> names = DroppedFileList(medium->hGlobal);
  const TAttributeLookup attributes(names);
  std::vector<TKXDroppedFile> files;
  files.reserve(names.size());
  for (std::wstring& name : names) {
    if (name.empty()) continue;
    TKXDroppedFile file;
    WIN32_FILE_ATTRIBUTE_DATA found;
    if (attributes.Find(name, found)) {
      file.Attributes = found.dwFileAttributes;
      file.IsFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      file.HasSize = !file.IsFolder;
      file.Size = file.HasSize ? (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow : 0;
      file.CreationTime = found.ftCreationTime;
      file.LastAccessTime = found.ftLastAccessTime;
      file.LastWriteTime = found.ftLastWriteTime;
    }
    file.Name = std::move(name);
    files.push_back(std::move(file));
  }
  return files;
}

std::vector<TKXDroppedFile> TFileDropTarget::ReadVirtualFiles() const {
  // The Unicode descriptor names every item exactly; the ANSI one only as far as the code page can.
  for (const bool wide : {true, false}) {
    const std::string block = FileGroupDescriptorBlock(CurrentDataObject().Get(), wide);
    const std::vector<blocks::TFileGroupRecord> records = blocks::ReadFileGroup(block, wide);
    if (records.empty()) continue;
    std::vector<TKXDroppedFile> files;
    for (size_t i = 0; i < records.size(); ++i) {
      const blocks::TFileGroupRecord& r = records[i];
      const std::string name(blocks::Slice(block, r.Name));
      TKXDroppedFile file;
      file.Name = wide ? UnicodeStringFromEncodedAnsiString(name) : vcl::UnicodeFromAnsi(name);
      file.IsVirtual = true;
      file.IsFolder = r.IsFolder();
      file.HasSize = r.HasSize();
      file.Size = r.Size;
      file.Attributes = r.HasAttributes() ? r.Attributes : 0;
      file.CreationTime = FileTimeOf(r.CreationTime);
      file.LastAccessTime = FileTimeOf(r.LastAccessTime);
      file.LastWriteTime = FileTimeOf(r.LastWriteTime);
      file.ContentsIndex = static_cast<int>(i);
      files.push_back(std::move(file));
    }
    return files;
  }
  return {};
}

namespace {

// The first component of a descriptor's name, the last of a full path.
std::wstring_view FirstComponent(std::wstring_view name) { return name.substr(0, name.find_first_of(L"\\/")); }
std::wstring_view LastComponent(std::wstring_view path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}
}  // namespace

std::vector<TKXDroppedFile> TFileDropTarget::ReadDroppedItems() const {
  std::vector<TKXDroppedFile> files;
  if (theOwner->getAcceptRealFiles()) files = ReadRealFiles();
  if (!theOwner->getAcceptVirtualFiles() || !OffersFileContents()) return files;
  std::vector<TKXDroppedFile> virtuals = ReadVirtualFiles();
  // Browsers and the shell describe the same things both ways: a temporary file in CF_HDROP and
  // the item under its real name (a browser's image), or a folder and its contents. When the
  // descriptor holds as many top-level items as CF_HDROP names, they are those items again, and
  // the real files are taken once; unless the source says its virtual files are items of their
  // own beside the real ones. Names are looked up by hash, so that long lists stay linear.
  const size_t real = files.size();
  std::unordered_set<std::wstring> tops;
  for (const TKXDroppedFile& file : virtuals) {
    tops.insert(FoldedName(FirstComponent(file.Name)));
    if (tops.size() > real) break;  // more items than real files: not the same ones
  }
  if (real > 0 && tops.size() == real && !Offers(FilesBesideRealFormat(), TYMED_HGLOBAL)) return files;
  // Otherwise a virtual item under a name the real files already have is that item again (the
  // shell offers some items both ways); virtual items of other names are files of their own.
  std::unordered_set<std::wstring> realNames;
  realNames.reserve(real);
  for (const TKXDroppedFile& r : files) realNames.insert(FoldedName(LastComponent(r.Name)));
  for (TKXDroppedFile& file : virtuals) {
    if (!realNames.count(FoldedName(FirstComponent(file.Name)))) files.push_back(std::move(file));
  }
  return files;
}

STDMETHODIMP TFileDropTarget::Drop(IDataObject* dataObj, DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) {
  if (!pdwEffect) return E_INVALIDARG;
  if (!theOwner) {
    *pdwEffect = DROPEFFECT_NONE;
    return S_OK;
  }
  // OnDrop may free the component, and with it the last other reference on this object.
  vcl::TComPtr<IDropTarget> self(this);
  TakeDropDataObject(dataObj);
  HRESULT hr = vcl::ComBoundary([&] { return DoDrop(grfKeyState, pt, *pdwEffect); });
  if (FAILED(hr)) {
    *pdwEffect = DROPEFFECT_NONE;
    ReportNoEffect();
  }
  Images().Drop(dataObj, pt, *pdwEffect);
  EndDrag();
  return hr;
}

HRESULT TFileDropTarget::DoDrop(DWORD grfKeyState, POINTL pt, DWORD& dwEffect) {
  if (!QueryDrop(grfKeyState, dwEffect, pt)) return S_OK;
  if (FReading) {
    dwEffect = DROPEFFECT_NONE;
    ReportNoEffect();
    return S_OK;
  }
  ApplyEffectOverride(dwEffect);
  if (dwEffect == DROPEFFECT_NONE) return S_OK;

  EndDrop(true);  // the previous drop, if the application left it open
  FAsynchronous = false;
  FDropData = CurrentDataObject();
  FDropEffect = dwEffect;
  FDropPoint = theOwner->AcceptorClientPoint(pt);

  // A source that can wait is told before its lists are read: some render them only once the
  // operation has started (a browser's download makes its CF_HDROP then). The drop then completes
  // from the acceptor's message loop, outside the source's drag loop.
  vcl::TComPtr<IAsyncOperation> async = FDropData.As<IAsyncOperation>();
  BOOL canWait = FALSE;
  vcl::TWinControl* acceptor = theOwner->getAcceptorControl();
  HWND wnd = acceptor ? acceptor->Handle() : nullptr;
  if (async && wnd && SUCCEEDED(async->GetAsyncMode(&canWait)) && canWait && SUCCEEDED(async->StartOperation(nullptr))) {
    FAsync = std::move(async);
    FAsynchronous = true;
  }
  try {
    FFiles = ReadDroppedItems();
  } catch (...) {
    EndDrop(false);  // a started operation ends once, with no effect
    FAsynchronous = false;
    throw;
  }
  FSavedPaths.assign(FFiles.size(), std::wstring());
  FSaveOutcomes.assign(FFiles.size(), TSaveOutcome{});
  if (FFiles.empty()) {
    EndDrop(false);
    FAsynchronous = false;
    dwEffect = DROPEFFECT_NONE;
    ReportNoEffect();
    return S_OK;
  }
  if (FAsynchronous) {
    // Tokens are never 0 and never repeat within the object's life.
    FPendingToken = ++FLastToken;
    if (PostMessageW(wnd, DeferredDropMessage(), FPendingToken, 0)) return S_OK;
    FPendingToken = 0;  // no deferred step will come: complete the drop here
  }
  if (!RaiseDrop()) {
    // The handler failed, so it may not have taken the files: the source must not act on the drop.
    dwEffect = DROPEFFECT_NONE;
    ReportNoEffect();
  }
  return S_OK;
}

bool TFileDropTarget::RaiseDrop() {
  if (!theOwner || !theOwner->getOnDrop()) return true;
  TKXFileTarget* owner = theOwner;
  const vcl::TPoint p = FDropPoint;
  if (RaiseEvent([&] { owner->getOnDrop()(owner, owner->getAcceptorControl(), p.X, p.Y); })) return true;
  EndDrop(false);
  return false;
}

bool TFileDropTarget::CompleteDrop(WPARAM Token) {
  if (Token == 0 || Token != FPendingToken || !theOwner) return false;
  vcl::TComPtr<IDropTarget> self(this);
  FPendingToken = 0;
  RaiseDrop();
  return true;
}

void TFileDropTarget::EndDrop(bool Succeeded) {
  // A drop whose deferred OnDrop never ran was never taken by the application: whatever ends it
  // (the next drop, the component's end), the source learns that nothing was done.
  if (FPendingToken != 0) Succeeded = false;
  FPendingToken = 0;
  // Taken out first: the source's EndOperation may call back into the application.
  vcl::TComPtr<IAsyncOperation> async = std::move(FAsync);
  vcl::TComPtr<IDataObject> data = std::move(FDropData);
  const DWORD effect = std::exchange(FDropEffect, DROPEFFECT_NONE);
  if (async) async->EndOperation(Succeeded ? S_OK : E_FAIL, nullptr, Succeeded ? effect : DROPEFFECT_NONE);
}

}  // namespace kestrix
