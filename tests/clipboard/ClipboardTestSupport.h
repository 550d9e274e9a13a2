#pragma once
// The clipboard owned by a foreign process (tests/peers/kx_clipboard_owner) for the life of an
// object, shaped like what a browser, a mail client or the file manager puts there.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/Handles.h"
#include "framework/SysUtils.h"
#include "support/TestSupport.h"

namespace cliptest {

// A format the owner offers: its name (or "#" and a standard format's number, "@" and an item
// index for one item's contents) and its bytes, served as a stream when Stream is set.
struct TOffered {
  std::wstring Name;
  std::string Bytes;
  bool Stream = false;
};

class TForeignClipboard {
 public:
  // Text empty: no text formats.
  TForeignClipboard(const std::wstring& Text, const std::vector<TOffered>& Formats) {
    static int serial = 0;
    const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
    const std::wstring readyName = L"kx-clip-ready-" + tag, quitName = L"kx-clip-quit-" + tag;
    FReady.Reset(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    FQuit.Reset(CreateEventW(nullptr, TRUE, FALSE, quitName.c_str()));
    const std::wstring exe = kxtest::ProgramFolder() + L"kx_clipboard_owner.exe";
    std::wstring command = L"\"" + exe + L"\" " + readyName + L" " + quitName + L" \"" + Text + L"\"";
    for (const TOffered& f : Formats) {
      std::wstring hex = f.Stream ? L"stream:hex:" : L"hex:";
      for (unsigned char b : f.Bytes) hex += vcl::IntToHex(b, 2);
      command += L" \"" + f.Name + L"\" " + hex;
    }
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    CloseHandle(pi.hThread);
    FProcess.Reset(pi.hProcess);
    HANDLE either[] = {FReady.Get(), FProcess.Get()};
    FStarted = WaitForMultipleObjects(2, either, FALSE, 20000) == WAIT_OBJECT_0;
  }
  TForeignClipboard(const TForeignClipboard&) = delete;
  TForeignClipboard& operator=(const TForeignClipboard&) = delete;
  // The owner takes its data object off the clipboard and ends.
  ~TForeignClipboard() {
    if (!FProcess) return;
    SetEvent(FQuit.Get());
    if (WaitForSingleObject(FProcess.Get(), 20000) != WAIT_OBJECT_0) TerminateProcess(FProcess.Get(), 99);
  }
  bool Started() const { return FStarted; }

 private:
  vcl::TUniqueKernelHandle FReady, FQuit, FProcess;
  bool FStarted = false;
};

// UTF-16 bytes of a string, with or without its terminator.
inline std::string Utf16(const std::wstring& s, bool terminated = true) {
  return std::string(reinterpret_cast<const char*>(s.c_str()), (s.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}
// A "Preferred DropEffect" block.
inline TOffered Preferred(DWORD effect) {
  return {L"Preferred DropEffect", std::string(reinterpret_cast<const char*>(&effect), sizeof effect)};
}

}  // namespace cliptest
