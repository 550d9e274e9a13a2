#include "support/PeerSide.h"

#include <shellapi.h>

#include <cstdio>

#include "framework/Forms.h"

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

TPeerWindow PeerWindowArguments(std::map<std::wstring, std::wstring>& args, const std::wstring& DefaultTitle) {
  TPeerWindow w;
  if (args.count(L"rect")) swscanf(args[L"rect"].c_str(), L"%d,%d,%d,%d", &w.X, &w.Y, &w.W, &w.H);
  if (args.count(L"timeout")) w.Timeout = static_cast<DWORD>(_wtoi(args[L"timeout"].c_str()));
  w.Title = args.count(L"title") ? args[L"title"] : DefaultTitle;
  return w;
}

bool ShowAndAwaitDrop(HWND Form, std::map<std::wstring, std::wstring>& args, DWORD Timeout,
                      const std::function<bool()>& Done, const std::function<bool()>& Paste) {
  ShowWindow(Form, SW_SHOWNOACTIVATE);
  vcl::Application->ProcessMessages();
  SignalPeerReady(args[L"ready"]);
  if (args.count(L"paste") && Paste && !Paste()) return false;
  const DWORD start = GetTickCount();
  while (!Done() && GetTickCount() - start < Timeout) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    vcl::Application->ProcessMessages();
  }
  return Done();
}

}  // namespace kxtest
