#pragma once
// Registration of the stand-in drag-and-drop helper (kx_dragdrop_helper.dll, built next to the
// test programs) in place of the system's CLSID_DragDropHelper, for as long as the owner lives;
// the system's registration is put back afterwards. The stand-in appends one line per call to the
// file named by the environment variable below, which processes started meanwhile inherit. The
// registration is machine-wide in the prefix, so a named mutex keeps test programs that use it
// from overlapping.
#include <windows.h>

#include <optional>
#include <string>

#include "support/TestSupport.h"

namespace kxtest {

inline constexpr const wchar_t* kDragDropHelperServerKey = L"CLSID\\{4657278A-411B-11D2-839A-00C04FD918D0}\\InprocServer32";
inline constexpr const wchar_t* kDragDropHelperLogVariable = L"KX_DRAGDROP_HELPER_LOG";

class TDragDropHelperRegistration {
 public:
  explicit TDragDropHelperRegistration(const std::wstring& LogFile)
      : FLog(LogFile), FMutex(CreateMutexW(nullptr, FALSE, L"kx-dragdrop-helper-registration")) {
    DWORD wait = FMutex ? WaitForSingleObject(FMutex, 180000) : WAIT_FAILED;
    FOwned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (!FOwned) return;
    FSavedServer = Read(nullptr);
    FSavedModel = Read(L"ThreadingModel");
    // Test folders are named after the process id, which Wine hands out again from run to run:
    // a log left by an earlier run would read as calls of this one.
    DeleteFileW(LogFile.c_str());
    SetEnvironmentVariableW(kDragDropHelperLogVariable, LogFile.c_str());
    FOk = Write(nullptr, ProgramFolder() + L"kx_dragdrop_helper.dll") && Write(L"ThreadingModel", L"Apartment");
  }
  TDragDropHelperRegistration(const TDragDropHelperRegistration&) = delete;
  TDragDropHelperRegistration& operator=(const TDragDropHelperRegistration&) = delete;
  ~TDragDropHelperRegistration() {
    if (FOwned) {
      Restore(nullptr, FSavedServer);
      Restore(L"ThreadingModel", FSavedModel);
      SetEnvironmentVariableW(kDragDropHelperLogVariable, nullptr);
      ReleaseMutex(FMutex);
    }
    if (FMutex) CloseHandle(FMutex);
  }

  // True when the mutex is held and the stand-in is registered.
  bool Ok() const { return FOk; }
  // The lines the stand-in logged so far (in this and other processes), and a fresh start.
  std::string LogText() const {
    std::string text;
    HANDLE file = CreateFileW(FLog.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) text.append(buffer, read);
    CloseHandle(file);
    return text;
  }
  void ClearLog() const { DeleteFileW(FLog.c_str()); }
  // The system's server, as it was registered before (empty when there was none).
  const std::wstring& SavedServer() const { return FSavedServer ? *FSavedServer : kNone; }

 private:
  inline static const std::wstring kNone;

  // Written through HKEY_CLASSES_ROOT: Wine does not see classes under HKCU\Software\Classes.
  static std::optional<std::wstring> Read(const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CLASSES_ROOT, kDragDropHelperServerKey, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                     nullptr, buffer, &size) != ERROR_SUCCESS)
      return std::nullopt;
    return std::wstring(buffer);
  }
  static bool Write(const wchar_t* name, const std::wstring& value) {
    HKEY k = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kDragDropHelperServerKey, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS)
      return false;
    LONG rc = RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
    return rc == ERROR_SUCCESS;
  }
  static void Restore(const wchar_t* name, const std::optional<std::wstring>& saved) {
    if (saved) {
      Write(name, *saved);
    } else {
      HKEY k = nullptr;
      if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kDragDropHelperServerKey, 0, KEY_WRITE, &k) != ERROR_SUCCESS) return;
      RegDeleteValueW(k, name);
      RegCloseKey(k);
    }
  }

  std::wstring FLog;
  HANDLE FMutex;
  bool FOwned = false;
  bool FOk = false;
  std::optional<std::wstring> FSavedServer, FSavedModel;
};

}  // namespace kxtest
