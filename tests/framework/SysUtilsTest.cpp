// Run-time library helpers whose results other units depend on. Built for Windows and natively;
// the two builds reach the system through different code, so both must give these results.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "framework/Streams.h"
#include "framework/SysUtils.h"

using namespace vcl;

namespace {

std::wstring TempPath(const std::wstring& name) {
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  return (std::filesystem::temp_directory_path() / (L"kxtest-" + std::to_wstring(stamp) + L"-" + name)).wstring();
}

}  // namespace

TEST(SysUtils, FormatFillsArgumentsInOrder) {
  EXPECT_EQ(Format(L"\"%s\",%d,%s,%d,%d", std::wstring(L"CF_TEXT"), 1, L"TYMED_HGLOBAL", 1u, -1),
            L"\"CF_TEXT\",1,TYMED_HGLOBAL,1,-1");
  EXPECT_EQ(Format(L"%s and %s, 100%%", L"a", L"b"), L"a and b, 100%");
  EXPECT_EQ(Format(L"%.8X|%-4s|%4s|%.2f", 0xBEEFu, L"ab", L"cd", 1.5), L"0000BEEF|ab  |  cd|1.50");
  // Conversions longer than a small buffer come out whole.
  EXPECT_EQ(Format(L"%300d|", 7), std::wstring(299, L' ') + L"7|");
  EXPECT_EQ(Format(L"%.0f", 1e200).size(), 200u);
  EXPECT_EQ(IntToHex(0xAB, 200), std::wstring(198, L'0') + L"AB");
  EXPECT_THROW(Format(L"%d"), EConvertError);
  EXPECT_THROW(Format(L"%d", L"text"), EConvertError);
  EXPECT_THROW(Format(L"%99999999d", 1), EConvertError);
  EXPECT_THROW(Format(L"%99999999s", L""), EConvertError);
}

TEST(SysUtils, StrToIntDefTakesDecimalAndHex) {
  const std::pair<const wchar_t*, int> cases[] = {
      {L"13", 13}, {L"-3", -3}, {L"0", 0}, {L"$1F", 31}, {L"0x10", 16}, {L"", -7}, {L"1a", -7},
      {L"CF_TEXT", -7}, {L"99999999999", -7}, {L"49171", 49171}, {L" 5", 5},
  };
  for (auto [text, value] : cases) EXPECT_EQ(StrToIntDef(text, -7), value) << text;
}

TEST(SysUtils, AnsiConversionsKeepNulsAndReplaceUnknownCharacters) {
  std::wstring w(L"a\0b", 3);
  EXPECT_EQ(AnsiFromUnicode(w), std::string("a\0b", 3));
  EXPECT_EQ(UnicodeFromAnsi(std::string("x\0y", 3)), std::wstring(L"x\0y", 3));
#if defined(_WIN32)
  EXPECT_EQ(AnsiFromUnicode(L"\u4E2D"), "?");  // outside the code page (1252 in the test prefix)
#endif
}

