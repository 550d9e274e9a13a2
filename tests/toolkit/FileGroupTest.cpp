// File group descriptors: blocks built here are read through the Windows structures, and the
// parsers take foreign blocks of any shape without reading past them.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include "formats/KXUtil.h"
#include "formats/KXUtilBlocks.h"
#include "support/TestSupport.h"
#include "ToolkitTestSupport.h"

using namespace kestrix;
using kxtest::Lines;
using kxtest::LinesOf;

namespace {

static_assert(sizeof(FILEDESCRIPTORW) == 592 && sizeof(FILEDESCRIPTORA) == 332);

// The block in global memory, read as the Windows structure a drop target reads it.
struct Descriptors {
  UINT count = 0;
  std::vector<FILEDESCRIPTORW> records;
};

Descriptors ReadThroughWindowsLayout(const std::string& block) {
  vcl::TUniqueGlobal mem = kxtest::GlobalFromBlock(block);
  vcl::TGlobalLock lock(mem.Get());
  const auto* group = lock.As<FILEGROUPDESCRIPTORW>();
  Descriptors d;
  d.count = group->cItems;
  EXPECT_EQ(block.size(), sizeof(UINT) + d.count * sizeof(FILEDESCRIPTORW));
  d.records.assign(group->fgd, group->fgd + d.count);
  return d;
}

std::string AnsiBlock(const std::vector<std::string>& names, UINT statedCount) {
  std::string block = kxtest::LE32(statedCount);
  for (const auto& name : names) {
    FILEDESCRIPTORA fd = {};
    fd.dwFlags = FD_ATTRIBUTES;
    memcpy(fd.cFileName, name.data(), std::min(name.size(), sizeof fd.cFileName));
    block.append(reinterpret_cast<const char*>(&fd), sizeof fd);
  }
  return block;
}

std::string WideBlock(std::initializer_list<std::wstring> names) {
  return FileGroupDescriptorFromFileList(L"", *Lines(names));
}

class FileGroupOnDisk : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tree.Folder(L"sub").empty());
    file = tree.File(L"present.txt");
    ASSERT_FALSE(file.empty());
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  }
  kxtest::TTempTree tree{L"filegroup"};
  const std::wstring& folder = tree.Root();
  std::wstring file;
};

}  // namespace

TEST_F(FileGroupOnDisk, AttributesComeFromTheDiskThenTheLineThenArchive) {
  const DWORD real = GetFileAttributesW(file.c_str());
  ASSERT_TRUE(real & FILE_ATTRIBUTE_READONLY);
  struct Case {
    const wchar_t* name;
    intptr_t lineValue;
    DWORD attributes;
  } cases[] = {
      {L"present.txt", 0, real},
      {L"present.txt", FILE_ATTRIBUTE_DIRECTORY, real},  // a real file wins over the line
      {L"missing.txt", 0, FILE_ATTRIBUTE_ARCHIVE},
      {L"missing.txt", FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY},
      {L"sub", 0, FILE_ATTRIBUTE_ARCHIVE},  // folders are not looked up
      {L"sub", FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY},
      // A missing folder is asked about once; what path rules take out of it is still looked up.
      {L"gone\\missing.txt", 0, FILE_ATTRIBUTE_ARCHIVE},
      {L"gone\\..\\present.txt", 0, real},
      {L"present.txt\\gone\\..", 0, real},
      {L"present.txt", 0, real},
  };
  vcl::TStringList lines;
  for (const auto& c : cases) lines.AddInteger(c.name, c.lineValue);
  Descriptors d = ReadThroughWindowsLayout(FileGroupDescriptorFromFileList(folder, lines));
  ASSERT_EQ(d.count, std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(d.records[i].dwFileAttributes, cases[i].attributes);
    EXPECT_EQ(d.records[i].dwFlags, DWORD(FD_ATTRIBUTES));
    EXPECT_EQ(std::wstring(d.records[i].cFileName), folder + cases[i].name);
  }
}

TEST(FileGroup, SizesAreWrittenOnlyWhenEveryLineHasOne) {
  struct Case {
    const char* what;
    std::vector<int32_t> sizes;
    DWORD flags;
    DWORD low[2];
  } cases[] = {
      {"no sizes", {}, FD_ATTRIBUTES, {0, 0}},
      {"fewer sizes than lines", {7}, FD_ATTRIBUTES, {0, 0}},
      {"one size per line", {7, 8}, FD_ATTRIBUTES | FD_FILESIZE, {7, 8}},
      {"surplus sizes are ignored", {7, 8, 9}, FD_ATTRIBUTES | FD_FILESIZE, {7, 8}},
      {"a negative size is its bit pattern", {-1, INT32_MIN}, FD_ATTRIBUTES | FD_FILESIZE, {0xFFFFFFFF, 0x80000000}},
  };
  auto lines = Lines({L"a", L"b"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Descriptors d = ReadThroughWindowsLayout(FileGroupDescriptorFromFileListEx(L"X:\\nowhere", *lines, c.sizes));
    ASSERT_EQ(d.count, 2u);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(d.records[i].dwFlags, c.flags);
      EXPECT_EQ(d.records[i].nFileSizeLow, c.low[i]);
      EXPECT_EQ(d.records[i].nFileSizeHigh, 0u);
      EXPECT_EQ(d.records[i].ftLastWriteTime.dwLowDateTime, 0u);
    }
  }
}

