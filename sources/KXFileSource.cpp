#include "sources/KXFileSource.h"

#include <algorithm>
#include <string>
#include <utility>

#include "formats/KXSafeNames.h"
#include "package/KXConsts.h"
#include "sources/KXFileDataObject.h"
#include "vocabulary/KXDragImage.h"

namespace kestrix {

namespace {

// The names a drag image shows: the first few, and how many more there are.
std::wstring DragImageText(const std::vector<TVirtualFileEntry>& VirtualFiles, const std::vector<std::wstring>& Files) {
  constexpr size_t kShown = 4;
  std::vector<std::wstring> names;
  for (const TVirtualFileEntry& file : VirtualFiles) names.push_back(file.Name);
  for (const std::wstring& path : Files) names.push_back(path.substr(path.find_last_of(L"\\/") + 1));
  std::wstring text;
  for (size_t i = 0; i < names.size() && i < kShown; ++i) text += (i ? L"\r\n" : L"") + names[i];
  if (names.size() > kShown) text += L"\r\n(+" + std::to_wstring(names.size() - kShown) + L")";
  return text;
}

}  // namespace

TKXFileSource::TKXFileSource(TComponent* AOwner) : TKXBaseDragSource(AOwner) { setAsynchronous(true); }

// A target finishing an asynchronous drop keeps its data object, which must not reach us.
TKXFileSource::~TKXFileSource() { ComponentGoing(); }

HBITMAP TKXFileSource::DefaultDragImage() { return TextDragImage(DragImageText(FVirtualFiles, FFiles)); }

int TKXFileSource::AddVirtualFile(const std::wstring& Name, std::optional<std::uint64_t> Size) {
  // The rules a target applies to a descriptor's names (formats/KXSafeNames.h), so that every
  // reader finds the same safe name; a name that climbs out of where it is dropped is refused.
  for (size_t start = 0; start <= Name.size();) {
    const size_t end = std::min(Name.find_first_of(L"\\/", start), Name.size());
    if (Name.compare(start, end - start, L"..") == 0) throw vcl::Exception(res::sVirtualFileClimbsOut);
    start = end + 1;
  }
  const std::u16string safe = blocks::SafeRelativePath(std::u16string(Name.begin(), Name.end()));
  if (safe.empty()) throw vcl::Exception(res::sVirtualFileNeedsName);
  FVirtualFiles.push_back({std::wstring(safe.begin(), safe.end()), Size});
  return static_cast<int>(FVirtualFiles.size()) - 1;
}

void TKXFileSource::AddFile(const std::wstring& Path) { FFiles.push_back(Path); }

void TKXFileSource::Clear() {
  FVirtualFiles.clear();
  FFiles.clear();
}

int TKXFileSource::getVirtualFileCount() const { return static_cast<int>(FVirtualFiles.size()); }

int TKXFileSource::getFileCount() const { return static_cast<int>(FFiles.size()); }

TFileDragItems TKXFileSource::CurrentItems() {
  TFileDragItems items;
  items.VirtualFiles = FVirtualFiles;
  items.Files = FFiles;
  items.MaxGlobalSize = FMaxGlobalSize;
  // Contents made for the drop are the target's to keep: copy unless the application allows
  // nothing but other effects.
  const DWORD allowed = dropEffectFromSet(FDrag.DropEffects);
  items.PreferredEffect = (allowed & DROPEFFECT_COPY) ? DWORD{DROPEFFECT_COPY} : allowed;
  items.Asynchronous = getAsynchronous();
  return items;
}

bool TKXFileSource::Execute() {
  if (FVirtualFiles.empty() && FFiles.empty()) return false;
  return ExecuteDrag();
}

vcl::TComPtr<TKXBaseDataObject> TKXFileSource::MakeDataObject() {
  FEndedInDrag.reset();
  return vcl::TComPtr<TKXBaseDataObject>::Attach(TFileDataObject::createEx(this));
}

vcl::TComPtr<IDataObject> TKXFileSource::MakeClipboardData() {
  if (FVirtualFiles.empty() && FFiles.empty()) return {};
  return TKXBaseDragSource::MakeClipboardData();
}

void TKXFileSource::DragReturned(TKXBaseDataObject& Data, bool Dropped) {
  FDropWasAsynchronous = Data.AsyncOperationWasStarted();
  if (FEndedInDrag) FDrag.PerformedEffects = *FEndedInDrag;
  BOOL inOperation = FALSE;
  Data.InOperation(&inOperation);
  if (Dropped && inOperation) static_cast<TFileDataObject&>(Data).OweAfterDrop();  // EndOperation ends this drag
  else if (Dropped) AfterDrop(FEndedInDrag ? !NoEffect(*FEndedInDrag) : DropSucceeded(FDrag));
}

void TKXFileSource::AfterDrop(bool DroppedOK) {
  if (FOnAfterDrop) FOnAfterDrop(this, DroppedOK);
}

bool TKXFileSource::ProduceContents(int Index, vcl::TStream& Contents) {
  if (!FOnGetContents) return false;
  FOnGetContents(this, Index, Contents);
  return true;
}

void TKXFileSource::AsyncOperationEnded(HRESULT Result, DWORD Effects, bool AfterDropOwed) {
  const TDropEffects performed = SUCCEEDED(Result) ? setFromDropEffect(Effects) : TDropEffects{deNone};
  if (FDrag.Active) FEndedInDrag = performed;
  else FDrag.PerformedEffects = performed;
  AsyncEnded();
  if (AfterDropOwed) AfterDrop(!NoEffect(performed));
}

}  // namespace kestrix
