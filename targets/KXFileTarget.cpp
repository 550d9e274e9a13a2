#include "targets/KXFileTarget.h"

#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

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

bool SameText(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

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

using TSaveOutcome = TFileDropTarget::TSaveOutcome;

TSaveOutcome Outcome(TKXFileSaveResult result, const wchar_t* text = nullptr) {
  static const wchar_t* const texts[] = {L"not saved",
                                         L"",
                                         L"skipped",
                                         L"refused: not a regular file or folder",
                                         L"larger than the most bytes allowed for one item",
                                         L"cancelled",
                                         L"the source could not deliver the contents",
                                         L"the target folder could not take the item"};
  return {result, text ? text : texts[result]};
}

TSaveOutcome OutcomeOf(TFileContentsResult result) {
  switch (result) {
    case TFileContentsResult::Read: return Outcome(fsrSaved);
    case TFileContentsResult::TooLarge: return Outcome(fsrTooLarge);
    case TFileContentsResult::Cancelled: return Outcome(fsrCancelled);
    case TFileContentsResult::NotOffered: return Outcome(fsrSourceFailed, L"the source offers no contents for the item");
    case TFileContentsResult::Failed: break;
  }
  return Outcome(fsrSourceFailed);
}

// Why a real item's path names no file or folder that may be opened (a device, a pipe or mail
// slot here or on another machine, a volume); null when it may. Decided on the spelling alone, so
// that nothing a source names is opened that could block or act as a device.
const wchar_t* DevicePathReason(const std::wstring& path) {
  std::wstring unc;  // "\\?\UNC\server\share" as "\\server\share"
  std::wstring_view p = path;
  const auto startsWith = [&](std::wstring_view prefix) {
    return p.size() >= prefix.size() &&
           CompareStringOrdinal(p.data(), static_cast<int>(prefix.size()), prefix.data(), static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
  };
  const bool driveFollows = [&] {
    return p.size() >= 7 && p[5] == L':' && (p[6] == L'\\' || p[6] == L'/') && iswalpha(p[4]);
  }();
  if (startsWith(L"\\\\.\\") || startsWith(L"\\\\?\\") || startsWith(L"\\??\\")) {
    if (driveFollows) {
      p.remove_prefix(4);
    } else if (startsWith(L"\\\\?\\UNC\\")) {
      unc = L"\\\\" + path.substr(8);
      p = unc;
    } else {
      return L"refused: a device or volume, not a file";
    }
  }
  if (p.size() >= 2 && (p[0] == L'\\' || p[0] == L'/') && (p[1] == L'\\' || p[1] == L'/')) {
    // \\server\pipe\... and \\server\mailslot\... open a pipe or slot, not a share's file.
    const std::wstring_view rest = p.substr(2);
    const size_t slash = rest.find_first_of(L"\\/");
    const std::wstring_view share = slash == std::wstring_view::npos ? std::wstring_view() : rest.substr(slash + 1, rest.find_first_of(L"\\/", slash + 1) - slash - 1);
    if (SameText(share, L"pipe") || SameText(share, L"mailslot")) return L"refused: a pipe, not a file";
  }
  for (size_t start = 0; start < p.size();) {
    size_t end = p.find_first_of(L"\\/", start);
    if (end == std::wstring_view::npos) end = p.size();
    const std::wstring_view part = p.substr(start, end - start);
    if (!part.empty() && blocks::NamesDevice(std::u16string(part.begin(), part.end())))
      return L"refused: a device name, not a file";
    start = end + 1;
  }
  return nullptr;
}

// A file's identity on its volume: the same whatever spelling, link or drive mapping reached it.
struct TFileIdentity {
  DWORD Volume = 0;
  std::uint64_t Index = 0;
  bool operator==(const TFileIdentity&) const = default;
};

// What a folder (or file) on disk is: its identity and its final path ("C:\a\b", from the file
// system's own view); nothing when it cannot be opened.
struct TDiskFacts {
  TFileIdentity Identity;
  std::wstring FinalPath;
};

std::optional<TDiskFacts> FactsOf(const std::wstring& path) {
  vcl::TUniqueKernelHandle h(CreateFileW(Extended(path).c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (h.Get() == INVALID_HANDLE_VALUE) {
    h.Release();
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h.Get(), &info)) return std::nullopt;
  TDiskFacts facts;
  facts.Identity = {info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  wchar_t buffer[MAX_PATH * 4];
  const DWORD n = GetFinalPathNameByHandleW(h.Get(), buffer, static_cast<DWORD>(std::size(buffer)), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n > 0 && n < std::size(buffer)) {
    facts.FinalPath.assign(buffer, n);
    if (facts.FinalPath.rfind(L"\\\\?\\UNC\\", 0) == 0) facts.FinalPath.replace(0, 8, L"\\\\");
    else if (facts.FinalPath.rfind(L"\\\\?\\", 0) == 0) facts.FinalPath.erase(0, 4);
    while (facts.FinalPath.size() > 3 && facts.FinalPath.back() == L'\\') facts.FinalPath.pop_back();
  }
  return facts;
}

// Whether a is b or a folder above it, by spelling (without regard to case).
bool IsSameOrAbove(const std::wstring& a, const std::wstring& b) {
  if (a.empty() || b.size() < a.size() || !SameText(std::wstring_view(b).substr(0, a.size()), a)) return false;
  return b.size() == a.size() || a.back() == L'\\' || b[a.size()] == L'\\';
}

// The folders above path (its parent first), by its spelling.
std::vector<std::wstring> FoldersAbove(std::wstring path) {
  std::vector<std::wstring> above;
  for (size_t slash; (slash = path.find_last_of(L'\\')) != std::wstring::npos && slash + 1 < path.size();) {
    path.resize(slash == 2 && path[1] == L':' ? 3 : slash);  // "C:\" keeps its separator
    if (path.empty() || path == L"\\" || path.size() <= 2) break;
    above.push_back(path);
    if (path.size() == 3 && path[1] == L':') break;
  }
  return above;
}

// Identities of a folder and of every folder above it, reached both by the path as spelled and by
// its final path (a link or drive mapping in the spelling leads elsewhere).
std::vector<TFileIdentity> IdentityChain(const std::wstring& path, const std::optional<TDiskFacts>& facts) {
  std::vector<TFileIdentity> chain;
  if (facts) chain.push_back(facts->Identity);
  std::vector<std::wstring> above = FoldersAbove(path);
  if (facts && !facts->FinalPath.empty())
    for (std::wstring& folder : FoldersAbove(facts->FinalPath)) above.push_back(std::move(folder));
  for (const std::wstring& folder : above)
    if (const auto f = FactsOf(folder)) chain.push_back(f->Identity);
  return chain;
}

bool Holds(const std::vector<TFileIdentity>& chain, const TFileIdentity& id) {
  return std::find(chain.begin(), chain.end(), id) != chain.end();
}

// Copies a file on disk into Out in large chunks: only a regular file, opened so that nothing
// blocks, read no further than Limit.
TSaveOutcome CopyFileTo(const std::wstring& path, vcl::TStream& out, std::uint64_t limit, const TFileContentsProgress& progress) {
  if (const wchar_t* reason = DevicePathReason(path)) return Outcome(fsrRefused, reason);
  const DWORD attributes = AttributesOf(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return Outcome(fsrRefused, L"a folder, not a file");
  vcl::TUniqueKernelHandle source(CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (source.Get() == INVALID_HANDLE_VALUE) {
    source.Release();
    return Outcome(fsrSourceFailed, L"the file could not be opened");
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(source.Get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(source.Get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return Outcome(fsrRefused);
  const std::uint64_t total = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (std::uint64_t done = 0;;) {
    DWORD n = 0;
    if (!ReadFile(source.Get(), buffer.get(), static_cast<DWORD>(kChunk), &n, nullptr)) return Outcome(fsrSourceFailed, L"the file could not be read");
    if (n == 0) return Outcome(fsrSaved);
    if (n > limit - done) return Outcome(fsrTooLarge);
    out.WriteBuffer(buffer.get(), n);
    done += n;
    if (progress && !progress(done, total)) return Outcome(fsrCancelled);
  }
}

// A new file in a folder under a name of its own, created so that it never replaces another, and
// deleted again unless it is committed under its final name. Only a file this object created is
// ever deleted: a name is remembered once CreateFile has made it.
class TPartialFile : public vcl::TStream {
 public:
  explicit TPartialFile(const std::wstring& folder) {
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      wchar_t name[64];
      wsprintfW(name, L"\\~kx%lx-%lx.partial", GetCurrentProcessId(), InterlockedIncrement(&counter));
      const std::wstring path = folder + name;
      HANDLE h = CreateFileW(Extended(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        FHandle.Reset(h);
        FPath = path;
        return;
      }
      // Taken by a file or a folder: the next name. Anything else will not get better.
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) return;
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
  // not exist; the move's error (0 when it was moved), the file kept for another try.
  DWORD Commit(const std::wstring& Path, const FILETIME& WriteTime) {
    if (FHandle) {
      if (WriteTime.dwLowDateTime || WriteTime.dwHighDateTime) SetFileTime(FHandle.Get(), nullptr, nullptr, &WriteTime);
      FHandle.Reset();
    }
    if (MoveFileExW(Extended(FPath).c_str(), Extended(Path).c_str(), 0)) return FCommitted = true, 0;
    return GetLastError();
  }

 private:
  vcl::TUniqueKernelHandle FHandle;
  std::wstring FPath;
  bool FCommitted = false;
};

struct TFindCloseTraits { static void Close(HANDLE h) { FindClose(h); } };
using TFindHandle = vcl::TUniqueHandle<HANDLE, TFindCloseTraits>;

// Calls visit(found) for each entry of a folder but "." and ".." until visit answers false.
template <class F>
void ForEachEntry(const std::wstring& folder, F&& visit) {
  WIN32_FIND_DATAW found;
  HANDLE first = FindFirstFileW(Extended(folder + L"\\*").c_str(), &found);
  if (first == INVALID_HANDLE_VALUE) return;
  TFindHandle search(first);
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L".." && !visit(found)) return;
  } while (FindNextFileW(search.Get(), &found));
}

// A shorter form of a name's last component for a file system that refused it: the stem cut to a
// few dozen units, the extension kept when short. Empty when there is nothing to shorten.
std::wstring Shortened(const std::wstring& rel) {
  constexpr size_t kStem = 40, kExtension = 16;
  const size_t leafStart = rel.find_last_of(L'\\') == std::wstring::npos ? 0 : rel.find_last_of(L'\\') + 1;
  std::wstring leaf = rel.substr(leafStart);
  size_t dot = leaf.rfind(L'.');
  if (dot == std::wstring::npos || dot == 0 || leaf.size() - dot > kExtension) dot = leaf.size();
  if (dot <= kStem) return {};
  size_t cut = kStem;
  if (leaf[cut - 1] >= 0xD800 && leaf[cut - 1] < 0xDC00) --cut;  // never between the halves of a pair
  return rel.substr(0, leafStart) + leaf.substr(0, cut) + leaf.substr(dot);
}

std::wstring Folded(const std::wstring& s) {
  std::wstring out(s);
  if (!out.empty()) CharUpperBuffW(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

std::wstring Joined(const std::wstring& folder, const std::wstring& name) { return folder.empty() ? name : folder + L"\\" + name; }

// Writes files and folders under one folder of the application's choice, never outside it and
// never over anything: names are claimed unique within the drop and against the disk.
class TFolderWriter {
 public:
  explicit TFolderWriter(std::wstring root) : FRoot(std::move(root)) {
    if (!Ready()) return;
    // What the folder already holds is never given to an item.
    ForEachEntry(FRoot, [this](const WIN32_FIND_DATAW& f) { return FNames.Reserve(U16(f.cFileName)), true; });
    FRootFacts = FactsOf(FRoot);
    FRootChain = IdentityChain(FRoot, FRootFacts);
  }
  bool Ready() const { return !FRoot.empty(); }
  const std::wstring& Root() const { return FRoot; }

  // The folder that rel (components joined by '\') stands for under the root, made when missing;
  // nothing when it cannot be made. An existing folder is used; a file or link in the way gives the
  // folder a numbered name, as the shell does ("a (2)"), kept for every later item under it.
  std::optional<std::wstring> MakeFolder(const std::wstring& rel) {
    std::wstring actual;
    for (size_t start = 0; start < rel.size();) {
      size_t end = rel.find(L'\\', start);
      if (end == std::wstring::npos) end = rel.size();
      const std::wstring asked = rel.substr(0, end), component = rel.substr(start, end - start);
      start = end + 1;
      const std::wstring key = Folded(asked);
      if (const auto made = FFolders.find(key); made != FFolders.end()) {
        actual = made->second;
        continue;
      }
      std::wstring candidate = Joined(actual, component);
      bool ready = false;
      for (int attempt = 0; attempt < 100 && !ready; ++attempt) {
        const std::wstring path = FRoot + L"\\" + candidate;
        if (!IsInside(FRoot, path)) return std::nullopt;
        const bool made = CreateDirectoryW(Extended(path).c_str(), nullptr) != 0;
        const DWORD error = made ? 0 : GetLastError();
        const DWORD attributes = AttributesOf(path);
        ready = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (ready) break;
        // Not made, and nothing in the way: the file system refuses the name (too long for it; Wine
        // says "not found" for that), so a shorter one is tried.
        std::wstring next;
        if (error != ERROR_ALREADY_EXISTS && !(next = Shortened(candidate)).empty()) candidate = next;
        candidate = Wide(FNames.Claim(U16(candidate), u""));
      }
      if (!ready) return std::nullopt;
      FNames.Reserve(U16(candidate));
      FFolders.emplace(key, candidate);
      actual = candidate;
    }
    return actual;
  }

  // Writes one file at rel (its last name made unique; Fallback when rel is empty) from what
  // read puts in the stream, which answers how that went; Path is where the file went.
  template <class Read>
  TSaveOutcome Write(const std::wstring& rel, const std::wstring& fallback, const FILETIME& writeTime, Read&& read,
                     std::wstring& path) {
    path.clear();
    const size_t slash = rel.rfind(L'\\');
    const auto parent = MakeFolder(slash == std::wstring::npos ? std::wstring() : rel.substr(0, slash));
    if (!parent) return Outcome(fsrWriteFailed, L"its folder could not be made in the target folder");
    TPartialFile partial(parent->empty() ? FRoot : FRoot + L"\\" + *parent);
    if (!partial.IsOpen()) return Outcome(fsrWriteFailed, L"no temporary file could be made in the target folder");
    TSaveOutcome outcome;
    try {
      outcome = read(static_cast<vcl::TStream&>(partial));
    } catch (const vcl::EStreamError&) {
      return Outcome(fsrWriteFailed, L"the target folder did not take all the bytes");
    }
    if (outcome.Result != fsrSaved) return outcome;
    std::wstring wanted = Joined(*parent, rel.substr(slash == std::wstring::npos ? 0 : slash + 1));
    for (int attempt = 0; attempt < 1000; ++attempt) {
      const std::wstring candidate = FRoot + L"\\" + Wide(FNames.Claim(U16(wanted), U16(fallback)));
      if (!IsInside(FRoot, candidate)) break;
      if (AttributesOf(candidate) != INVALID_FILE_ATTRIBUTES) continue;  // already on disk: the next name
      const DWORD error = partial.Commit(candidate, writeTime);
      if (error == 0) return path = candidate, outcome;
      if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) continue;  // made in the meantime
      // The file system refuses the name as given (too long for it: Windows says so, Wine says "not
      // found"): a shorter one, as long as there is one.
      std::wstring shorter = Shortened(candidate.substr(FRoot.size() + 1));
      if (shorter.empty()) break;
      wanted = std::move(shorter);
    }
    return Outcome(fsrWriteFailed, L"no name in the target folder would take the file");
  }

  // Why a real folder may not be copied here: it is, holds or lies inside the target folder, by
  // identity or final path (whatever spelling, link or drive mapping the drop used); null when it
  // may.
  const wchar_t* LoopReason(const std::wstring& folder) const {
    const auto facts = FactsOf(folder);
    if (!facts) return nullptr;  // the copy itself will fail
    static const wchar_t* const holds = L"refused: the folder is or holds the target folder";
    static const wchar_t* const inside = L"refused: the folder lies inside the target folder";
    if (Holds(FRootChain, facts->Identity)) return holds;
    if (FRootFacts && !FRootFacts->FinalPath.empty() && !facts->FinalPath.empty()) {
      if (IsSameOrAbove(facts->FinalPath, FRootFacts->FinalPath)) return holds;
      if (IsSameOrAbove(FRootFacts->FinalPath, facts->FinalPath)) return inside;
    }
    if (FRootFacts && Holds(IdentityChain(FullPath(folder), facts), FRootFacts->Identity)) return inside;
    return nullptr;
  }

  // Copies a real folder's files and folders to rel (which exists), file by file within limit;
  // links are not followed, and folders met again (through a mapping the file system does not
  // report as a link) are not copied into themselves.
  struct TTreeCopy {
    std::uint64_t Limit;
    TFileContentsProgress Progress;  // the item's: bytes of the whole folder so far
    std::uint64_t Done = 0;
    int Files = 0;
    TSaveOutcome Worst = Outcome(fsrSaved);
    std::vector<TFileIdentity> Open;  // the folders being copied, outermost first
  };
  void CopyTree(const std::wstring& source, const std::wstring& rel, TTreeCopy& copy) {
    constexpr size_t kMaxDepth = 64;
    const auto facts = FactsOf(source);
    if (!facts) return Fail(copy, Outcome(fsrSourceFailed, L"a folder inside could not be opened"));
    if (copy.Open.size() >= kMaxDepth) return Fail(copy, Outcome(fsrRefused, L"refused: folders nested too deep"));
    if (Holds(copy.Open, facts->Identity) || Holds(FRootChain, facts->Identity)) return;
    copy.Open.push_back(facts->Identity);
    ForEachEntry(source, [&](const WIN32_FIND_DATAW& f) {
      // Asked before every entry as well, so that a folder of many small files can be stopped.
      if (copy.Progress && !copy.Progress(copy.Done, std::nullopt)) return Fail(copy, Outcome(fsrCancelled)), false;
      if (f.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
      std::wstring name = Wide(blocks::SafeNameComponent(U16(f.cFileName)));
      if (name.empty()) name = L"File";
      const std::wstring from = source + L"\\" + f.cFileName, to = Joined(rel, name);
      if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (const auto made = MakeFolder(to)) CopyTree(from, *made, copy);
        else Fail(copy, Outcome(fsrWriteFailed, L"a folder inside could not be made"));
      } else {
        std::wstring path;
        const TSaveOutcome o =
            Write(to, L"", f.ftLastWriteTime, [&](vcl::TStream& out) {
              const std::uint64_t base = copy.Done;
              return CopyFileTo(from, out, copy.Limit, [&copy, base](std::uint64_t done, std::optional<std::uint64_t>) {
                copy.Done = base + done;
                return !copy.Progress || copy.Progress(copy.Done, std::nullopt);
              });
            }, path);
        if (o.Result == fsrSaved) ++copy.Files;
        else Fail(copy, o);
      }
      return copy.Worst.Result != fsrCancelled;
    });
    copy.Open.pop_back();
  }

 private:
  static void Fail(TTreeCopy& copy, const TSaveOutcome& outcome) {
    if (copy.Worst.Result == fsrSaved) copy.Worst = outcome;
    if (outcome.Result == fsrCancelled) copy.Worst = outcome;
  }

  std::wstring FRoot;
  std::optional<TDiskFacts> FRootFacts;
  std::vector<TFileIdentity> FRootChain;  // the root and the folders above it
  blocks::TUniqueNames FNames;
  std::unordered_map<std::wstring, std::wstring> FFolders;  // folded folder of the drop -> where it went
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

TKXFileSaveResult TKXFileTarget::SaveItemTo(int Index, vcl::TStream& Stream, std::wstring& Text) {
  Text.clear();
  if (Index < 0 || Index >= getFileCount() || !getDropOpen()) return fsrNotSaved;
  const TReading reading(*Target());
  const TKXDroppedFile& file = getFile(Index);
  if (file.IsFolder) return fsrNotSaved;
  // Held here: a progress handler may end the drop while the source renders.
  const vcl::TComPtr<IDataObject> data(Target()->DropData());
  TSaveOutcome outcome =
      file.IsVirtual ? OutcomeOf(ReadFileContents(data.Get(), file.ContentsIndex, Stream, FMaxFileSize, ProgressOf(Index)))
                     : CopyFileTo(file.Name, Stream, FMaxFileSize, ProgressOf(Index));
  Text = std::move(outcome.Text);
  return outcome.Result;
}

bool TKXFileTarget::SaveFileToStream(int Index, vcl::TStream& Stream) {
  std::wstring text;
  return SaveItemTo(Index, Stream, text) == fsrSaved;
}

TKXFileSaveResult TKXFileTarget::getSaveResult(int Index) const {
  const auto& outcomes = Target()->SaveOutcomes();
  return Index >= 0 && static_cast<size_t>(Index) < outcomes.size() ? outcomes[static_cast<size_t>(Index)].Result : fsrNotSaved;
}

std::wstring TKXFileTarget::getSaveResultText(int Index) const {
  const auto& outcomes = Target()->SaveOutcomes();
  return Index >= 0 && static_cast<size_t>(Index) < outcomes.size() ? outcomes[static_cast<size_t>(Index)].Text : std::wstring();
}

namespace {

// A real item's own name: the last component of its full path ("C:\a\b\", "C:\a\b\." name "b").
std::wstring RealItemName(const std::wstring& path) {
  std::wstring full = FullPath(path);
  if (full.empty()) full = path;
  while (!full.empty() && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  return full.substr(full.find_last_of(L"\\/") + 1 == std::wstring::npos ? 0 : full.find_last_of(L"\\/") + 1);
}

}  // namespace

int TKXFileTarget::SaveToFolder(const std::wstring& Folder) {
  std::vector<std::wstring>& saved = Target()->SavedPaths();
  std::vector<TSaveOutcome>& outcomes = Target()->SaveOutcomes();
  saved.assign(static_cast<size_t>(getFileCount()), std::wstring());
  outcomes.assign(static_cast<size_t>(getFileCount()), TSaveOutcome{});
  if (!getDropOpen()) return 0;
  const TReading reading(*Target());
  TFolderWriter writer(PrepareRoot(Folder));
  if (!writer.Ready()) {
    for (TSaveOutcome& o : outcomes) o = Outcome(fsrWriteFailed, L"the target folder could not be made");
    return 0;
  }
  int count = 0, unnamed = 0;
  std::unordered_set<std::wstring> folders;  // virtual folders made by this save, folded
  for (int i = 0; i < getFileCount(); ++i) {
    const TKXDroppedFile& file = getFile(i);
    // A real item keeps its own name; a virtual item's name may carry folders of the drop.
    const std::wstring rel = Wide(blocks::SafeRelativePath(U16(file.IsVirtual ? file.Name : RealItemName(file.Name))));
    TSaveOutcome& outcome = outcomes[static_cast<size_t>(i)];
    if (file.IsFolder) {
      const wchar_t* refusal = file.IsVirtual ? nullptr : DevicePathReason(file.Name);
      if (!file.IsVirtual && !refusal) refusal = writer.LoopReason(file.Name);
      if (refusal) {
        outcome = Outcome(fsrRefused, refusal);
        continue;
      }
      const std::wstring name = rel.empty() ? L"Folder " + std::to_wstring(++unnamed) : rel;
      if (file.IsVirtual && !folders.insert(Folded(name)).second) {
        outcome = Outcome(fsrSkipped, L"skipped: the same folder again");
        continue;
      }
      const auto made = writer.MakeFolder(name);
      if (!made) {
        outcome = Outcome(fsrWriteFailed, L"the folder could not be made in the target folder");
        continue;
      }
      saved[static_cast<size_t>(i)] = writer.Root() + L"\\" + *made;
      outcome = Outcome(fsrSaved);
      if (file.IsVirtual) continue;
      TFolderWriter::TTreeCopy copy{FMaxFileSize, ProgressOf(i)};
      writer.CopyTree(FullPath(file.Name), *made, copy);
      count += copy.Files;
      outcome = copy.Worst;
      continue;
    }
    const std::wstring fallback = rel.empty() ? L"File " + std::to_wstring(++unnamed) : std::wstring();
    outcome = writer.Write(rel, fallback, file.LastWriteTime, [&](vcl::TStream& out) {
      TSaveOutcome o;
      o.Result = SaveItemTo(i, out, o.Text);
      return o;
    }, saved[static_cast<size_t>(i)]);
    if (outcome.Result == fsrSaved) ++count;
  }
  return count;
}

}  // namespace kestrix
