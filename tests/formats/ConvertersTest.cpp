// Byte converters and format ids from names.
#include <gtest/gtest.h>

#include "formats/KXUtil.h"
#include "framework/Handles.h"

using namespace kestrix;

TEST(Converters, ClipboardFormatFromString) {
  EXPECT_EQ(ClipboardFormatFromString(L"13"), 13u);
  EXPECT_EQ(ClipboardFormatFromString(L"1"), 1u);
  EXPECT_EQ(ClipboardFormatFromString(L"16"), 16u);
  EXPECT_EQ(ClipboardFormatFromString(L""), 0u);
  for (const wchar_t* registered : {L"0", L"17", L"49171", L"CF_TEXT", L"-1", L"HTML Format"}) {
    UINT id = ClipboardFormatFromString(registered);
    EXPECT_GE(id, 0xC000u) << registered;
    EXPECT_EQ(id, RegisterClipboardFormatW(registered)) << registered;
  }
}

TEST(Converters, DwordsAndDoubles) {
  EXPECT_EQ(EncodeDWORDToString(0x04030201), std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(DecodeDWORDFromString(std::string("\x01\x02\x03\x04\x05", 5)), 0x04030201u);
  EXPECT_EQ(DecodeDWORDFromString(std::string("\x01\x02\x03", 3)), 0u);
  EXPECT_EQ(EncodeDoubleToString(1.0), std::string("\0\0\0\0\0\0\xF0\x3F", 8));
  EXPECT_EQ(DecodeDoubleFromString(EncodeDoubleToString(-2.5)), -2.5);
  EXPECT_EQ(DecodeDoubleFromString(std::string(7, '\xFF')), 0.0);
}

TEST(Converters, UnicodeAsBytes) {
  EXPECT_EQ(EncodedAnsiStringFromUnicodeString(L"ab"), std::string("a\0b\0", 4));
  EXPECT_EQ(UnicodeStringFromEncodedAnsiString(std::string("a\0b\0c", 5)), L"ab");  // odd byte dropped
  EXPECT_EQ(UnicodeStringFromEncodedAnsiString(""), L"");
  std::wstring odd(L"\u4E2D\0x", 3);
  EXPECT_EQ(UnicodeStringFromEncodedAnsiString(EncodedAnsiStringFromUnicodeString(odd)), odd);
}

TEST(Converters, GlobalMemoryRoundTrip) {
  vcl::TUniqueGlobal empty(SetHandleDataFromString(""));
  ASSERT_TRUE(empty);
  EXPECT_EQ(GlobalSize(empty.Get()), 1u);
  std::string one = GetHandleDataToString(empty.Get());
  ASSERT_GE(one.size(), 1u);  // Windows may round a block up; Wine keeps exact sizes
  EXPECT_EQ(one[0], '\0');

  std::string data("x\0y", 3);
  vcl::TUniqueGlobal block(SetHandleDataFromString(data));
  EXPECT_EQ(GlobalFlags(block.Get()) & GMEM_DDESHARE, UINT(GMEM_DDESHARE));
  EXPECT_EQ(GetHandleDataToString(block.Get()).substr(0, 4), std::string("x\0y\0", 4));
  EXPECT_EQ(GetHandleDataToString(nullptr), "");
}

TEST(Converters, PointersAreEncodedAtTheirNativeWidth) {
  int anything = 0;
  std::string bytes = EncodePointerToString(&anything);
  EXPECT_EQ(bytes.size(), sizeof(void*));
  EXPECT_EQ(DecodePointerFromString(bytes + "tail"), static_cast<void*>(&anything));
  EXPECT_FALSE(DecodePointerFromString(bytes.substr(1)).has_value());
}
