// Names from foreign descriptors made safe to create under a chosen folder, and made unique
// within one drop.
#include <gtest/gtest.h>

#include <string>

#include "formats/KXSafeNames.h"

using namespace kestrix::blocks;

namespace {

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '#';
  return out;
}

}  // namespace

TEST(SafeNames, HostileNamesStayInsideTheFolder) {
  const std::u16string pair = u"\xD83D\xDE00";
  struct Case {
    std::u16string name, path;
  } cases[] = {
      {u"report.txt", u"report.txt"},
      {u"sub\\dir/file.txt", u"sub\\dir\\file.txt"},
      {u"..\\..\\x", u"x"},
      {u"a/../../b", u"a\\b"},
      {u"C:\\Windows\\x", u"Windows\\x"},
      {u"C:x", u"x"},
      {u"\\\\server\\share\\x", u"x"},
      {u"\\\\?\\C:\\x", u"x"},
      {u"\\\\?\\UNC\\server\\share\\x", u"x"},
      {u"\\\\.\\PhysicalDrive0", u""},
      {u"/etc/passwd", u"etc\\passwd"},
      {u"CON", u"_CON"},
      {u"con.txt", u"_con.txt"},
      {u"LPT1", u"_LPT1"},
      {u"COM9.log", u"_COM9.log"},
      {u"com\u00B9", u"_com\u00B9"},
      {u"CONIN$", u"_CONIN$"},
      {u"nul .tar.gz", u"_nul .tar.gz"},
      {u"CONSOLE", u"CONSOLE"},
      {u"dir\\aux\\x", u"dir\\_aux\\x"},
      {u"a.txt:stream", u"a.txt_stream"},
      {u"a.txt::$DATA", u"a.txt__$DATA"},
      {u"name. . .", u"name"},
      {u"trailing ", u"trailing"},
      {u"dots...\\x.", u"dots\\x"},
      {u"", u""},
      {u".", u""},
      {u"...", u""},
      {u" . \\x", u"x"},
      {u"a\tb\x01<>\"|?*.txt", u"a_b_______.txt"},
      {u"lone\xD800high", u"lone_high"},
      {u"lone\xDC00low", u"lone_low"},
      {u"ok" + pair, u"ok" + pair},
  };
  for (const Case& c : cases) EXPECT_EQ(SafeRelativePath(c.name), c.path) << Narrow(c.name);
}

TEST(SafeNames, LongNamesAreCutWhole) {
  // A component of 300 units: 255 kept, or 254 when a surrogate pair would be split.
  EXPECT_EQ(SafeNameComponent(std::u16string(300, u'a')), std::u16string(255, u'a'));
  const std::u16string pairAtCut = std::u16string(254, u'a') + u"\xD83D\xDE00" + u"tail";
  EXPECT_EQ(SafeNameComponent(pairAtCut), std::u16string(254, u'a'));
  // Cutting may leave dots or blanks at the end; they go too.
  EXPECT_EQ(SafeNameComponent(std::u16string(250, u'a') + u"  . . . . . x"), std::u16string(250, u'a'));
  // A 5000-unit path keeps the whole components that fit.
  std::u16string deep;
  for (int i = 0; i < 50; ++i) deep += std::u16string(99, static_cast<char16_t>(u'a' + i % 26)) + u"\\";
  const std::u16string path = SafeRelativePath(deep + u"leaf.txt");
  EXPECT_EQ(path.size(), 10 * 100 - 1);
  EXPECT_LE(path.size(), SafeRelativePathMaxUnits);
  EXPECT_EQ(path.back(), u'j');
}

TEST(SafeNames, UniqueNamesIgnoreCaseAndKeepTheExtension) {
  TUniqueNames names;
  names.Reserve(u"existing.txt");
  struct Step {
    std::u16string path, fallback, claimed;
  } steps[] = {
      {u"A.txt", u"File 1", u"A.txt"},
      {u"a.TXT", u"File 2", u"a (2).TXT"},
      {u"a.txt", u"File 3", u"a (3).txt"},
      {u"EXISTING.TXT", u"File 4", u"EXISTING (2).TXT"},
      {u"report", u"File 5", u"report"},
      {u"Report", u"File 6", u"Report (2)"},
      {u"archive.tar.gz", u"File 7", u"archive.tar.gz"},
      {u"archive.tar.gz", u"File 8", u"archive.tar (2).gz"},
      {u".profile", u"File 9", u".profile"},
      {u".PROFILE", u"File 10", u".PROFILE (2)"},
      {u"dir\\x.txt", u"File 11", u"dir\\x.txt"},
      {u"DIR\\X.txt", u"File 12", u"DIR\\X (2).txt"},
      {u"\u00C9t\u00E9.txt", u"File 13", u"\u00C9t\u00E9.txt"},
      {u"\u00E9T\u00C9.TXT", u"File 14", u"\u00E9T\u00C9 (2).TXT"},
      {u"\u0416.txt", u"File 15", u"\u0416.txt"},
      {u"\u0436.txt", u"File 16", u"\u0436 (2).txt"},
      {u"", u"File 17", u"File 17"},
      {u"File 17", u"File 18", u"File 17 (2)"},
  };
  for (const Step& s : steps) EXPECT_EQ(names.Claim(s.path, s.fallback), s.claimed) << Narrow(s.path);
  // A number never takes a name past the limits.
  const std::u16string longest(SafeNameComponentMaxUnits, u'n');
  EXPECT_EQ(names.Claim(longest, u"x"), longest);
  const std::u16string second = names.Claim(longest, u"x");
  EXPECT_EQ(second, std::u16string(SafeNameComponentMaxUnits - 4, u'n') + u" (2)");
}
