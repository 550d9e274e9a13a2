// Splitting text and converting UTF-16 files.
#include <gtest/gtest.h>

#include <memory>

#include "formats/KXUtil.h"
#include "framework/Streams.h"
#include "support/TestSupport.h"

using namespace kestrix;

namespace {

std::vector<std::wstring> Pieces(vcl::TStringList* raw) {
  std::unique_ptr<vcl::TStringList> list(raw);
  std::vector<std::wstring> out;
  for (int i = 0; i < list->Count(); ++i) out.push_back(list->Strings(i));
  return out;
}

}  // namespace

TEST(Tokenize, EarliestSeparatorOfAnyKindSplitsFirst) {
  struct Case {
    std::wstring text;
    std::vector<wchar_t> separators;
    std::vector<std::wstring> raw, nonEmpty;
  };
  const Case cases[] = {
      {L"a;b,c", {L';', L','}, {L"a", L"b", L"c"}, {L"a", L"b", L"c"}},
      {L"a,,b,", {L','}, {L"a", L"", L"b", L""}, {L"a", L"b"}},
      {L",a", {L','}, {L"", L"a"}, {L"a"}},
      {L"", {L','}, {L""}, {}},
      {L"x,y", {}, {L"x,y"}, {L"x,y"}},
      {L"", {}, {L""}, {}},
      {L"c:\\a\0b", {L'\\'}, {L"c:", L"a\0b"}, {L"c:", L"a\0b"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Pieces(TokenizeRaw(c.text, c.separators)), c.raw);
    EXPECT_EQ(Pieces(Tokenize(c.text, c.separators)), c.nonEmpty);
  }
}

TEST(ConvertUnicodeFile, RewritesUtf16AndLeavesAnsiAlone) {
  std::wstring folder = kxtest::MakeTempFolder(L"convert");
  struct Case {
    std::string before;
    bool converted;
    std::string after;
  };
  const Case cases[] = {
      {std::string("H\0i\0", 4), true, "Hi"},
      {"Hi", false, "Hi"},
      {"", false, ""},
      {std::string("A\0\0\0B\0", 6), true, "A"},                  // stops at the first zero code unit
      {std::string("\xFF\xFE" "a\0", 4), true, "?a"},           // a byte-order mark is not special
      {std::string("\xE9\0\x2D\x4E", 4), true, "\xE9?"},         // outside the code page
  };
  int n = 0;
  for (const Case& c : cases) {
    std::wstring path = folder + L"f" + std::to_wstring(n++) + L".txt";
    {
      vcl::TFileStream f(path, vcl::fmCreate);
      f.WriteBuffer(c.before.data(), static_cast<std::int64_t>(c.before.size()));
    }
    EXPECT_EQ(ConvertUnicodeFileToAnsi(path), c.converted);
    vcl::TMemoryStream m;
    m.LoadFromFile(path);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size())), c.after);
  }
  EXPECT_THROW(ConvertUnicodeFileToAnsi(folder + L"missing.txt"), vcl::EFOpenError);
}
