#pragma once
// The peer's side of the PeerProcess protocol: named "--key value" arguments, the readiness
// event, and the result file written whole ("key=value" lines).
#include <windows.h>

#include <functional>
#include <map>
#include <string>

namespace kxtest {

// The command line's "--key value" pairs, keys without their dashes.
std::map<std::wstring, std::wstring> PeerArguments();
// Signals the named event that the starting test waits for (nothing when the name is empty).
void SignalPeerReady(const std::wstring& eventName);
// Writes the text to the file in one go (through a temporary name), or to standard output when
// the file name is empty.
void WritePeerResult(const std::wstring& fileName, const std::string& text);

// The window of a peer that hosts a target component: "--rect x,y,w,h" (default 600,100,300,200),
// "--title" (default DefaultTitle) and "--timeout MS" (default 20000).
struct TPeerWindow {
  int X = 600, Y = 100, W = 300, H = 200;
  DWORD Timeout = 20000;
  std::wstring Title;
};
TPeerWindow PeerWindowArguments(std::map<std::wstring, std::wstring>& args, const std::wstring& DefaultTitle);
// Shows the form without taking the foreground from the source process (which holds the mouse
// capture), signals "--ready", and pumps messages until Done() or the timeout; true when done.
// With "--paste 1" (and a Paste callback) the peer pastes from the clipboard instead of waiting for
// a drop; when Paste says nothing was taken, it returns false at once.
bool ShowAndAwaitDrop(HWND Form, std::map<std::wstring, std::wstring>& args, DWORD Timeout,
                      const std::function<bool()>& Done, const std::function<bool()>& Paste = {});

}  // namespace kxtest
