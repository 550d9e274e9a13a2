// "HTML Format" blocks: the header's fields and the ranges they name, bounded by the block, its
// first NUL and EndHTML.
#include <gtest/gtest.h>

#include <cstdio>

#include "BlockTestSupport.h"
#include "formats/KXHTMLBlock.h"

using namespace kestrix::blocks;
using namespace blockstest;

namespace {

const std::string kBefore = "<html><body><!--StartFragment-->";
const std::string kFragment = "<b>caf\xC3\xA9</b>";
const std::string kAfter = "<!--EndFragment--></body></html>";

// A block as Windows producers write it: ten-digit offsets, CR LF line ends, the HTML right after
// the header. Delta moves every stated offset; Tail follows EndHTML (a NUL, slack, nothing).
std::string Block(const std::string& tail, std::int64_t delta = 0, const std::string& extraLine = "") {
  auto line = [](const char* name, std::int64_t v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s:%010lld\r\n", name, static_cast<long long>(v));
    return std::string(buf);
  };
  // Build once with zeros to learn the header's size, then with the real offsets.
  std::string header;
  for (int pass = 0; pass < 2; ++pass) {
    const std::int64_t startHTML = static_cast<std::int64_t>(header.size());
    const std::int64_t startFragment = startHTML + static_cast<std::int64_t>(kBefore.size());
    const std::int64_t endFragment = startFragment + static_cast<std::int64_t>(kFragment.size());
    const std::int64_t endHTML = endFragment + static_cast<std::int64_t>(kAfter.size());
    header = "Version:0.9\r\n" + line("StartHTML", startHTML + delta) + line("EndHTML", endHTML + delta) +
             line("StartFragment", startFragment + delta) + line("EndFragment", endFragment + delta) + extraLine;
  }
  return header + kBefore + kFragment + kAfter + tail;
}

std::string Text(std::string_view block, TByteRange r) { return std::string(Slice(block, r)); }

}  // namespace

TEST(HTMLBlock, RangesBoundedByTheBlockItsNulAndEndHTML) {
  const std::string html = kBefore + kFragment + kAfter;
  struct Case {
    const char* what;
    std::string block;
    std::string fragment, html, sourceURL;
    bool hasHeader;
  } cases[] = {
      {"NUL-terminated", Block(std::string(1, '\0')), kFragment, html, "", true},
      {"slack after the NUL", Block(std::string(1, '\0') + "<i>stale</i>"), kFragment, html, "", true},
      {"no NUL, slack after EndHTML", Block("garbage"), kFragment, html, "", true},
      {"no NUL, no slack", Block(""), kFragment, html, "", true},
      {"with a source URL", Block("", 0, "SourceURL:http://a.test/p?q=1\r\n"), kFragment, html, "http://a.test/p?q=1", true},
      {"offsets past the block: clipped", Block("", 5), kFragment.substr(5) + kAfter.substr(0, 5),
       html.substr(5), "", true},
      {"StartHTML inside the header ends it", Block("", -60), "", "", "", false},
      {"no header", html, "", "", "", false},
      {"empty", "", "", "", "", false},
      {"header only, cut inside a number", Block("").substr(0, 30), "", "", "", false},
  };
  for (const Case& c : cases) {
    TExact exact(c.block);
    const THTMLBlock b = ReadHTMLBlock(exact.View());
    EXPECT_EQ(b.HasHeader, c.hasHeader) << c.what;
    EXPECT_EQ(Text(exact.View(), b.Fragment), c.fragment) << c.what;
    EXPECT_EQ(Text(exact.View(), b.HTML), c.html) << c.what;
    EXPECT_EQ(Text(exact.View(), b.SourceURL), c.sourceURL) << c.what;
    EXPECT_LE(b.DataEnd, c.block.size()) << c.what;
    if (c.hasHeader) {
      EXPECT_EQ(Text(exact.View(), b.Version), "0.9") << c.what;
    }
  }
}

TEST(HTMLBlock, HeaderLinesOfOtherShapes) {
  // LF-only line ends, names in any case, spaces around numbers, -1 for a missing selection, a
  // number too long to be an offset, and a line of no known name.
  auto make = [](int start, int end) {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "Version:1.0\nstarthtml: %03d \nENDHTML:%03d\nStartFragment:%03d\nEndFragment:%03d\n"
                  "StartSelection:-1\nEndSelection:99999999999999999999\nX-Other:1\n",
                  start, end, start, end);
    return std::string(buf);
  };
  const int start = static_cast<int>(make(0, 0).size());
  const std::string block = make(start, start + 15) + "<p>fragment</p>tail";
  const THTMLBlock b = ReadHTMLBlock(TExact(block).View());
  EXPECT_TRUE(b.HasHeader);
  EXPECT_EQ(b.HeaderEnd, static_cast<std::size_t>(start));
  EXPECT_EQ(b.StartSelection, -1);
  EXPECT_EQ(b.EndSelection, -1);
  EXPECT_EQ(Text(block, b.Selection), "");
  EXPECT_EQ(Text(block, b.Fragment), "<p>fragment</p>");
  EXPECT_EQ(Text(block, b.HTML), "<p>fragment</p>");
}

TEST(HTMLBlock, BuiltBlocksReadBackWithByteOffsets) {
  // Offsets count UTF-8 bytes, so multi-byte characters before and inside the fragment must not
  // shift it; a source URL stays one header line.
  struct Case {
    const char* what;
    std::string fragment, sourceURL, readURL;
  } cases[] = {
      {"multi-byte fragment", "<b>Caf\xC3\xA9 \xE2\x80\x93 \xE6\x9D\xB1\xE4\xBA\xAC</b>", "", ""},
      {"empty fragment", "", "", ""},
      {"with a source URL", "<p>x</p>", "http://a.test/p?q=1", "http://a.test/p?q=1"},
      {"line ends in the URL are dropped", "<p>x</p>", "http://a.test/\r\nStartHTML:0", "http://a.test/StartHTML:0"},
  };
  for (const Case& c : cases) {
    const std::string block = HTMLBlockFromFragment(c.fragment, c.sourceURL);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(block.back(), '\0') << c.what;
    const THTMLBlock b = ReadHTMLBlock(TExact(block).View());
    EXPECT_TRUE(b.HasHeader) << c.what;
    EXPECT_EQ(Text(block, b.Fragment), c.fragment) << c.what;
    EXPECT_EQ(Text(block, b.SourceURL), c.readURL) << c.what;
    EXPECT_EQ(static_cast<std::size_t>(b.EndHTML), block.size() - 1) << c.what;
    EXPECT_EQ(block.substr(b.Fragment.Offset - 20, 20), "<!--StartFragment-->") << c.what;
  }
}

TEST(HTMLBlock, TextHtmlEncodingIsRecognised) {
  struct Case {
    std::string block;
    bool utf16;
  } cases[] = {
      {Bytes("\xFF\xFE<\0h\0"), true}, {Bytes("<\0h\0t\0"), true}, {"<html>", false},
      {"\xEF\xBB\xBF<html>", false},   {"<", false},               {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(LooksLikeUTF16LE(TExact(c.block).View()), c.utf16) << c.block;
}