TEST(FileGroup, NamesAreJoinedAndCutToFitTheField) {
  const std::wstring longName(300, L'n');
  // A cut must not leave half of a surrogate pair behind.
  const std::wstring pairAtTheCut = std::wstring(258, L'p') + L"\U0001F600" + L"tail";
  struct Case {
    std::wstring folder, line, stored;
  } cases[] = {
      {L"C:\\Temp", L"a.txt", L"C:\\Temp\\a.txt"},
      {L"C:\\Temp\\", L"a.txt", L"C:\\Temp\\a.txt"},
      {L"", L"rel\\a.txt", L"rel\\a.txt"},
      {L"", longName, longName.substr(0, 259)},
      {L"", pairAtTheCut, pairAtTheCut.substr(0, 258)},
  };
  for (const auto& c : cases) {
    Descriptors d = ReadThroughWindowsLayout(FileGroupDescriptorFromFileList(c.folder, *Lines({c.line})));
    ASSERT_EQ(d.count, 1u);
    EXPECT_EQ(std::wstring(d.records[0].cFileName), c.stored);
  }
  EXPECT_EQ(FileGroupDescriptorFromFileList(L"C:\\Temp", vcl::TStringList()), kxtest::LE32(0));
}

TEST(FileGroup, FormatNameIsTheShellsUnicodeDescriptor) {
  EXPECT_EQ(KXFileGroupDescriptorFormatName(), L"FileGroupDescriptorW");
  EXPECT_EQ(RegisterClipboardFormatW(KXFileGroupDescriptorFormatName().c_str()), RegisterClipboardFormatW(CFSTR_FILEDESCRIPTORW));
}

TEST(FileGroup, ParsesBothFormsBack) {
  const std::wstring full(260, L'f');  // a field with no NUL: all 260 characters
  EXPECT_EQ(LinesOf(FileListFromFileGroupDescriptor(WideBlock({L"one", L"\U0001F600 two", L"three"}))),
            (std::vector<std::wstring>{L"one", L"\U0001F600 two", L"three"}));
  std::string noNul = WideBlock({L"x"});
  std::memcpy(&noNul[4 + 72], kxtest::WideBytes(full).data(), 520);
  EXPECT_EQ(LinesOf(FileListFromFileGroupDescriptor(noNul)), std::vector<std::wstring>{full});

  const std::string cafe = vcl::AnsiFromUnicode(L"caf\u00e9");
  EXPECT_EQ(LinesOf(FileListFromFileGroupDescriptorA(AnsiBlock({"a.txt", cafe, std::string(260, 'f')}, 3))),
            (std::vector<std::wstring>{L"a.txt", vcl::UnicodeFromAnsi(cafe), full}));
}

TEST(FileGroup, ParsesForeignBlocksOfAnyShape) {
  using V = std::vector<std::wstring>;
  const std::string two = WideBlock({L"a", L"b"});
  auto restated = [&](UINT count) { return kxtest::LE32(count) + two.substr(4); };
  struct Case {
    const char* what;
    std::string block;
    bool wide;
    V names;
  } cases[] = {
      {"nothing", "", true, V{}},
      {"3 bytes", kxtest::Bytes("\x01\x00\x00"), true, V{}},
      {"a count and no records", kxtest::LE32(3), true, V{}},
      {"a count of 0 hides records", restated(0), true, V{}},
      {"the count states more records than the block holds", restated(5), true, V{L"a", L"b"}},
      {"the count states fewer records than the block holds", restated(1), true, V{L"a"}},
      {"a negative count", restated(0xFFFFFFFF), true, V{}},
      {"the largest count", restated(0x7FFFFFFF), true, V{L"a", L"b"}},
      {"a record one byte short", two.substr(0, two.size() - 1), true, V{L"a"}},
      {"ANSI: more stated than held", AnsiBlock({"a", "b"}, 9), false, V{L"a", L"b"}},
      {"ANSI: a record one byte short", AnsiBlock({"a"}, 1).substr(0, 335), false, V{}},
      {"ANSI records read as UTF-16", AnsiBlock({"ab", "cd"}, 2), true, V{std::wstring(1, wchar_t(L'a' | L'b' << 8))}},
  };
  for (const auto& c : cases) {
    vcl::TStringList* list = c.wide ? FileListFromFileGroupDescriptor(c.block) : FileListFromFileGroupDescriptorA(c.block);
    EXPECT_EQ(LinesOf(list), c.names) << c.what;
  }
}

TEST(FileGroup, NoReadGoesPastTheBlock) {
  const std::string wide = WideBlock({L"a.txt", L"b"});
  const std::string ansi = AnsiBlock({"a.txt", std::string(260, 'x')}, 2);
  for (const auto& [full, isWide] : {std::pair{wide, true}, std::pair{ansi, false}}) {
    for (size_t n = 0; n <= full.size(); ++n) {
      kxtest::TGuardedBlock guarded(full.substr(0, n));
      // Read each prefix in both forms: a block in the wrong form must be just as safe.
      for (bool asWide : {true, false}) {
        for (const auto& r : blocks::FileGroupNameRanges(guarded.View(), asWide)) EXPECT_LE(r.Offset + r.Length, n);
      }
    }
    EXPECT_EQ(blocks::FileGroupNameRanges(full, isWide).size(), 2u);
  }
}
