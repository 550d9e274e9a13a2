#pragma once
// Helpers shared by the toolkit's tests: string lists from literals, blocks in global memory, and
// blocks placed right before an inaccessible page so that a read past their end faults.
#include <windows.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/Classes.h"
#include "framework/Handles.h"
#include "support/TestSupport.h"

namespace kxtest {

inline std::unique_ptr<vcl::TStringList> Lines(std::initializer_list<std::wstring> lines) {
  auto list = std::make_unique<vcl::TStringList>();
  for (const auto& l : lines) list->Add(l);
  return list;
}

// Takes ownership of a returned list and gives its lines.
inline std::vector<std::wstring> LinesOf(vcl::TStringList* owned) {
  std::unique_ptr<vcl::TStringList> list(owned);
  std::vector<std::wstring> out;
  for (int i = 0; list && i < list->Count(); ++i) out.push_back(list->Strings(i));
  return out;
}

// A block in movable, shareable global memory as a data object hands it out (the bytes and one
// zero byte). SetHandleDataFromString can take this over once it is available.
inline vcl::TUniqueGlobal GlobalFromBlock(const std::string& block) {
  return vcl::GlobalFromBytes(GMEM_MOVEABLE | GMEM_DDESHARE, block.data(), block.size(), block.size() + 1);
}

// A copy of a block whose last byte is the last readable byte before a no-access page.
class TGuardedBlock {
 public:
  explicit TGuardedBlock(const std::string& block) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const size_t page = si.dwPageSize;
    const size_t dataPages = (block.size() + page - 1) / page + 1;
    FSize = (dataPages + 1) * page;
    FBase = static_cast<char*>(VirtualAlloc(nullptr, FSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(FBase + dataPages * page, page, PAGE_NOACCESS, &old);
    FData = FBase + dataPages * page - block.size();
    if (!block.empty()) std::memcpy(FData, block.data(), block.size());
    FLength = block.size();
  }
  TGuardedBlock(const TGuardedBlock&) = delete;
  TGuardedBlock& operator=(const TGuardedBlock&) = delete;
  ~TGuardedBlock() { VirtualFree(FBase, 0, MEM_RELEASE); }
  std::string_view View() const { return {FData, FLength}; }

 private:
  char* FBase = nullptr;
  char* FData = nullptr;
  size_t FSize = 0;
  size_t FLength = 0;
};

// Empty files and folders made under a fresh temporary folder, removed again (newest first,
// read-only ones included) when the tree goes.
class TTempTree {
 public:
  explicit TTempTree(const std::wstring& tag) : FRoot(MakeTempFolder(tag)) {}
  TTempTree(const TTempTree&) = delete;
  TTempTree& operator=(const TTempTree&) = delete;
  ~TTempTree() {
    for (auto it = FMade.rbegin(); it != FMade.rend(); ++it) {
      SetFileAttributesW(it->c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!RemoveDirectoryW(it->c_str())) DeleteFileW(it->c_str());
    }
    RemoveDirectoryW(FRoot.c_str());
  }
  // The root folder, with a trailing backslash.
  const std::wstring& Root() const { return FRoot; }
  // Full paths of a new empty file or folder below the root; empty when it cannot be made.
  std::wstring File(const std::wstring& relative) {
    HANDLE h = CreateFileW((FRoot + relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    CloseHandle(h);
    return Made(relative);
  }
  std::wstring Folder(const std::wstring& relative) {
    return CreateDirectoryW((FRoot + relative).c_str(), nullptr) ? Made(relative) : std::wstring();
  }

 private:
  std::wstring Made(const std::wstring& relative) { return FMade.emplace_back(FRoot + relative); }
  std::wstring FRoot;
  std::vector<std::wstring> FMade;
};

// Bytes of UTF-16 text, as the shell's blocks carry it.
inline std::string WideBytes(std::wstring_view s) {
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(wchar_t));
}

inline std::string LE32(uint32_t v) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &v, 4);
  return s;
}

}  // namespace kxtest
