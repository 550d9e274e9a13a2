#include "targets/KXFileDropTarget.h"

#include <algorithm>
#include <string_view>
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
  if (theOwner->getAcceptRealFiles() && Offers(CF_HDROP, TYMED_HGLOBAL)) return true;
  return theOwner->getAcceptVirtualFiles() &&
         (Offers(CF_FILEGROUPDESCRIPTORW, TYMED_HGLOBAL) || Offers(CF_FILEGROUPDESCRIPTOR, TYMED_HGLOBAL)) &&
         OffersFileContents();
}

std::vector<TKXDroppedFile> TFileDropTarget::ReadRealFiles() const {
  vcl::TStgMedium medium;
  if (FAILED(Fetch(CF_HDROP, TYMED_HGLOBAL, medium)) || medium->tymed != TYMED_HGLOBAL) return {};
  std::vector<TKXDroppedFile> files;
  for (std::wstring& name : DroppedFileList(medium->hGlobal)) {
    if (name.empty()) continue;
    TKXDroppedFile file;
    WIN32_FILE_ATTRIBUTE_DATA found;
    if (GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &found)) {
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
bool SameName(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
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
  // own beside the real ones.
  const size_t real = files.size();
  std::vector<std::wstring_view> tops;
  for (const TKXDroppedFile& file : virtuals) {
    const std::wstring_view top = FirstComponent(file.Name);
    if (std::none_of(tops.begin(), tops.end(), [&](std::wstring_view t) { return SameName(t, top); })) tops.push_back(top);
  }
  if (real > 0 && tops.size() == real && !Offers(FilesBesideRealFormat(), TYMED_HGLOBAL)) return files;
  // Otherwise a virtual item under a name the real files already have is that item again (the
  // shell offers some items both ways); virtual items of other names are files of their own.
  for (TKXDroppedFile& file : virtuals) {
    const std::wstring_view top = FirstComponent(file.Name);
    const bool again = std::any_of(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(real),
                                   [&](const TKXDroppedFile& r) { return SameName(LastComponent(r.Name), top); });
    if (!again) files.push_back(std::move(file));
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
    throw;
  }
  FSavedPaths.assign(FFiles.size(), std::wstring());
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
  FPendingToken = 0;
  // Taken out first: the source's EndOperation may call back into the application.
  vcl::TComPtr<IAsyncOperation> async = std::move(FAsync);
  vcl::TComPtr<IDataObject> data = std::move(FDropData);
  const DWORD effect = std::exchange(FDropEffect, DROPEFFECT_NONE);
  if (async) async->EndOperation(Succeeded ? S_OK : E_FAIL, nullptr, Succeeded ? effect : DROPEFFECT_NONE);
}

}  // namespace kestrix
