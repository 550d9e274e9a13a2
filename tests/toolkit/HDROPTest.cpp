// HDROP file lists: blocks built here are read back by the shell's DragQueryFile, and the parser
// takes foreign blocks of any shape without reading past them.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "formats/KXUtil.h"
#include "formats/KXUtilBlocks.h"
#include "ToolkitTestSupport.h"
#include "support/TestSupport.h"

using namespace kestrix;
using kxtest::Lines;
using kxtest::LinesOf;

namespace {

std::string Header(uint32_t fWide, uint32_t pFiles = 20) {
  return kxtest::LE32(pFiles) + std::string(12, '\0') + kxtest::LE32(fWide);
}

std::string Build(const std::wstring& folder, std::initializer_list<std::wstring> items, bool unicode) {
  return HDROPFromFileListEx(folder, *Lines(items), unicode);
}

// Every name as the shell reads it from the block in global memory, through both entry points.
struct ShellNames {
  std::vector<std::wstring> wide;
  std::vector<std::string> ansi;
};

ShellNames QueryShell(const std::string& block) {
  vcl::TUniqueGlobal mem = kxtest::GlobalFromBlock(block);
  HDROP drop = static_cast<HDROP>(mem.Get());
  ShellNames out;
  UINT countW = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  UINT countA = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  EXPECT_EQ(countW, countA);
  for (UINT i = 0; i < countW; ++i) {
    std::wstring w(DragQueryFileW(drop, i, nullptr, 0), L'\0');
    DragQueryFileW(drop, i, w.data(), static_cast<UINT>(w.size() + 1));
    out.wide.push_back(w);
    std::string a(DragQueryFileA(drop, i, nullptr, 0), '\0');
    DragQueryFileA(drop, i, a.data(), static_cast<UINT>(a.size() + 1));
    out.ansi.push_back(a);
  }
  return out;
}

}  // namespace

TEST(HDROP, BuildsTheExactBlock) {
  const std::string ansiNames = kxtest::Bytes("C:\\Temp\\a.txt\0C:\\Temp\\b.txt\0\0");
  const std::string wideNames = kxtest::WideBytes(std::wstring(L"C:\\Temp\\a.txt\0C:\\Temp\\b.txt\0\0", 29));
  struct Case {
    const char* what;
    std::string built;
    std::string expected;
  } cases[] = {
      {"ANSI", Build(L"C:\\Temp", {L"a.txt", L"b.txt"}, false), Header(0) + ansiNames},
      {"folder ending in a backslash", Build(L"C:\\Temp\\", {L"a.txt", L"b.txt"}, false), Header(0) + ansiNames},
      {"Unicode", Build(L"C:\\Temp", {L"a.txt", L"b.txt"}, true), Header(0xFFFFFFFF) + wideNames},
      {"empty ANSI", Build(L"C:\\Temp", {}, false), Header(0) + std::string(1, '\0')},
      {"empty Unicode", Build(L"C:\\Temp", {}, true), Header(0xFFFFFFFF) + std::string(2, '\0')},
      {"no folder: lines pass through", Build(L"", {L"D:\\x", L"y"}, false), Header(0) + kxtest::Bytes("D:\\x\0y\0\0")},
      {"an empty line with no folder is an empty name", Build(L"", {L"a", L"", L"b"}, false),
       Header(0) + kxtest::Bytes("a\0\0b\0\0")},
  };
  for (const auto& c : cases) EXPECT_EQ(c.built, c.expected) << c.what;
  EXPECT_EQ(cases[0].built.size(), 49u);
  EXPECT_EQ(cases[2].built.size(), 78u);
}

TEST(HDROP, PlatformChoiceFollowsTheVersionRecord) {
  ASSERT_EQ(OSVersionInfo.dwPlatformId, DWORD(VER_PLATFORM_WIN32_NT));
  auto names = Lines({L"a.txt"});
  EXPECT_EQ(HDROPFromFileList(L"C:\\Temp", *names), HDROPFromFileListEx(L"C:\\Temp", *names, true));
}

TEST(HDROP, TheShellReadsBuiltBlocksInBothForms) {
  // é exists in the usual ANSI code pages; whatever the code page, the shell's ANSI view must
  // agree with the system's own conversion of the name.
  const std::vector<std::wstring> expected = {L"C:\\Temp\\a.txt", L"C:\\Temp\\caf\u00e9 menu.txt", L"C:\\Temp\\sub\\z"};
  auto names = Lines({L"a.txt", L"caf\u00e9 menu.txt", L"sub\\z"});
  for (bool unicode : {true, false}) {
    SCOPED_TRACE(unicode ? "Unicode block" : "ANSI block");
    ShellNames shell = QueryShell(HDROPFromFileListEx(L"C:\\Temp", *names, unicode));
    ASSERT_EQ(shell.ansi.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(shell.ansi[i], vcl::AnsiFromUnicode(expected[i]));
      EXPECT_EQ(shell.wide[i], unicode ? expected[i] : vcl::UnicodeFromAnsi(vcl::AnsiFromUnicode(expected[i])));
    }
  }
}

