#include "formats/KXUtilHDROP.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "formats/KXUtil.h"

namespace kestrix {

namespace {

constexpr std::uint32_t WideNames = 0xFFFFFFFFu;

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
  std::wstring names;
  for (int i = 0; i < FileNames.Count(); ++i) {
    names += blocks::JoinFolderAndName(FolderPath, FileNames.Strings(i));
    names.push_back(L'\0');
  }
  names.push_back(L'\0');

  std::string block;
  blocks::AppendLE32(block, blocks::HDROPHeaderSize);  // pFiles
  blocks::AppendLE32(block, 0);                        // pt.x
  blocks::AppendLE32(block, 0);                        // pt.y
  blocks::AppendLE32(block, 0);                        // fNC
  blocks::AppendLE32(block, UseUnicode ? WideNames : 0);
  if (UseUnicode) block.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));
  else block += vcl::AnsiFromUnicode(names);
  return block;
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
