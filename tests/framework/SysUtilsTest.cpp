// Run-time library helpers whose results other units depend on.
#include <gtest/gtest.h>

#include "framework/Streams.h"
#include "framework/SysUtils.h"
#include "support/TestSupport.h"

using namespace vcl;

TEST(SysUtils, FormatFillsArgumentsInOrder) {
  EXPECT_EQ(Format(L"\"%s\",%d,%s,%d,%d", std::wstring(L"CF_TEXT"), 1, L"TYMED_HGLOBAL", 1u, -1),
            L"\"CF_TEXT\",1,TYMED_HGLOBAL,1,-1");
  EXPECT_EQ(Format(L"%s and %s, 100%%", L"a", L"b"), L"a and b, 100%");
  EXPECT_EQ(Format(L"%.8X|%-4s|%4s|%.2f", 0xBEEFu, L"ab", L"cd", 1.5), L"0000BEEF|ab  |  cd|1.50");
  EXPECT_THROW(Format(L"%d"), EConvertError);
  EXPECT_THROW(Format(L"%d", L"text"), EConvertError);
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
  EXPECT_EQ(AnsiFromUnicode(L"\u4E2D"), "?");  // outside the code page (1252 in the test prefix)
  EXPECT_EQ(UnicodeFromUtf8("\xC3\xA9"), L"\u00E9");
}

TEST(SysUtils, FileNames) {
  EXPECT_EQ(ExtractFileName(L"C:\\dir\\file.txt"), L"file.txt");
  EXPECT_EQ(ExtractFilePath(L"C:\\dir\\file.txt"), L"C:\\dir\\");
  EXPECT_EQ(ChangeFileExt(L"C:\\d.x\\file.txt", L".bmp"), L"C:\\d.x\\file.bmp");
  EXPECT_EQ(ChangeFileExt(L"C:\\d.x\\file", L".bmp"), L"C:\\d.x\\file.bmp");
  EXPECT_EQ(UpperCase(L"image/gif"), L"IMAGE/GIF");
  EXPECT_EQ(AnsiCompareText(L"image/GIF", L"Image/gif"), 0);
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
}

TEST(Streams, FileStreamRoundTripAndOpenErrors) {
  std::wstring path = kxtest::MakeTempFolder(L"streams") + L"data.bin";
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
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(vcl::DeleteFile(path));
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(FileGetAttr(path), -1);
  EXPECT_THROW(TFileStream(path, fmOpenRead), EFOpenError);
}
