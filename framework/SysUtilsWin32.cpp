#include "framework/SysUtils.h"

namespace vcl {

namespace {

std::string WideToCodePage(UINT codePage, const std::wstring& s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring CodePageToWide(UINT codePage, const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

}  // namespace

std::string AnsiFromUnicode(const std::wstring& s) { return WideToCodePage(CP_ACP, s); }
std::wstring UnicodeFromAnsi(const std::string& s) { return CodePageToWide(CP_ACP, s); }
std::string Utf8FromUnicode(const std::wstring& s) { return WideToCodePage(CP_UTF8, s); }
std::wstring UnicodeFromUtf8(const std::string& s) { return CodePageToWide(CP_UTF8, s); }

int AnsiCompareText(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) - CSTR_EQUAL;
}

int AnsiCompareStr(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) - CSTR_EQUAL;
}

bool FileExists(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFile(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != FALSE; }

int FileGetAttr(const std::wstring& path) { return static_cast<int>(GetFileAttributesW(path.c_str())); }

}  // namespace vcl
