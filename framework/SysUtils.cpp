#include "framework/SysUtils.h"

#include <cwchar>
#include <cwctype>

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

[[noreturn]] void BadFormat(const std::wstring& format) {
  throw EConvertError(L"Format '" + format + L"' invalid or incompatible with argument");
}

}  // namespace

Exception::Exception(std::wstring message) : FMessage(std::move(message)), FWhat(Utf8FromUnicode(FMessage)) {}

std::string AnsiFromUnicode(const std::wstring& s) { return WideToCodePage(CP_ACP, s); }
std::wstring UnicodeFromAnsi(const std::string& s) { return CodePageToWide(CP_ACP, s); }
std::string Utf8FromUnicode(const std::wstring& s) { return WideToCodePage(CP_UTF8, s); }
std::wstring UnicodeFromUtf8(const std::string& s) { return CodePageToWide(CP_UTF8, s); }

std::wstring FormatV(const std::wstring& format, const std::vector<TFormatArg>& args) {
  std::wstring out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    wchar_t c = format[i];
    if (c != L'%') {
      out += c;
      continue;
    }
    size_t start = i++;
    if (i < format.size() && format[i] == L'%') {
      out += L'%';
      continue;
    }
    std::wstring conversion = L"%";
    while (i < format.size() && (format[i] == L'-' || format[i] == L'0')) conversion += format[i++];
    while (i < format.size() && iswdigit(format[i])) conversion += format[i++];
    if (i < format.size() && format[i] == L'.') {
      conversion += format[i++];
      while (i < format.size() && iswdigit(format[i])) conversion += format[i++];
    }
    if (i >= format.size() || next >= args.size()) BadFormat(format.substr(start));
    wchar_t conv = format[i];
    const TFormatArg& arg = args[next++];
    wchar_t buf[128];
    switch (conv) {
      case L'd':
      case L'u':
      case L'x':
      case L'X': {
        long long v;
        if (auto p = std::get_if<long long>(&arg)) v = *p;
        else if (auto q = std::get_if<unsigned long long>(&arg)) v = static_cast<long long>(*q);
        else BadFormat(format);
        std::wstring f = conversion + L"ll" + conv;
        swprintf(buf, 128, f.c_str(), v);
        out += buf;
        break;
      }
      case L'f':
      case L'g':
      case L'e': {
        double v;
        if (auto p = std::get_if<double>(&arg)) v = *p;
        else if (auto q = std::get_if<long long>(&arg)) v = static_cast<double>(*q);
        else BadFormat(format);
        std::wstring f = conversion + conv;
        swprintf(buf, 128, f.c_str(), v);
        out += buf;
        break;
      }
      case L's': {
        auto p = std::get_if<std::wstring>(&arg);
        if (!p) BadFormat(format);
        // Width and precision apply to the text, as the framework's formatter does.
        std::wstring text = *p;
        size_t dot = conversion.find(L'.');
        if (dot != std::wstring::npos) {
          size_t prec = static_cast<size_t>(_wtoi(conversion.c_str() + dot + 1));
          if (text.size() > prec) text.resize(prec);
        }
        bool left = conversion.find(L'-') != std::wstring::npos;
        size_t digits = conversion.find_first_of(L"123456789");
        size_t width = (digits != std::wstring::npos && (dot == std::wstring::npos || digits < dot))
                           ? static_cast<size_t>(_wtoi(conversion.c_str() + digits)) : 0;
        if (text.size() < width) {
          std::wstring pad(width - text.size(), L' ');
          text = left ? text + pad : pad + text;
        }
        out += text;
        break;
      }
      default:
        BadFormat(format.substr(start));
    }
  }
  return out;
}

std::wstring IntToStr(long long value) { return std::to_wstring(value); }

std::wstring IntToHex(unsigned long long value, int digits) {
  wchar_t buf[32];
  swprintf(buf, 32, L"%0*llX", digits, value);
  return buf;
}

int StrToIntDef(const std::wstring& s, int defaultValue) {
  size_t i = 0;
  while (i < s.size() && s[i] == L' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == L'-' || s[i] == L'+')) negative = s[i++] == L'-';
  int base = 10;
  if (i < s.size() && s[i] == L'$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == L'0' && (s[i + 1] == L'x' || s[i + 1] == L'X')) {
    base = 16;
    i += 2;
  }
  if (i >= s.size()) return defaultValue;
  long long value = 0;
  for (; i < s.size(); ++i) {
    int d;
    wchar_t c = s[i];
    if (c >= L'0' && c <= L'9') d = c - L'0';
    else if (base == 16 && c >= L'a' && c <= L'f') d = c - L'a' + 10;
    else if (base == 16 && c >= L'A' && c <= L'F') d = c - L'A' + 10;
    else return defaultValue;
    value = value * base + d;
    if (value > 0xFFFFFFFFLL) return defaultValue;
  }
  if (negative) value = -value;
  if (base == 10 && (value > INT32_MAX || value < INT32_MIN)) return defaultValue;
  return static_cast<int>(value);
}

std::wstring UpperCase(const std::wstring& s) {
  std::wstring r = s;
  for (auto& c : r)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  return r;
}

std::wstring LowerCase(const std::wstring& s) {
  std::wstring r = s;
  for (auto& c : r)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
  return r;
}

int AnsiCompareText(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) - CSTR_EQUAL;
}

int AnsiCompareStr(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) - CSTR_EQUAL;
}

std::wstring ExtractFileName(const std::wstring& path) {
  size_t p = path.find_last_of(L"\\/:");
  return p == std::wstring::npos ? path : path.substr(p + 1);
}

std::wstring ExtractFilePath(const std::wstring& path) {
  size_t p = path.find_last_of(L"\\/:");
  return p == std::wstring::npos ? std::wstring() : path.substr(0, p + 1);
}

std::wstring ChangeFileExt(const std::wstring& path, const std::wstring& ext) {
  size_t p = path.find_last_of(L".\\/:");
  if (p == std::wstring::npos || path[p] != L'.') return path + ext;
  return path.substr(0, p) + ext;
}

bool FileExists(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFile(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != FALSE; }

int FileGetAttr(const std::wstring& path) { return static_cast<int>(GetFileAttributesW(path.c_str())); }

}  // namespace vcl
