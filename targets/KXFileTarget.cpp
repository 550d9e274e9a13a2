#include "targets/KXFileTarget.h"

#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>

#include "formats/KXSafeNames.h"
#include "framework/Handles.h"
#include "targets/KXFileDropTarget.h"
#include "vocabulary/KXFileContents.h"

namespace kestrix {

namespace {

// Large reads keep a big item's copy close to the speed of copying the file.
constexpr size_t kChunk = size_t{1} << 20;

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }
std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

// Paths near MAX_PATH and beyond reach the file system in their extended form.
std::wstring Extended(const std::wstring& path) {
  if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0) return path;
  if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
  return L"\\\\?\\" + path;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) return {};
  full.resize(got);
  return full;
}

DWORD AttributesOf(const std::wstring& path) { return GetFileAttributesW(Extended(path).c_str()); }

// The folder's full path without a trailing separator, created when missing; empty when it cannot
// be made or is no folder.
std::wstring PrepareRoot(const std::wstring& folder) {
  if (folder.empty()) return {};
  std::wstring root = FullPath(folder);
  while (root.size() > 3 && root.back() == L'\\') root.pop_back();
  if (root.empty()) return {};
  SHCreateDirectoryExW(nullptr, root.c_str(), nullptr);
  const DWORD attributes = AttributesOf(root);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
  if (root.back() == L'\\') root.pop_back();  // a drive's root ("C:")
  return root;
}

// Whether path, made full, lies strictly inside root (and names no stream of a file).
bool IsInside(const std::wstring& root, const std::wstring& path) {
  const std::wstring full = FullPath(path);
  if (full.size() <= root.size() + 1 || full[root.size()] != L'\\') return false;
  if (CompareStringOrdinal(full.c_str(), static_cast<int>(root.size()), root.c_str(), static_cast<int>(root.size()), TRUE) != CSTR_EQUAL)
    return false;
  return full.find(L':', root.size()) == std::wstring::npos;
}

// Creates each folder of rel (components joined by '\') under root; an existing folder is used,
// a file or a link in the way fails.
bool EnsureFolders(const std::wstring& root, const std::wstring& rel) {
  std::wstring path = root;
  for (size_t start = 0; start < rel.size();) {
    size_t end = rel.find(L'\\', start);
    if (end == std::wstring::npos) end = rel.size();
    path += L'\\';
    path.append(rel, start, end - start);
    start = end + 1;
    if (!IsInside(root, path)) return false;
    CreateDirectoryW(Extended(path).c_str(), nullptr);
    const DWORD attributes = AttributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      return false;
  }
  return true;
}

// A new file in a folder under a name of its own, created so that it never replaces another, and
// deleted again unless it is committed under its final name.
class TPartialFile : public vcl::TStream {
 public:
  explicit TPartialFile(const std::wstring& folder) {
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100 && !FHandle; ++attempt) {
      wchar_t name[64];
      wsprintfW(name, L"\\~kx%lx-%lx.partial", GetCurrentProcessId(), InterlockedIncrement(&counter));
      FPath = folder + name;
      FHandle.Reset(CreateFileW(Extended(FPath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
      if (FHandle.Get() == INVALID_HANDLE_VALUE) FHandle.Release();
      if (!FHandle && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
  }
  ~TPartialFile() override {
    FHandle.Reset();
    if (!FCommitted && !FPath.empty()) DeleteFileW(Extended(FPath).c_str());
  }
  bool IsOpen() const { return static_cast<bool>(FHandle); }

  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void* Buffer, std::int64_t Count) override {
    std::int64_t total = 0;
    while (Count > total) {
      DWORD put = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::int64_t>(Count - total, 1 << 30));
      if (!WriteFile(FHandle.Get(), static_cast<const char*>(Buffer) + total, want, &put, nullptr) || put == 0) break;
      total += put;
    }
    return total;
  }
  std::int64_t Seek(std::int64_t Offset, vcl::TSeekOrigin Origin) override {
    static const DWORD methods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    LARGE_INTEGER distance, result;
    distance.QuadPart = Offset;
    return SetFilePointerEx(FHandle.Get(), distance, &result, methods[Origin]) ? result.QuadPart : -1;
  }

  // Closes the file with the given write time (none when zero) and moves it to Path, which must
  // not exist; false (the file kept for another try) when it does or the move fails.
  bool Commit(const std::wstring& Path, const FILETIME& WriteTime, bool& Exists) {
    if (FHandle) {
      if (WriteTime.dwLowDateTime || WriteTime.dwHighDateTime) SetFileTime(FHandle.Get(), nullptr, nullptr, &WriteTime);
      FHandle.Reset();
    }
    Exists = false;
    if (MoveFileExW(Extended(FPath).c_str(), Extended(Path).c_str(), 0)) return FCommitted = true;
    const DWORD error = GetLastError();
    Exists = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
    return false;
  }

 private:
  vcl::TUniqueKernelHandle FHandle;
  std::wstring FPath;
  bool FCommitted = false;
};

// Copies a file on disk into Out in large chunks; false when it cannot be opened, holds more than
// Limit bytes, or Progress cancels.
bool CopyFileTo(const std::wstring& path, vcl::TStream& out, std::uint64_t limit, const TFileContentsProgress& progress) {
  std::optional<vcl::TFileStream> source;
  try {
    source.emplace(path, vcl::fmOpenRead | vcl::fmShareDenyWrite);
  } catch (const vcl::EFOpenError&) {
    return false;
  }
  const std::uint64_t total = static_cast<std::uint64_t>(std::max<std::int64_t>(source->Size(), 0));
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (std::uint64_t done = 0;;) {
    const std::int64_t n = source->Read(buffer.get(), static_cast<std::int64_t>(kChunk));
    if (n <= 0) return true;
    if (static_cast<std::uint64_t>(n) > limit - done) return false;
    out.WriteBuffer(buffer.get(), n);
    done += static_cast<std::uint64_t>(n);
    if (progress && !progress(done, total)) return false;
  }
}

struct TFindCloseTraits { static void Close(HANDLE h) { FindClose(h); } };
using TFindHandle = vcl::TUniqueHandle<HANDLE, TFindCloseTraits>;

// Calls visit(found) for each entry of a folder but "." and "..".
template <class F>
void ForEachEntry(const std::wstring& folder, F&& visit) {
  WIN32_FIND_DATAW found;
  HANDLE first = FindFirstFileW(Extended(folder + L"\\*").c_str(), &found);
  if (first == INVALID_HANDLE_VALUE) return;
  TFindHandle search(first);
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L"..") visit(found);
  } while (FindNextFileW(search.Get(), &found));
}

