#pragma once
// Helpers shared by the test programs.
#include <windows.h>

#include <string>

namespace kxtest {

// Dispatches the thread's messages for about ms milliseconds.
void PumpMessages(DWORD ms);
// Dispatches messages until pred() holds or ms milliseconds pass; returns pred().
template <class Pred>
bool PumpUntil(Pred pred, DWORD ms) {
  DWORD start = GetTickCount();
  while (!pred()) {
    if (GetTickCount() - start > ms) return pred();
    PumpMessages(10);
  }
  return true;
}
// A fresh empty folder under the prefix's temporary folder, with a trailing backslash.
std::wstring MakeTempFolder(const std::wstring& tag);
// The folder of the running test program, with a trailing backslash.
std::wstring ProgramFolder();
// The path of a file of tests/data.
std::wstring TestDataPath(const std::wstring& name);
// A window's class name and its whole text.
std::wstring ClassOf(HWND wnd);
std::wstring WindowText(HWND wnd);
// Bytes of a string literal that may hold NULs.
template <size_t N>
std::string Bytes(const char (&s)[N]) { return std::string(s, N - 1); }

}  // namespace kxtest
