#include "formats/KXUtilShell.h"

#include <shlobj.h>

#include <cstring>

#include "framework/ComObj.h"
#include "framework/Handles.h"
#include "framework/Streams.h"

namespace kestrix {

namespace {

std::wstring CopyAndFreeTaskString(wchar_t* text) {
  vcl::TCoTaskMem<wchar_t> owner(text);
  return text ? std::wstring(text) : std::wstring();
}

template <class Getter>
std::wstring ReadLinkText(Getter get) {
  wchar_t buffer[MAX_PATH] = {};
  if (FAILED(get(buffer, MAX_PATH))) return {};
  buffer[MAX_PATH - 1] = L'\0';
  return buffer;
}

}  // namespace

std::wstring GetTempPathEx() {
  wchar_t buffer[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, buffer);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

std::wstring GetTempFileNameEx(const std::wstring& Prefix) {
  std::wstring folder = GetTempPathEx();
  wchar_t buffer[MAX_PATH];
  if (folder.empty() || GetTempFileNameW(folder.c_str(), Prefix.c_str(), 0, buffer) == 0) return {};
  return buffer;
}

std::wstring SaveIStreamToFile(IStream* Stream, const std::wstring& FileName) {
  enum { kChunk = 30000 };
  vcl::TMemoryStream collected;
  if (Stream) {
    LARGE_INTEGER zero{};
    Stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    std::string chunk(kChunk, '\0');
    for (;;) {
      ULONG got = 0;
      HRESULT hr = Stream->Read(chunk.data(), kChunk, &got);
      collected.WriteBuffer(chunk.data(), std::min<ULONG>(got, kChunk));
      if (FAILED(hr) || got < kChunk) break;
    }
  }
  collected.SaveToFile(FileName);
  return FileName;
}

std::wstring SaveIStorageToFile(IStorage* Storage, const std::wstring& FileName) {
  vcl::TComPtr<IStorage> file;
  if (Storage && SUCCEEDED(StgCreateDocfile(FileName.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                            0, file.Put())))
    Storage->CopyTo(0, nullptr, nullptr, file.Get());
  return FileName;
}

std::wstring GetShortcutInfo(const std::wstring& ShortcutFile, HWND Window, std::wstring& Description,
                             std::wstring& Arguments, std::wstring& WorkingDirectory, std::wstring& IconLocation,
                             WORD& HotKey, int& ShowCommand, int& IconIndex) {
  vcl::TComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
    return {};
  auto file = link.As<IPersistFile>();
  if (!file || FAILED(file->Load(ShortcutFile.c_str(), STGM_READ))) return {};
  const bool silent = Window == reinterpret_cast<HWND>(INVALID_HANDLE_VALUE);
  if (FAILED(link->Resolve(silent ? nullptr : Window, silent ? SLR_NO_UI : SLR_ANY_MATCH))) return {};
  std::wstring path = ReadLinkText([&](wchar_t* b, int n) { return link->GetPath(b, n, nullptr, SLGP_SHORTPATH); });
  if (path.empty()) return {};

  Description = ReadLinkText([&](wchar_t* b, int n) { return link->GetDescription(b, n); });
  WorkingDirectory = ReadLinkText([&](wchar_t* b, int n) { return link->GetWorkingDirectory(b, n); });
  Arguments = ReadLinkText([&](wchar_t* b, int n) { return link->GetArguments(b, n); });
  IconIndex = 0;
  IconLocation = ReadLinkText([&](wchar_t* b, int n) { return link->GetIconLocation(b, n, &IconIndex); });
  if (Description.empty()) Description = vcl::ChangeFileExt(vcl::ExtractFileName(ShortcutFile), L"");
  ShowCommand = 0;
  link->GetShowCmd(&ShowCommand);
  HotKey = 0;
  link->GetHotkey(&HotKey);
  return path;
}

std::wstring GetShortcutPath(const std::wstring& ShortcutFile) {
  std::wstring description, arguments, folder, icon;
  WORD key = 0;
  int show = 0, index = 0;
  return GetShortcutInfo(ShortcutFile, reinterpret_cast<HWND>(INVALID_HANDLE_VALUE), description, arguments, folder,
                         icon, key, show, index);
}

std::string ObjectDescriptor(IOleObject* Object) {
  if (!Object) return {};
  wchar_t* raw = nullptr;
  std::wstring typeName = SUCCEEDED(Object->GetUserType(USERCLASSTYPE_FULL, &raw)) ? CopyAndFreeTaskString(raw)
                                                                                   : CopyAndFreeTaskString(nullptr);
  std::wstring fullName = typeName, source = typeName;
  vcl::TComPtr<IOleObject> object(Object);
  if (auto link = object.As<IOleLink>()) {
    fullName = vcl::Format(L"Linked %s", typeName);
    raw = nullptr;
    source = SUCCEEDED(link->GetSourceDisplayName(&raw)) ? CopyAndFreeTaskString(raw) : std::wstring();
  }
  // Both texts travel through the ANSI code page, as the clipboard's consumers expect.
  fullName = vcl::UnicodeFromAnsi(vcl::AnsiFromUnicode(fullName));
  source = vcl::UnicodeFromAnsi(vcl::AnsiFromUnicode(source));
  fullName.resize(std::min(fullName.size(), fullName.find(L'\0')));
  source.resize(std::min(source.size(), source.find(L'\0')));

  static_assert(sizeof(OBJECTDESCRIPTOR) == 52, "the block's strings start at byte 52");
  OBJECTDESCRIPTOR header{};
  const DWORD nameBytes = static_cast<DWORD>((fullName.size() + 1) * sizeof(wchar_t));
  const DWORD sourceBytes = static_cast<DWORD>((source.size() + 1) * sizeof(wchar_t));
  header.cbSize = sizeof header + nameBytes + sourceBytes;
  Object->GetUserClassID(&header.clsid);
  header.dwDrawAspect = DVASPECT_CONTENT;
  Object->GetMiscStatus(DVASPECT_CONTENT, &header.dwStatus);
  header.dwFullUserTypeName = sizeof header;
  header.dwSrcOfCopy = sizeof header + nameBytes;
  std::string block(reinterpret_cast<const char*>(&header), sizeof header);
  block.append(reinterpret_cast<const char*>(fullName.c_str()), nameBytes);
  block.append(reinterpret_cast<const char*>(source.c_str()), sourceBytes);
  return block;
}

}  // namespace kestrix
