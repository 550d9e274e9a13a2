#include "formats/KXUtilFileGroup.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>

#include "formats/KXUtilBlocks.h"
#include "formats/KXUtilHDROP.h"
#include "framework/Handles.h"

namespace kestrix {

namespace {

static_assert(sizeof(FILEDESCRIPTORW) == blocks::FileDescriptorSizeW);
static_assert(sizeof(FILEDESCRIPTORA) == blocks::FileDescriptorSizeA);
static_assert(offsetof(FILEDESCRIPTORW, cFileName) == blocks::FileDescriptorNameOffset);

// The attributes of a file (not a folder) at Path, those of a link's target for a link.
std::optional<DWORD> ExistingFileAttributes(const std::wstring& Path) {
  DWORD attributes = GetFileAttributesW(Path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    HANDLE h = CreateFileW(Path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;  // a link whose target is gone
    vcl::TUniqueKernelHandle target(h);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(target.Get(), &info)) return std::nullopt;
    attributes = info.dwFileAttributes;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  return attributes;
}

// The folder part of Path, its last separator included; empty when Path has none or when the
// system's path rules could take Path out of that folder (a component of dots or spaces: ".." and
// its kin) or drop its last part.
std::wstring_view FolderOf(std::wstring_view Path) {
  const size_t cut = Path.find_last_of(L"\\/");
  if (cut == std::wstring_view::npos || cut + 1 == Path.size()) return {};
  size_t start = 0;
  while (start < Path.size()) {
    const size_t end = std::min(Path.find_first_of(L"\\/", start), Path.size());
    const std::wstring_view part = Path.substr(start, end - start);
    if (!part.empty() && part.find_first_not_of(L". ") == std::wstring_view::npos) return {};
    start = end + 1;
  }
  return Path.substr(0, cut + 1);
}

// ExistingFileAttributes for many names, asking once per folder whether it is there at all: no
// file lies in a folder that is missing, and the names of one list mostly share their folder.
class TFileAttributeProbe {
 public:
  std::optional<DWORD> Of(const std::wstring& Path) {
    const std::wstring_view folder = FolderOf(Path);
    if (!folder.empty() && folder != FPresent) {
      if (folder == FMissing) return std::nullopt;
      const std::wstring name(folder);
      if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) {
          FMissing = name;
          return std::nullopt;
        }
      }
      FPresent = name;
    }
    return ExistingFileAttributes(Path);
  }

 private:
  std::wstring FMissing, FPresent;
};

// The name cut so that it fits the field with its NUL, without splitting a surrogate pair.
size_t FittingLength(const std::wstring& Name) {
  constexpr size_t room = blocks::FileDescriptorNameUnits - 1;
  if (Name.size() <= room) return Name.size();
  return IS_HIGH_SURROGATE(Name[room - 1]) ? room - 1 : room;
}

}  // namespace

std::string FileGroupDescriptorFromFileList(const std::wstring& FolderPath, const vcl::TStrings& FileNames) {
  return FileGroupDescriptorFromFileListEx(FolderPath, FileNames, {});
}

std::string FileGroupDescriptorFromFileListEx(const std::wstring& FolderPath, const vcl::TStrings& FileNames,
                                              const std::vector<std::int32_t>& FileSizes) {
  const size_t count = static_cast<size_t>(FileNames.Count());
  const bool withSizes = FileSizes.size() >= count;
  const DWORD flags = FD_ATTRIBUTES | (withSizes ? FD_FILESIZE : 0);
  // The whole block zeroed at once; each record then gets only its non-zero fields.
  std::string block(blocks::FileGroupCountSize + count * sizeof(FILEDESCRIPTORW), '\0');
  const auto items = static_cast<std::uint32_t>(count);
  std::memcpy(block.data(), &items, sizeof items);
  TFileAttributeProbe probe;
  for (size_t n = 0; n < count; ++n) {
    const int line = static_cast<int>(n);
    const std::wstring name = blocks::JoinFolderAndName(FolderPath, FileNames.Strings(line));
    const DWORD given = static_cast<DWORD>(FileNames.Integers(line));
    const DWORD attributes = probe.Of(name).value_or(given ? given : FILE_ATTRIBUTE_ARCHIVE);
    char* record = block.data() + blocks::FileGroupCountSize + n * sizeof(FILEDESCRIPTORW);
    std::memcpy(record + offsetof(FILEDESCRIPTORW, dwFlags), &flags, sizeof flags);
    std::memcpy(record + offsetof(FILEDESCRIPTORW, dwFileAttributes), &attributes, sizeof attributes);
    if (withSizes) {
      const auto low = static_cast<DWORD>(FileSizes[n]);
      std::memcpy(record + offsetof(FILEDESCRIPTORW, nFileSizeLow), &low, sizeof low);
    }
    std::memcpy(record + offsetof(FILEDESCRIPTORW, cFileName), name.data(), FittingLength(name) * sizeof(wchar_t));
  }
  return block;
}

vcl::TStringList* FileListFromFileGroupDescriptor(const std::string& Data) {
  return detail::ListFromNameRanges(Data, blocks::FileGroupNameRanges(Data, true), true);
}

vcl::TStringList* FileListFromFileGroupDescriptorA(const std::string& Data) {
  return detail::ListFromNameRanges(Data, blocks::FileGroupNameRanges(Data, false), false);
}

std::wstring KXFileGroupDescriptorFormatName() { return L"FileGroupDescriptorW"; }

}  // namespace kestrix