TEST(HDROP, ParsesBuiltBlocksBackInOrder) {
  const std::wstring outsideBmp = L"\U0001F600.txt";  // a surrogate pair must survive unchanged
  auto names = Lines({L"one", L"two words", outsideBmp, L"sub\\four"});
  EXPECT_EQ(LinesOf(FileListFromHDROP(HDROPFromFileListEx(L"C:\\d", *names, true))),
            (std::vector<std::wstring>{L"C:\\d\\one", L"C:\\d\\two words", L"C:\\d\\" + outsideBmp, L"C:\\d\\sub\\four"}));
  EXPECT_EQ(LinesOf(FileListFromHDROP(HDROPFromFileListEx(L"C:\\d", *Lines({L"one", L"two"}), false))),
            (std::vector<std::wstring>{L"C:\\d\\one", L"C:\\d\\two"}));
}

TEST(HDROP, AnEmptyNameEndsTheListOnReading) {
  // The builder writes what it is given; the reader, like the shell, stops at the double NUL.
  std::string block = Build(L"", {L"a", L"", L"b"}, true);
  EXPECT_EQ(LinesOf(FileListFromHDROP(block)), std::vector<std::wstring>{L"a"});
  EXPECT_EQ(QueryShell(block).wide, std::vector<std::wstring>{L"a"});
}

TEST(HDROP, ParsesForeignBlocksOfAnyShape) {
  using V = std::vector<std::wstring>;
  const std::string w = Header(0xFFFFFFFF);
  struct Case {
    const char* what;
    std::string block;
    V names;
  } cases[] = {
      {"nothing", "", V{}},
      {"1 byte", std::string(1, '\x01'), V{}},
      {"3 bytes", "abc", V{}},
      {"header only", Header(0), V{}},
      {"header only, wide", w, V{}},
      {"no closing NUL pair (ANSI)", Header(0) + kxtest::Bytes("a\0b"), V{L"a", L"b"}},
      {"no NUL at all (wide)", w + kxtest::WideBytes(L"abc"), V{L"abc"}},
      {"odd byte count: the last byte is dropped", w + kxtest::WideBytes(L"ab") + "c", V{L"ab"}},
      {"a single byte of a wide list", w + "x", V{}},
      {"text after the first NUL pair is ignored", Header(0) + kxtest::Bytes("a\0\0junk\0"), V{L"a"}},
      {"pFiles beyond the block", Header(0, 9999) + kxtest::Bytes("x\0\0"), V{}},
      {"pFiles inside the header", Header(0, 4) + kxtest::Bytes("x\0\0"), V{}},
      {"a longer header: the names start at pFiles", Header(0, 24) + "\x01\x02\x03\x04" + kxtest::Bytes("x\0\0"), V{L"x"}},
      {"any non-zero fWide means UTF-16", Header(1) + kxtest::WideBytes(std::wstring(L"ab\0\0", 4)), V{L"ab"}},
      {"a leading NUL is skipped", Header(0) + kxtest::Bytes("\0a\0\0"), V{L"a"}},
      {"a list that starts with the NUL pair", Header(0) + kxtest::Bytes("\0\0a\0"), V{}},
      {"a UTF-16 NUL pair is two zero units, not two zero bytes",
       w + kxtest::WideBytes(std::wstring(L"A\u4100\0\0", 4)), V{L"A\u4100"}},
  };
  for (const auto& c : cases) EXPECT_EQ(LinesOf(FileListFromHDROP(c.block)), c.names) << c.what;
  // The shell reads the longer header the same way.
  EXPECT_EQ(QueryShell(Header(0, 24) + "\x01\x02\x03\x04" + kxtest::Bytes("x\0\0")).wide, V{L"x"});
}

TEST(HDROP, NoReadGoesPastTheBlock) {
  // Every prefix of real blocks, each ending right before an inaccessible page: a read beyond
  // the block faults, and every name must lie inside it.
  const std::string blocks[] = {
      Build(L"C:\\Temp", {L"a.txt", L"bb.txt", L"c"}, true),
      Build(L"C:\\Temp", {L"a.txt", L"bb.txt", L"c"}, false),
  };
  for (const std::string& full : blocks) {
    for (size_t n = 0; n <= full.size(); ++n) {
      kxtest::TGuardedBlock guarded(full.substr(0, n));
      for (const auto& r : blocks::HDROPNameRanges(guarded.View())) {
        EXPECT_LE(r.Offset + r.Length, n);
        EXPECT_GT(r.Length, 0u);
      }
    }
  }
}
