#include "framework/SysUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cwctype>

namespace vcl {

// Here a wide string holds one code point per character, not UTF-16.
static_assert(sizeof(wchar_t) == 4);

namespace {

constexpr char32_t kReplacement = 0xFFFD, kMaxCodePoint = 0x10FFFF, kSurrogateFirst = 0xD800, kSurrogateLast = 0xDFFF;
enum : int { faReadOnly = 0x01, faDirectory = 0x10, faNormal = 0x80 };  // Windows' attribute bits

int Sign(long long d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

int CompareCodes(const std::wstring& a, const std::wstring& b, bool ignoreCase) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    wint_t x = static_cast<wint_t>(a[i]), y = static_cast<wint_t>(b[i]);
    if (ignoreCase) {
      x = std::towupper(x);
      y = std::towupper(y);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return Sign(static_cast<long long>(a.size()) - static_cast<long long>(b.size()));
}

bool Stat(const std::wstring& path, struct stat& st) { return ::stat(Utf8FromUnicode(path).c_str(), &st) == 0; }

}  // namespace

std::string Utf8FromUnicode(const std::wstring& s) {
  std::string out;
  out.reserve(s.size());
  for (wchar_t w : s) {
    auto c = static_cast<char32_t>(w);
    if (c > kMaxCodePoint || (c >= kSurrogateFirst && c <= kSurrogateLast)) c = kReplacement;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A malformed sequence becomes one U+FFFD for its longest valid beginning (or for the one byte
// that cannot begin a sequence), as the Unicode standard recommends; decoding goes on after it.
std::wstring UnicodeFromUtf8(const std::string& s) {
  std::wstring out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    auto lead = static_cast<unsigned char>(s[i++]);
    if (lead < 0x80) {
      out += static_cast<wchar_t>(lead);
      continue;
    }
    int more;
    char32_t c;
    // The range of the second byte excludes overlong forms, surrogates and values past U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2;
      c = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3;
      c = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      out += static_cast<wchar_t>(kReplacement);
      continue;
    }
    for (; more > 0 && i < s.size(); --more, ++i) {
      auto next = static_cast<unsigned char>(s[i]);
      if (next < low || next > high) break;
      c = c << 6 | (next & 0x3F);
      low = 0x80;
      high = 0xBF;
    }
    out += static_cast<wchar_t>(more ? kReplacement : c);
  }
  return out;
}

std::string AnsiFromUnicode(const std::wstring& s) { return Utf8FromUnicode(s); }
std::wstring UnicodeFromAnsi(const std::string& s) { return UnicodeFromUtf8(s); }

int AnsiCompareText(const std::wstring& a, const std::wstring& b) { return CompareCodes(a, b, true); }
int AnsiCompareStr(const std::wstring& a, const std::wstring& b) { return CompareCodes(a, b, false); }

bool FileExists(const std::wstring& path) {
  struct stat st;
  return Stat(path, st) && !S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::wstring& path) { return ::unlink(Utf8FromUnicode(path).c_str()) == 0; }

int FileGetAttr(const std::wstring& path) {
  struct stat st;
  if (!Stat(path, st)) return -1;
  if (S_ISDIR(st.st_mode)) return faDirectory;
  return ::access(Utf8FromUnicode(path).c_str(), W_OK) == 0 ? faNormal : faReadOnly;
}

}  // namespace vcl