TEST(SysUtils, Utf8BothWaysAndMalformedInput) {
  const std::pair<std::string, std::wstring> both[] = {
      {"", L""},
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
      {"\xC3\xA9\xE2\x82\xAC", L"\u00E9\u20AC"},
      {"\xF0\x9F\x98\x80!", L"\U0001F600!"},
      {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", L"\uFFFF\U0010FFFF"},
  };
  for (const auto& [utf8, text] : both) {
    EXPECT_EQ(UnicodeFromUtf8(utf8), text) << utf8;
    EXPECT_EQ(Utf8FromUnicode(text), utf8) << utf8;
  }
  const std::pair<std::string, std::wstring> malformed[] = {
      {"a\x80z", L"a\uFFFDz"},                  // a stray continuation byte
      {"\xC3", L"\uFFFD"},                      // cut short at the end
      {"\xE2\x82z", L"\uFFFDz"},                // cut short before an ASCII byte
      {"\xC0\xAF", L"\uFFFD\uFFFD"},            // overlong
      {"\xFF\xFE", L"\uFFFD\uFFFD"},            // bytes that never begin a character
  };
  for (const auto& [utf8, text] : malformed) EXPECT_EQ(UnicodeFromUtf8(utf8), text) << utf8;
  // A surrogate or a value past U+10FFFF never comes out as a character; decoders differ in how
  // many U+FFFD stand for it.
  for (const char* utf8 : {"\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
    std::wstring got = UnicodeFromUtf8(utf8);
    EXPECT_FALSE(got.empty());
    EXPECT_EQ(got.find_first_not_of(L'\uFFFD'), std::wstring::npos) << utf8;
  }
  EXPECT_EQ(Utf8FromUnicode(std::wstring(1, wchar_t(0xD800)) + L"x"), "\xEF\xBF\xBDx");
}

TEST(SysUtils, FileNames) {
  EXPECT_EQ(ExtractFileName(L"C:\\dir\\file.txt"), L"file.txt");
  EXPECT_EQ(ExtractFilePath(L"C:\\dir\\file.txt"), L"C:\\dir\\");
  EXPECT_EQ(ChangeFileExt(L"C:\\d.x\\file.txt", L".bmp"), L"C:\\d.x\\file.bmp");
  EXPECT_EQ(ChangeFileExt(L"C:\\d.x\\file", L".bmp"), L"C:\\d.x\\file.bmp");
  EXPECT_EQ(UpperCase(L"image/gif"), L"IMAGE/GIF");
  EXPECT_EQ(AnsiCompareText(L"image/GIF", L"Image/gif"), 0);
  EXPECT_LT(AnsiCompareText(L"image/gif", L"image/gifs"), 0);
  EXPECT_GT(AnsiCompareText(L"b", L"A"), 0);
  EXPECT_NE(AnsiCompareStr(L"a", L"A"), 0);
}

TEST(Streams, MemoryStreamReadsWritesAndSeeks) {
  TMemoryStream s;
  s.WriteBuffer("hello", 5);
  EXPECT_EQ(s.Size(), 5);
  s.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4);
  EXPECT_STREQ(buf, "ello");
  s.SetPosition(3);
  EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);
  s.Seek(-1, soEnd);
  s.WriteBuffer("P!", 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 6), "hellP!");
  // A negative size empties the stream and leaves the position inside it.
  s.SetSize(-1);
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(s.Read(buf, 1), 0);
  s.SetPosition(INT64_MAX - 1);
  EXPECT_THROW(s.WriteBuffer("xy", 2), EWriteError);
}

TEST(Streams, FileStreamModesSizesAndOpenErrors) {
  std::wstring path = TempPath(L"data.bin");
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer(std::string("\0\1\2\3", 4).data(), 4);
  }
  TMemoryStream m;
  m.LoadFromFile(path);
  EXPECT_EQ(m.Size(), 4);
  EXPECT_EQ(m.Memory()[3], 3);
  TStringStream copy;
  copy.CopyFrom(m, 0);
  EXPECT_EQ(copy.DataString(), std::string("\0\1\2\3", 4));
  {
    // Opening for writing keeps the content; SetSize cuts it.
    TFileStream f(path, fmOpenReadWrite | fmShareExclusive);
    EXPECT_EQ(f.Seek(0, soEnd), 4);
    f.SetPosition(1);
    f.WriteBuffer("AB", 2);
    f.SetSize(3);
    EXPECT_EQ(f.Size(), 3);
    f.SetPosition(0);
    char back[4] = {};
    EXPECT_EQ(f.Read(back, 4), 3);
    EXPECT_EQ(std::string(back, 3), std::string("\0AB", 3));
  }
  {
    TFileStream f(path, fmOpenWrite);
    char none;
    EXPECT_EQ(f.Read(&none, 1), 0);  // not opened for reading
  }
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(vcl::DeleteFile(path));
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(vcl::DeleteFile(path));
  EXPECT_EQ(FileGetAttr(path), -1);
  EXPECT_THROW(TFileStream(path, fmOpenRead), EFOpenError);
  std::wstring folder = std::filesystem::temp_directory_path().wstring();
  EXPECT_FALSE(FileExists(folder));
  EXPECT_NE(FileGetAttr(folder) & 0x10, 0);  // the directory attribute
  EXPECT_THROW(TFileStream(folder, fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(TempPath(L"missing") + L"/data.bin", fmCreate), EFCreateError);
}
