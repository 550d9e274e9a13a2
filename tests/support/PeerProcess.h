#pragma once
// Starting a peer program of tests/peers (a foreign process) and reading what it reports.
//
// The peer gets "--ready <event name>" and "--out <file>" added to its arguments: it signals the
// named event once its window is up, and writes its "key=value" result lines into the file before
// it exits.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace kxtest {

class PeerProcess {
 public:
  PeerProcess() = default;
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  // Ends a peer that is still running and removes its result file.
  ~PeerProcess();

  // Starts <program folder>/<exeName> with the arguments; false when it cannot be started.
  bool Start(const std::wstring& exeName, const std::vector<std::wstring>& args);
  // Pumps this thread's messages until the peer signals readiness or exits (false) or ms pass.
  bool WaitReady(DWORD ms = 15000);
  // Starts a peer whose window takes "--title" and "--rect" ("x,y,width,height") besides args and
  // waits until it is up; its window, or null.
  HWND StartWindow(const std::wstring& exeName, const std::wstring& title, const std::wstring& rect,
                   std::vector<std::wstring> args = {});
  // Pumps messages until the peer exits; false on timeout.
  bool WaitExit(DWORD ms = 15000);
  DWORD ExitCode() const;
  // The result lines the peer wrote; empty before it wrote them.
  std::map<std::string, std::string> Result() const;
  std::string ResultText() const;

 private:
  HANDLE FProcess = nullptr;
  HANDLE FReady = nullptr;
  std::wstring FOutFile;
};

// The top-level window of a peer, found by its exact title (a short wait for it to appear).
HWND FindPeerWindow(const std::wstring& title, DWORD ms = 5000);

}  // namespace kxtest
