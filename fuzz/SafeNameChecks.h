#pragma once
// What every safe path must hold, checked by the fuzzers of descriptors and names: whole,
// non-empty components joined by one backslash, none of them a device, a climb ("." or ".."),
// a stream (':') or a name Windows would shorten (trailing dot or blank), within the limits.
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/KXSafeNames.h"

namespace kxfuzz {

inline void Check(bool ok) {
  if (!ok) std::abort();
}

inline char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c; }

inline bool NamesDevice(std::u16string_view component) {
  std::u16string base(component.substr(0, component.find(u'.')));
  while (!base.empty() && base.back() == u' ') base.pop_back();
  for (char16_t& c : base) c = AsciiUpper(c);
  for (std::u16string_view d : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
    if (base == d) return true;
  return base.size() == 4 && (base.starts_with(u"COM") || base.starts_with(u"LPT")) &&
         ((base[3] >= u'0' && base[3] <= u'9') || base[3] == 0xB9 || base[3] == 0xB2 || base[3] == 0xB3);
}

inline void CheckComponent(std::u16string_view c) {
  using namespace kestrix::blocks;
  Check(!c.empty() && c.size() <= SafeNameComponentMaxUnits);
  Check(c.back() != u'.' && c.back() != u' ');
  Check(!NamesDevice(c));
  for (std::size_t i = 0; i < c.size(); ++i) {
    const char16_t u = c[i];
    Check(u >= 0x20 && std::u16string_view(u"<>:\"/\\|?*").find(u) == std::u16string_view::npos);
    if (u >= 0xD800 && u < 0xDC00) {  // a pair, whole
      Check(i + 1 < c.size() && c[i + 1] >= 0xDC00 && c[i + 1] < 0xE000);
      ++i;
    } else {
      Check(u < 0xDC00 || u >= 0xE000);
    }
  }
}

inline void CheckSafePath(std::u16string_view path) {
  Check(path.size() <= kestrix::blocks::SafeRelativePathMaxUnits);
  if (path.empty()) return;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find(u'\\', start);
    CheckComponent(path.substr(start, end == std::u16string_view::npos ? end : end - start));
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
}

}  // namespace kxfuzz
