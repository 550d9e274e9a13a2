#include "support/PeerSide.h"

#include <shellapi.h>

#include <cstdio>

namespace kxtest {

std::map<std::wstring, std::wstring> PeerArguments() {
  std::map<std::wstring, std::wstring> args;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; i + 1 < argc; ++i) {
    std::wstring key = argv[i];
    if (key.rfind(L"--", 0) == 0) args[key.substr(2)] = argv[++i];
  }
  LocalFree(argv);
  return args;
}

void SignalPeerReady(const std::wstring& eventName) {
  if (eventName.empty()) return;
  if (HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str())) {
    SetEvent(ready);
    CloseHandle(ready);
  }
}

void WritePeerResult(const std::wstring& fileName, const std::string& text) {
  if (fileName.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return;
  }
  std::wstring partial = fileName + L".part";  // renamed into place: a reader never sees half a file
  HANDLE f = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
  MoveFileExW(partial.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace kxtest
