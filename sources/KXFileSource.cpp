#include "sources/KXFileSource.h"

#include <utility>

#include "package/KXConsts.h"
#include "sources/KXFileDataObject.h"
#include "vocabulary/KXDragImage.h"

namespace kestrix {

namespace {

LONG volatile liveDropSources = 0;

class TFileDropSource : public TKXDropSource {
 public:
  explicit TFileDropSource(TDragSourceState* aState) : TKXDropSource(aState, liveDropSources) {}
};

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

TKXFileSource::TKXFileSource(TComponent* AOwner)
    : TKXBaseComponent(AOwner), TKXClipboardSource(this), theDropSource(vcl::MakeComObject<TFileDropSource>(&FDrag)) {
  FDrag.DefaultDragImage = [this] { return TextDragImage(DragImageText(FVirtualFiles, FFiles)); };
}

TKXFileSource::~TKXFileSource() {
  ClipboardComponentGone();  // flushed (file names; virtual files are left out) while it can render
  // A target finishing an asynchronous drop keeps its data object, which must not reach us.
  FDrag.ReadersComponentGone();
  theDropSource->ComponentGone();
}

int TKXFileSource::AddVirtualFile(const std::wstring& Name, std::optional<std::uint64_t> Size) {
  if (Name.find_first_not_of(L"\\/") == std::wstring::npos) throw vcl::Exception(res::sVirtualFileNeedsName);
  FVirtualFiles.push_back({Name, Size});
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
  items.Asynchronous = FAsynchronous;
  return items;
}

bool TKXFileSource::Execute() {
  if ((FVirtualFiles.empty() && FFiles.empty()) || FDrag.Active) return false;
  TActiveScope active(FDrag);

  auto data = vcl::TComPtr<TFileDataObject>::Attach(TFileDataObject::createEx(this));
  FEndedInDrag.reset();
  const HRESULT hr = RunDragLoop(FDrag, data.Get(), theDropSource.Get());
  const bool dropped = hr == DRAGDROP_S_DROP;
  FDropWasAsynchronous = data->AsyncOperationWasStarted();
  if (FEndedInDrag) FDrag.PerformedEffects = *FEndedInDrag;

  BOOL inOperation = FALSE;
  data->InOperation(&inOperation);
  if (dropped && inOperation) data->OweAfterDrop();  // the target's EndOperation ends this drag
  else if (dropped) AfterDrop(FEndedInDrag ? !NoEffect(*FEndedInDrag) : !NoEffect(FDrag.ReturnedEffects));
  data.Reset();  // a target still working keeps its own reference
  return dropped || hr == DRAGDROP_S_CANCEL;
}

vcl::TComPtr<IDataObject> TKXFileSource::MakeClipboardData() {
  if (FVirtualFiles.empty() && FFiles.empty()) return {};
  // The records are fixed now; each virtual file's contents are made when a program pastes it.
  return vcl::TComPtr<IDataObject>(vcl::TComPtr<TFileDataObject>::Attach(TFileDataObject::createEx(this)));
}

void TKXFileSource::AfterDrop(bool DroppedOK) {
  if (FOnAfterDrop) FOnAfterDrop(this, DroppedOK);
}

bool TKXFileSource::ProduceContents(int Index, vcl::TStream& Contents) {
  if (!FOnGetContents) return false;
  FOnGetContents(this, Index, Contents);
  return true;
}

void TKXFileSource::AsyncOperationStarted() {
  FInAsyncOperation = true;
  if (FOnStartAsyncOperation) FOnStartAsyncOperation(this);
}

void TKXFileSource::AsyncOperationEnded(HRESULT Result, DWORD Effects, bool AfterDropOwed) {
  FInAsyncOperation = false;
  const TDropEffects performed = SUCCEEDED(Result) ? setFromDropEffect(Effects) : TDropEffects{deNone};
  if (FDrag.Active) FEndedInDrag = performed;
  else FDrag.PerformedEffects = performed;
  if (FOnEndAsyncOperation) FOnEndAsyncOperation(this);
  if (AfterDropOwed) AfterDrop(!NoEffect(performed));
}

}  // namespace kestrix
