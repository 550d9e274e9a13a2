#include "framework/SysUtils.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <utility>

namespace vcl {

namespace {

// The widest field or longest precision a conversion may ask for; more raises EConvertError.
enum : size_t { kMaxConversion = 1 << 16, kNoPrecision = ~size_t(0) };

[[noreturn]] void BadFormat(const std::wstring& format) {
  throw EConvertError(L"Format '" + format + L"' invalid or incompatible with argument");
}

// One printf conversion. The buffer grows until the text fits: a C library reports a short buffer
// either as -1 or as the length it needed, and may leave the buffer unterminated.
template <class... Args>
std::wstring PrintOne(const std::wstring& conversion, Args... args) {
  std::wstring buf(128, L'\0');
  for (;;) {
    int n = swprintf(buf.data(), buf.size(), conversion.c_str(), args...);
    if (n >= 0 && static_cast<size_t>(n) < buf.size()) {
      buf.resize(static_cast<size_t>(n));
      return buf;
    }
    if (buf.size() > 4 * kMaxConversion) BadFormat(conversion);
    buf.resize(buf.size() * 8);
  }
}

// Reads the decimal number at format[i] into conversion; past kMaxConversion it stays there plus one.
size_t Number(const std::wstring& format, size_t& i, std::wstring& conversion) {
  size_t n = 0;
  for (; i < format.size() && format[i] >= L'0' && format[i] <= L'9'; ++i) {
    conversion += format[i];
    n = std::min<size_t>(n * 10 + static_cast<size_t>(format[i] - L'0'), kMaxConversion + 1);
  }
  return n;
}

}  // namespace

Exception::Exception(std::wstring message) : FMessage(std::move(message)), FWhat(Utf8FromUnicode(FMessage)) {}

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
    bool left = false;
    while (i < format.size() && (format[i] == L'-' || format[i] == L'0')) {
      left = left || format[i] == L'-';
      conversion += format[i++];
    }
    size_t width = Number(format, i, conversion);
    size_t precision = kNoPrecision;
    if (i < format.size() && format[i] == L'.') {
      conversion += format[i++];
      precision = Number(format, i, conversion);
    }
    if (i >= format.size() || next >= args.size() || width > kMaxConversion ||
        (precision != kNoPrecision && precision > kMaxConversion))
      BadFormat(format.substr(start));
    wchar_t conv = format[i];
    const TFormatArg& arg = args[next++];
    switch (conv) {
      case L'd':
      case L'u':
      case L'x':
      case L'X': {
        long long v;
        if (auto p = std::get_if<long long>(&arg)) v = *p;
        else if (auto q = std::get_if<unsigned long long>(&arg)) v = static_cast<long long>(*q);
        else BadFormat(format);
        out += PrintOne(conversion + L"ll" + conv, v);
        break;
      }
      case L'f':
      case L'g':
      case L'e': {
        double v;
        if (auto p = std::get_if<double>(&arg)) v = *p;
        else if (auto q = std::get_if<long long>(&arg)) v = static_cast<double>(*q);
        else BadFormat(format);
        out += PrintOne(conversion + conv, v);
        break;
      }
      case L's': {
        auto p = std::get_if<std::wstring>(&arg);
        if (!p) BadFormat(format);
        // Width and precision apply to the text, as the framework's formatter does.
        std::wstring text = *p;
        if (precision != kNoPrecision && text.size() > precision) text.resize(precision);
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

std::wstring IntToHex(unsigned long long value, int digits) { return PrintOne(L"%0*llX", digits, value); }

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

}  // namespace vcl
