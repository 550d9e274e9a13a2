#pragma once
// Registration of the stand-in network automation object (kx_network_object.exe, built next to the
// test programs) under the browser's programmatic identifier, for as long as the owner lives.
// The registration is machine-wide in the prefix, so a named mutex keeps test programs that use it
// from overlapping: an owner holds it from construction to destruction.
#include <windows.h>

#include <string>

#include "support/TestSupport.h"

namespace kxtest {

inline constexpr const wchar_t* kNetworkObjectProgID = L"Netscape.Network.1";
inline constexpr const wchar_t* kNetworkObjectClassKey = L"CLSID\\{ABD4BF11-3ED7-4D2B-8FC4-161D18D06167}";
inline constexpr CLSID CLSID_KXNetworkObject = {
    0xabd4bf11, 0x3ed7, 0x4d2b, {0x8f, 0xc4, 0x16, 0x1d, 0x18, 0xd0, 0x61, 0x67}};

class TNetworkObjectRegistration {
 public:
  // With no folder: makes sure that no object is registered. Otherwise registers the object so
  // that it serves the files of Folder and appends a line per call to LogFile.
  explicit TNetworkObjectRegistration(const std::wstring& Folder = {}, const std::wstring& LogFile = {})
      : FMutex(CreateMutexW(nullptr, FALSE, L"kx-network-object-registration")) {
    DWORD wait = FMutex ? WaitForSingleObject(FMutex, 180000) : WAIT_FAILED;
    FOwned = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    Unregister();  // whatever a crashed run left behind
    if (!FOwned || Folder.empty()) {
      FOk = FOwned;
      return;
    }
    std::wstring server = L"\"" + ProgramFolder() + L"kx_network_object.exe\" \"" + Folder + L"\" \"" + LogFile + L"\"";
    std::wstring clsid = std::wstring(kNetworkObjectClassKey).substr(6);
    FOk = SetValue(std::wstring(kNetworkObjectProgID) + L"\\CLSID", clsid) &&
          SetValue(kNetworkObjectClassKey, L"Stand-in network automation object") &&
          SetValue(std::wstring(kNetworkObjectClassKey) + L"\\ProgID", kNetworkObjectProgID) &&
          SetValue(std::wstring(kNetworkObjectClassKey) + L"\\LocalServer32", server);
  }
  TNetworkObjectRegistration(const TNetworkObjectRegistration&) = delete;
  TNetworkObjectRegistration& operator=(const TNetworkObjectRegistration&) = delete;
  ~TNetworkObjectRegistration() {
    if (FOwned) {
      Unregister();
      ReleaseMutex(FMutex);
    }
    if (FMutex) CloseHandle(FMutex);
  }

  // True when the mutex is held and the keys are written (or, with no folder, removed).
  bool Ok() const { return FOk; }

 private:
  // Written through HKEY_CLASSES_ROOT: Wine does not see classes under HKCU\Software\Classes.
  static bool SetValue(const std::wstring& key, const std::wstring& value) {
    HKEY k = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS)
      return false;
    LONG rc = RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
    return rc == ERROR_SUCCESS;
  }
  static void Unregister() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kNetworkObjectProgID);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kNetworkObjectProgID);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kNetworkObjectClassKey);
    RegDeleteKeyW(HKEY_CLASSES_ROOT, kNetworkObjectClassKey);
  }

  HANDLE FMutex;
  bool FOwned = false;
  bool FOk = false;
};

}  // namespace kxtest
