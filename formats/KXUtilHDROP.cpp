#include "formats/KXUtilHDROP.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "formats/KXUtil.h"

namespace kestrix {

namespace {

std::wstring WideFromBytes(std::string_view Bytes) {
  std::wstring s(Bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(s.data(), Bytes.data(), s.size() * sizeof(wchar_t));
  return s;
}

}  // namespace

std::string HDROPFromFileList(const std::wstring& FolderPath, const vcl::TStrings& FileNames) {
  return HDROPFromFileListEx(FolderPath, FileNames, OSVersionInfo.dwPlatformId == VER_PLATFORM_WIN32_NT);
}

std::string HDROPFromFileListEx(const std::wstring& FolderPath, const vcl::TStrings& FileNames, bool UseUnicode) {
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(FileNames.Count()));
  for (int i = 0; i < FileNames.Count(); ++i) {
    const std::wstring name = blocks::JoinFolderAndName(FolderPath, FileNames.Strings(i));
    names.push_back(UseUnicode ? std::string(reinterpret_cast<const char*>(name.data()), name.size() * sizeof(wchar_t))
                               : vcl::AnsiFromUnicode(name));
  }
  return blocks::HDROPBlockFromNames(names, UseUnicode);
}

vcl::TStringList* FileListFromHDROP(const std::string& Data) {
  return detail::ListFromNameRanges(Data, blocks::HDROPNameRanges(Data), blocks::HDROPIsWide(Data));
}

vcl::TStringList* detail::ListFromNameRanges(std::string_view Block, const std::vector<blocks::TByteRange>& Ranges, bool Wide) {
  auto list = std::make_unique<vcl::TStringList>();
  for (const blocks::TByteRange& r : Ranges) {
    std::string_view bytes = Block.substr(r.Offset, r.Length);
    list->Add(Wide ? WideFromBytes(bytes) : vcl::UnicodeFromAnsi(std::string(bytes)));
  }
  return list.release();
}

}  // namespace kestrix
