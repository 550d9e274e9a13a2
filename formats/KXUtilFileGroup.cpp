#include "formats/KXUtilFileGroup.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <optional>

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
  std::string block;
  block.reserve(blocks::FileGroupCountSize + count * sizeof(FILEDESCRIPTORW));
  blocks::AppendLE32(block, static_cast<std::uint32_t>(count));
  for (size_t n = 0; n < count; ++n) {
    const int line = static_cast<int>(n);
    const std::wstring name = blocks::JoinFolderAndName(FolderPath, FileNames.Strings(line));
    FILEDESCRIPTORW fd = {};
    fd.dwFlags = FD_ATTRIBUTES | (withSizes ? FD_FILESIZE : 0);
    DWORD given = static_cast<DWORD>(FileNames.Integers(line));
    fd.dwFileAttributes = ExistingFileAttributes(name).value_or(given ? given : FILE_ATTRIBUTE_ARCHIVE);
    if (withSizes) fd.nFileSizeLow = static_cast<DWORD>(FileSizes[n]);
    std::copy_n(name.data(), FittingLength(name), fd.cFileName);
    block.append(reinterpret_cast<const char*>(&fd), sizeof fd);
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