// Writes files and folders under one folder of the application's choice, never outside it and
// never over anything: names are claimed unique within the drop and against the disk.
class TFolderWriter {
 public:
  explicit TFolderWriter(std::wstring root) : FRoot(std::move(root)) {
    // What the folder already holds is never given to an item.
    if (Ready()) ForEachEntry(FRoot, [this](const WIN32_FIND_DATAW& f) { FNames.Reserve(U16(f.cFileName)); });
  }
  bool Ready() const { return !FRoot.empty(); }
  const std::wstring& Root() const { return FRoot; }
  bool MakeFolder(const std::wstring& rel) { return EnsureFolders(FRoot, rel); }

  // Writes one file at rel (its last name made unique; Fallback when rel is empty) from what
  // read puts in the stream; the final path, or empty when read failed or no name could be had.
  template <class Read>
  std::wstring Write(const std::wstring& rel, const std::wstring& fallback, const FILETIME& writeTime, Read&& read) {
    const size_t slash = rel.rfind(L'\\');
    const std::wstring parent = slash == std::wstring::npos ? std::wstring() : rel.substr(0, slash);
    if (!EnsureFolders(FRoot, parent)) return {};
    TPartialFile partial(parent.empty() ? FRoot : FRoot + L"\\" + parent);
    if (!partial.IsOpen()) return {};
    bool complete = false;
    try {
      complete = read(static_cast<vcl::TStream&>(partial));
    } catch (const vcl::EStreamError&) {
      complete = false;  // the disk refused the bytes: this item fails, the others go on
    }
    if (!complete) return {};
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const std::wstring path = FRoot + L"\\" + Wide(FNames.Claim(U16(rel), U16(fallback)));
      if (!IsInside(FRoot, path)) return {};
      if (AttributesOf(path) != INVALID_FILE_ATTRIBUTES) continue;  // already on disk: the next name
      bool exists = false;
      if (partial.Commit(path, writeTime, exists)) return path;
      if (!exists) return {};  // made in the meantime: the next name; anything else fails the item
    }
    return {};
  }

  // Copies the files and folders inside a folder on disk to rel (which exists); how many files.
  // Links are not followed, and a folder that holds the destination is not copied into itself.
  int CopyTree(const std::wstring& source, const std::wstring& rel, std::uint64_t limit,
               const TFileContentsProgress& progress, int depth = 0) {
    const std::wstring full = FullPath(source);
    if (depth > 64 || full.empty() || IsInside(full, FRoot) || CompareStringOrdinal(full.c_str(), -1, FRoot.c_str(), -1, TRUE) == CSTR_EQUAL)
      return 0;
    int count = 0;
    ForEachEntry(full, [&](const WIN32_FIND_DATAW& f) {
      if (f.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return;
      const std::wstring name = Wide(blocks::SafeNameComponent(U16(f.cFileName)));
      if (name.empty()) return;
      const std::wstring from = full + L"\\" + f.cFileName, to = rel + L"\\" + name;
      if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (MakeFolder(to)) count += CopyTree(from, to, limit, progress, depth + 1);
      } else if (!Write(to, L"", f.ftLastWriteTime, [&](vcl::TStream& out) { return CopyFileTo(from, out, limit, progress); }).empty()) {
        ++count;
      }
    });
    return count;
  }

 private:
  std::wstring FRoot;
  blocks::TUniqueNames FNames;
};

