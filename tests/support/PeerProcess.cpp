#include "support/PeerProcess.h"

#include <fstream>
#include <sstream>

#include "support/TestSupport.h"

namespace kxtest {

namespace {

std::wstring Quote(const std::wstring& arg) { return L"\"" + arg + L"\""; }

// Pumps messages while waiting for any of the handles; the index signalled, or -1 on timeout.
int PumpWait(const std::vector<HANDLE>& handles, DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed > ms) return -1;
    DWORD r = MsgWaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, ms - elapsed,
                                        QS_ALLINPUT);
    if (r < WAIT_OBJECT_0 + handles.size()) return static_cast<int>(r - WAIT_OBJECT_0);
    if (r == WAIT_OBJECT_0 + handles.size()) {
      PumpMessages(0);
      continue;
    }
    return -1;
  }
}

}  // namespace

PeerProcess::~PeerProcess() {
  if (FProcess) {
    if (WaitForSingleObject(FProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(FProcess, 99);
      WaitForSingleObject(FProcess, 5000);
    }
    CloseHandle(FProcess);
  }
  if (FReady) CloseHandle(FReady);
  if (!FOutFile.empty()) DeleteFileW(FOutFile.c_str());
}

bool PeerProcess::Start(const std::wstring& exeName, const std::vector<std::wstring>& args) {
  static int serial = 0;
  std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
  std::wstring readyName = L"kxtest-peer-ready-" + tag;
  FReady = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  FOutFile = std::wstring(temp) + L"kxtest-peer-" + tag + L".txt";
  DeleteFileW(FOutFile.c_str());

  std::wstring exe = ProgramFolder() + exeName;
  std::wstring cmd = Quote(exe);
  for (const auto& a : args) cmd += L" " + Quote(a);
  cmd += L" --ready " + Quote(readyName) + L" --out " + Quote(FOutFile);

  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  FProcess = pi.hProcess;
  return true;
}

bool PeerProcess::WaitReady(DWORD ms) {
  if (!FProcess || !FReady) return false;
  return PumpWait({FReady, FProcess}, ms) == 0;
}

bool PeerProcess::WaitExit(DWORD ms) {
  if (!FProcess) return false;
  return PumpWait({FProcess}, ms) == 0;
}

DWORD PeerProcess::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (FProcess) GetExitCodeProcess(FProcess, &code);
  return code;
}

std::string PeerProcess::ResultText() const {
  std::ifstream in(FOutFile.c_str(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::map<std::string, std::string> PeerProcess::Result() const {
  std::map<std::string, std::string> out;
  std::istringstream in(ResultText());
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq != line.npos) out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

HWND PeerProcess::StartWindow(const std::wstring& exeName, const std::wstring& title, const std::wstring& rect,
                              std::vector<std::wstring> args) {
  args.insert(args.end(), {L"--title", title, L"--rect", rect});
  if (!Start(exeName, args) || !WaitReady()) return nullptr;
  HWND wnd = FindPeerWindow(title);
  PumpMessages(200);
  return wnd;
}

HWND FindPeerWindow(const std::wstring& title, DWORD ms) {
  HWND found = nullptr;
  PumpUntil([&] { return (found = FindWindowW(nullptr, title.c_str())) != nullptr; }, ms);
  return found;
}

}  // namespace kxtest
