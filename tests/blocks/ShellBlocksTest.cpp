// HDROP name lists read from pFiles, and the page title a browser's URL drag keeps in the first
// file descriptor.
#include <gtest/gtest.h>

#include <vector>

#include "BlockTestSupport.h"
#include "formats/KXUtilBlocks.h"

using namespace kestrix::blocks;
using namespace blockstest;

namespace {

std::string Header(std::uint32_t pFiles, std::uint32_t fWide) { return LE32(pFiles) + std::string(12, '\0') + LE32(fWide); }

std::vector<std::string> NamesOf(std::string_view block, const THDROPList& list) {
  std::vector<std::string> out;
  for (const TByteRange& r : list.Names) {
    EXPECT_TRUE(Fits(block.size(), r.Offset, r.Length));
    out.emplace_back(Slice(block, r));
  }
  return out;
}

}  // namespace

TEST(HDROPList, ReadsFromPFilesWithinTheBlock) {
  using V = std::vector<std::string>;
  struct Case {
    const char* what;
    std::string block;
    V names;
    bool terminated, wellFormed;
  } cases[] = {
      {"built by us", Header(20, 0) + Bytes("a\0bc\0\0"), V{"a", "bc"}, true, true},
      {"a longer header: names at pFiles", Header(28, 0) + "\x01\x02\x03\x04zzzz" + Bytes("x\0\0"), V{"x"}, true, true},
      {"wide at an odd pFiles", Header(21, 1) + "\x7F" + Wide("ab") + std::string(4, '\0'), V{Wide("ab")}, true, true},
      {"pFiles inside the header", Header(4, 0) + Bytes("x\0\0"), V{}, false, false},
      {"pFiles 0", Header(0, 0) + Bytes("x\0\0"), V{}, false, false},
      {"pFiles at the block's end", Header(23, 0) + Bytes("x\0\0"), V{}, false, false},
      {"pFiles beyond the block", Header(0xFFFFFFFF, 0) + Bytes("x\0\0"), V{}, false, false},
      {"header only", Header(20, 0), V{}, false, false},
      {"short of a header", Header(20, 0).substr(0, 19), V{}, false, false},
      {"unterminated: the shell would read on", Header(20, 0) + "abc", V{"abc"}, false, false},
      {"one NUL after a name is no end", Header(20, 0) + Bytes("abc\0"), V{"abc"}, false, false},
      {"a leading NUL: the shell sees no names", Header(20, 0) + Bytes("\0a\0\0"), V{"a"}, true, false},
      {"an empty list", Header(20, 0) + Bytes("\0\0"), V{}, true, false},
      {"wide: a NUL pair needs two zero units", Header(20, 1) + Wide("A") + Bytes("\0\x41\0\0\0\0"), V{Wide("A") + Bytes("\0\x41")}, true, true},
      {"wide: an odd last byte is dropped", Header(20, 1) + Wide("ab") + "c", V{Wide("ab")}, false, false},
  };
  for (const Case& c : cases) {
    TExact exact(c.block);
    const THDROPList list = ReadHDROPList(exact.View());
    EXPECT_EQ(NamesOf(exact.View(), list), c.names) << c.what;
    EXPECT_EQ(list.Terminated, c.terminated) << c.what;
    EXPECT_EQ(list.WellFormed(), c.wellFormed) << c.what;
    EXPECT_EQ(HDROPHasWellFormedNames(exact.View()), c.wellFormed) << c.what;
  }
}

TEST(HDROPList, BuiltBlocksReadBack) {
  for (bool wide : {false, true}) {
    const std::vector<std::string> names = {wide ? Wide("C:\\a.txt") : "C:\\a.txt", wide ? Wide("b") : "b"};
    const std::string block = HDROPBlockFromNames(names, wide);
    const THDROPList list = ReadHDROPList(block);
    EXPECT_EQ(list.Wide, wide);
    EXPECT_TRUE(list.WellFormed());
    EXPECT_EQ(NamesOf(block, list), names);
    EXPECT_EQ(list.Names.back().End() + 2 * (wide ? 2 : 1), block.size());  // the name's NUL, the list's NUL
  }
}

TEST(FileGroupFirstName, TheTitleEndsAtItsNulTheRecordOrTheBlock) {
  const std::string countOne = LE32(1);
  const std::string before(72, '\x11');  // a record's fields ahead of cFileName
  struct Case {
    const char* what;
    std::string block;
    bool wide;
    std::string title;
  } cases[] = {
      {"ANSI", countOne + before + Bytes("Example Page.url\0junk"), false, "Example Page.url"},
      {"Unicode", countOne + before + Wide("Page") + Bytes("\0\0junk"), true, Wide("Page")},
      {"a record cut short", countOne + before + "Trunc", false, "Trunc"},
      {"a wide record cut inside a character", countOne + before + Wide("ab") + "c", true, Wide("ab")},
      {"no NUL in the ANSI field: the record ends it", countOne + before + std::string(300, 'n'), false, std::string(260, 'n')},
      {"no NUL in the wide field", countOne + before + Wide(std::string(270, 'w')), true, Wide(std::string(260, 'w'))},
      {"count 0", LE32(0) + before + "Title", false, ""},
      {"no room for a name", countOne + before, false, ""},
      {"shorter than the count", "\x01\x00", false, ""},
  };
  for (const Case& c : cases) {
    TExact exact(c.block);
    const TByteRange r = FileGroupFirstNameRange(exact.View(), c.wide);
    EXPECT_EQ(std::string(Slice(exact.View(), r)), c.title) << c.what;
    if (!c.title.empty()) {
      EXPECT_EQ(r.Offset, 76u) << c.what;
    }
  }
}

TEST(MozURL, URLAndTitleLinesEndAtLineFeedNulOrBlock) {
  struct Case {
    const char* what;
    std::string block;
    std::string url, title;  // as UTF-16LE bytes
  } cases[] = {
      {"URL and title", Wide("http://a.test/\nPage"), Wide("http://a.test/"), Wide("Page")},
      {"CR LF, a third line", Wide("http://a.test/\r\nPage\r\nmore") , Wide("http://a.test/"), Wide("Page")},
      {"NUL ends both", Wide("http://a.test/\nPa") + Bytes("\0\0") + Wide("ge"), Wide("http://a.test/"), Wide("Pa")},
      {"URL only", Wide("http://a.test/"), Wide("http://a.test/"), ""},
      {"empty title", Wide("http://a.test/\n"), Wide("http://a.test/"), ""},
      {"odd trailing byte", Wide("u\nt") + "x", Wide("u"), Wide("t")},
      {"empty", "", "", ""},
  };
  for (const Case& c : cases) {
    TExact exact(c.block);
    const TMozURL m = ReadMozURL(exact.View());
    EXPECT_EQ(std::string(Slice(exact.View(), m.URL)), c.url) << c.what;
    EXPECT_EQ(std::string(Slice(exact.View(), m.Title)), c.title) << c.what;
  }
}

TEST(MozURL, OnlyATrailingURLExtensionLeavesTheTitle) {
  const std::pair<std::string, std::string> cases[] = {
      {"Page.url", "Page"},   {"Page.URL", "Page"},     {"Parse.URLs \xE2\x80\x93 Doku", "Parse.URLs \xE2\x80\x93 Doku"},
      {".url", ""},           {"url", "url"},           {"a.url.url", "a.url"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(TitleWithoutURLExtension(in), out) << in;
  EXPECT_EQ(TitleWithoutURLExtension(std::wstring(L"Caf\u00E9.Url")), L"Caf\u00E9");
}