// The component reads the open drop's contents while it lives.
class TReading {
 public:
  explicit TReading(TFileDropTarget& Target) : FTarget(Target) { FTarget.BeginReading(); }
  TReading(const TReading&) = delete;
  TReading& operator=(const TReading&) = delete;
  ~TReading() { FTarget.EndReading(); }

 private:
  TFileDropTarget& FTarget;
};

}  // namespace

TKXFileTarget::TKXFileTarget(TComponent* AOwner) : TKXGenericTarget(AOwner) {
  SetDropTarget(vcl::MakeComObject<TFileDropTarget>(this));
}

TKXFileTarget::~TKXFileTarget() {
  if (Target()) Target()->EndDrop(true);
}

TFileDropTarget* TKXFileTarget::Target() const { return static_cast<TFileDropTarget*>(DropTargetObject()); }

void TKXFileTarget::setAcceptRealFiles(bool Value) {
  if (Value == FAcceptRealFiles) return;
  FAcceptRealFiles = Value;
  Target()->ReevaluateAcceptance();
}

void TKXFileTarget::setAcceptVirtualFiles(bool Value) {
  if (Value == FAcceptVirtualFiles) return;
  FAcceptVirtualFiles = Value;
  Target()->ReevaluateAcceptance();
}

int TKXFileTarget::getFileCount() const { return static_cast<int>(Target()->Files().size()); }

const TKXDroppedFile& TKXFileTarget::getFile(int Index) const {
  if (Index < 0 || Index >= getFileCount()) throw vcl::EListError(vcl::Format(L"List index out of bounds (%d)", Index));
  return Target()->Files()[static_cast<size_t>(Index)];
}

bool TKXFileTarget::getDropOpen() const { return Target()->DropOpen(); }

bool TKXFileTarget::getDropIsAsynchronous() const { return Target()->DropIsAsynchronous(); }

void TKXFileTarget::EndDrop(bool Succeeded) { Target()->EndDrop(Succeeded); }

std::wstring TKXFileTarget::getSavedPath(int Index) const {
  const std::vector<std::wstring>& saved = Target()->SavedPaths();
  return Index >= 0 && static_cast<size_t>(Index) < saved.size() ? saved[static_cast<size_t>(Index)] : std::wstring();
}

bool TKXFileTarget::HandleAcceptorMessage(vcl::TMessage& Message) {
  if (Message.Msg != TFileDropTarget::DeferredDropMessage() || Message.Msg == 0) return false;
  Target()->CompleteDrop(Message.WParam);
  return true;
}

TFileContentsProgress TKXFileTarget::ProgressOf(int Index) {
  return [this, Index](std::uint64_t Done, std::optional<std::uint64_t> Total) {
    bool cancel = false;
    if (FOnProgress) FOnProgress(this, Index, Done, Total.value_or(0), cancel);
    return !cancel;
  };
}

bool TKXFileTarget::SaveFileToStream(int Index, vcl::TStream& Stream) {
  if (Index < 0 || Index >= getFileCount() || !getDropOpen()) return false;
  const TReading reading(*Target());
  const TKXDroppedFile& file = getFile(Index);
  if (file.IsFolder) return false;
  // Held here: a progress handler may end the drop while the source renders.
  const vcl::TComPtr<IDataObject> data(Target()->DropData());
  if (file.IsVirtual)
    return ReadFileContents(data.Get(), file.ContentsIndex, Stream, FMaxFileSize, ProgressOf(Index)) ==
           TFileContentsResult::Read;
  return CopyFileTo(file.Name, Stream, FMaxFileSize, ProgressOf(Index));
}

int TKXFileTarget::SaveToFolder(const std::wstring& Folder) {
  std::vector<std::wstring>& saved = Target()->SavedPaths();
  saved.assign(static_cast<size_t>(getFileCount()), std::wstring());
  if (!getDropOpen()) return 0;
  const TReading reading(*Target());
  TFolderWriter writer(PrepareRoot(Folder));
  if (!writer.Ready()) return 0;
  int count = 0, unnamed = 0;
  for (int i = 0; i < getFileCount(); ++i) {
    const TKXDroppedFile& file = getFile(i);
    // A real item keeps its own name; a virtual item's name may carry folders of the drop.
    std::wstring name = file.Name;
    if (!file.IsVirtual) name.erase(0, name.find_last_of(L"\\/") + 1);
    const std::wstring rel = Wide(blocks::SafeRelativePath(U16(name)));
    if (file.IsFolder) {
      if (rel.empty() || !writer.MakeFolder(rel)) continue;
      saved[i] = writer.Root() + L"\\" + rel;
      if (!file.IsVirtual) count += writer.CopyTree(file.Name, rel, FMaxFileSize, ProgressOf(i));
      continue;
    }
    const std::wstring fallback = rel.empty() ? L"File " + std::to_wstring(++unnamed) : std::wstring();
    saved[i] = writer.Write(rel, fallback, file.LastWriteTime, [&](vcl::TStream& out) { return SaveFileToStream(i, out); });
    if (!saved[i].empty()) ++count;
  }
  return count;
}

}  // namespace kestrix
