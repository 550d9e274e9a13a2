// Building and parsing HDROP blocks and file group descriptors of 1,000 to 1,000,000 names, so
// that linear growth shows (ten times the names, about ten times the time). Beside them, a
// memcpy of each block (into a new allocation) and, for the smaller HDROP blocks, the shell's own
// DragQueryFileW walking every name. Prints milliseconds, best of three runs, and how many times
// the copy's time building takes.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "bench/BenchClock.h"
#include "formats/KXUtil.h"
#include "framework/Handles.h"
#include "package/KestrixVcl.h"

namespace {

using kxbench::Now;

double Best(const std::function<void()>& run) {
  double best = 1e300;
  for (int i = 0; i < 3; ++i) {
    double t0 = Now();
    run();
    best = std::min(best, Now() - t0);
  }
  return best;
}

double CopyTime(const std::string& block) {
  return Best([&] {
    std::unique_ptr<char[]> copy(new char[block.size()]);
    std::memcpy(copy.get(), block.data(), block.size());
    volatile char sink = copy[block.size() - 1];
    (void)sink;
  });
}

// The shell walks from the first name for every index, so its full walk grows with the square.
double ShellWalkTime(const std::string& block) {
  vcl::TUniqueGlobal mem = vcl::GlobalFromBytes(GMEM_MOVEABLE | GMEM_DDESHARE, block.data(), block.size(), block.size() + 1);
  HDROP drop = static_cast<HDROP>(mem.Get());
  return Best([&] {
    wchar_t name[MAX_PATH];
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) DragQueryFileW(drop, i, name, MAX_PATH);
  });
}

void Row(const char* what, int n, double build, size_t bytes, double parse, double copy, double shell) {
  std::printf("%-18s %9d %11.2f %11.2f %11.2f %11.1f", what, n, build, parse, copy, copy > 0 ? build / copy : 0.0);
  if (shell >= 0) std::printf(" %13.2f", shell);
  else std::printf(" %13s", "-");
  std::printf("  (%zu bytes)\n", bytes);
}

}  // namespace

int main() {
  kestrix::TKestrixLibrary library;
  constexpr size_t kMaxDescriptorBytes = 256u << 20;  // keeps the 32-bit build within its memory
  std::printf("%-18s %9s %11s %11s %11s %11s %13s\n", "block", "names", "build ms", "parse ms", "memcpy ms", "build/copy",
              "shell walk ms");
  for (int n : {1000, 10000, 100000, 1000000}) {
    vcl::TStringList names;
    for (int i = 0; i < n; ++i) names.Add(L"file-" + std::to_wstring(i) + L".txt");

    for (bool unicode : {true, false}) {
      std::string block;
      double build = Best([&] { block = kestrix::HDROPFromFileListEx(L"C:\\bench", names, unicode); });
      double parse = Best([&] { delete kestrix::FileListFromHDROP(block); });
      double shell = unicode && n <= 10000 ? ShellWalkTime(block) : -1;
      Row(unicode ? "HDROP Unicode" : "HDROP ANSI", n, build, block.size(), parse, CopyTime(block), shell);
    }

    if (static_cast<size_t>(n) * 592 > kMaxDescriptorBytes) {
      std::printf("%-18s %9d  skipped: the block would take %zu MB\n", "file group", n, static_cast<size_t>(n) * 592 >> 20);
      continue;
    }
    // The builder asks the file system about every name; these names do not exist.
    std::string block;
    double build = Best([&] { block = kestrix::FileGroupDescriptorFromFileList(L"C:\\no-such-bench-folder", names); });
    double parse = Best([&] { delete kestrix::FileListFromFileGroupDescriptor(block); });
    Row("file group", n, build, block.size(), parse, CopyTime(block), -1);
  }
  return 0;
}
