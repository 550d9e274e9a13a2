#include "formats/KXSafeNames.h"

#include <array>
#include <string>

namespace kestrix::blocks {

namespace {

enum : char16_t { Backslash = u'\\', Slash = u'/', Replacement = u'_' };

bool IsSeparator(char16_t c) { return c == Backslash || c == Slash; }
bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c < 0xE000; }
bool IsDroppedAtEnd(char16_t c) { return c == u'.' || c == u' '; }

bool IsForbidden(char16_t c) {
  return c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'/' || c == u'\\' || c == u'|' ||
         c == u'?' || c == u'*';
}

// The upper case of a letter as the file system compares names: ASCII, Latin-1, Latin
// Extended-A, basic Greek and Cyrillic; anything else is its own upper case.
char16_t Upper(char16_t c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Pairs of upper (first) and lower (second), shifted by one at 0x139-0x148 and 0x179-0x17E.
    const bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c % 2 == (shifted ? 0 : 1)) ? static_cast<char16_t>(c - 1) : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

std::u16string Folded(std::u16string_view Path) {
  std::u16string out(Path);
  for (char16_t& c : out) c = Upper(c);
  return out;
}

// True when the part of Name before its first dot, without trailing blanks, is a device name:
// Windows opens the device for "CON", "con.txt" and "CON .log" alike.
bool IsDeviceName(std::u16string_view Name) {
  std::u16string_view base = Name.substr(0, Name.find(u'.'));
  while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
  const std::u16string upper = Folded(base);
  static constexpr std::array<std::u16string_view, 6> plain = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
  for (std::u16string_view device : plain)
    if (upper == device) return true;
  // COM and LPT with a digit, including the superscript digits that Windows also takes.
  if (upper.size() == 4 && (upper.starts_with(u"COM") || upper.starts_with(u"LPT"))) {
    const char16_t d = upper[3];
    return (d >= u'0' && d <= u'9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
  }
  return false;
}

void DropTrailingDotsAndBlanks(std::u16string& Name) {
  while (!Name.empty() && IsDroppedAtEnd(Name.back())) Name.pop_back();
}

// Name cut to at most Units units, never between the halves of a surrogate pair.
void CutTo(std::u16string& Name, std::size_t Units) {
  if (Name.size() <= Units) return;
  if (Units > 0 && IsHighSurrogate(Name[Units - 1]) && IsLowSurrogate(Name[Units])) --Units;
  Name.resize(Units);
}

// Where the name's unique number goes: before its last extension ("archive.tar (2).gz"), or at
// the end when it has none; a leading dot (".profile") starts no extension.
std::size_t ExtensionStart(std::u16string_view Name) {
  const std::size_t dot = Name.rfind(u'.');
  return dot == std::u16string_view::npos || dot == 0 ? Name.size() : dot;
}

std::u16string Numbered(std::u16string_view Path, unsigned Number) {
  const std::size_t leafStart = Path.find_last_of(u"\\/") == std::u16string_view::npos ? 0 : Path.find_last_of(u"\\/") + 1;
  const std::u16string_view folder = Path.substr(0, leafStart);
  const std::u16string_view leaf = Path.substr(leafStart);
  std::u16string suffix = u" (";
  for (char c : std::to_string(Number)) suffix.push_back(static_cast<char16_t>(c));
  suffix.push_back(u')');
  std::size_t cut = ExtensionStart(leaf);
  if (leaf.size() - cut + suffix.size() >= SafeNameComponentMaxUnits) cut = leaf.size();  // no room for the extension
  // The stem shrinks so that the number fits both limits.
  std::size_t room = folder.size() < SafeRelativePathMaxUnits ? SafeRelativePathMaxUnits - folder.size() : 0;
  if (room > SafeNameComponentMaxUnits) room = SafeNameComponentMaxUnits;
  const std::size_t tail = suffix.size() + (leaf.size() - cut);
  std::u16string stem(leaf.substr(0, cut));
  CutTo(stem, room > tail ? room - tail : 0);
  return std::u16string(folder) + stem + suffix + std::u16string(leaf.substr(cut));
}

}  // namespace

std::u16string SafeNameComponent(std::u16string_view Component) {
  std::u16string name(Component);
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (IsForbidden(c)) {
      name[i] = Replacement;
    } else if (IsHighSurrogate(c) && i + 1 < name.size() && IsLowSurrogate(name[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      name[i] = Replacement;  // a lone half: no conversion to UTF-8 or another code page keeps it
    }
  }
  DropTrailingDotsAndBlanks(name);
  if (name.empty()) return name;
  if (IsDeviceName(name)) name.insert(name.begin(), Replacement);
  CutTo(name, SafeNameComponentMaxUnits);
  DropTrailingDotsAndBlanks(name);
  return name;
}

bool NamesDevice(std::u16string_view Component) { return IsDeviceName(Component); }

std::u16string SafeRelativePath(std::u16string_view Name) {
  auto isDriveAt = [&](std::size_t at) {
    return Name.size() >= at + 2 && Name[at + 1] == u':' &&
           ((Name[at] >= u'A' && Name[at] <= u'Z') || (Name[at] >= u'a' && Name[at] <= u'z'));
  };
  // Leading components that only say where the name would be rooted.
  std::size_t rootComponents = 0;
  if (Name.size() >= 2 && IsSeparator(Name[0]) && IsSeparator(Name[1])) {
    if (Name.size() >= 4 && (Name[2] == u'?' || Name[2] == u'.') && IsSeparator(Name[3])) {
      Name.remove_prefix(4);  // "\\?\" and "\\.\": a drive, "UNC\server\share" or a volume follows
      if (isDriveAt(0)) {
        Name.remove_prefix(2);
      } else {
        const std::u16string_view first = Name.substr(0, Name.find_first_of(u"\\/"));
        rootComponents = Folded(first) == u"UNC" ? 3 : 1;
      }
    } else {
      rootComponents = 2;  // \\server\share
    }
  } else if (isDriveAt(0)) {
    Name.remove_prefix(2);
  }
  std::u16string path;
  std::size_t start = 0;
  while (start <= Name.size()) {
    std::size_t end = Name.find_first_of(u"\\/", start);
    if (end == std::u16string_view::npos) end = Name.size();
    const std::u16string_view part = Name.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    if (rootComponents > 0) {
      --rootComponents;
      continue;
    }
    if (part == u"." || part == u"..") continue;
    const std::u16string safe = SafeNameComponent(part);
    if (safe.empty()) continue;
    const std::size_t grown = path.size() + (path.empty() ? 0 : 1) + safe.size();
    if (grown > SafeRelativePathMaxUnits) break;
    if (!path.empty()) path.push_back(Backslash);
    path += safe;
  }
  return path;
}

std::u16string TUniqueNames::Claim(std::u16string_view Path, std::u16string_view Fallback) {
  const std::u16string_view wanted = Path.empty() ? Fallback : Path;
  std::u16string folded = Folded(wanted);
  if (FTaken.insert(folded).second) return std::u16string(wanted);
  unsigned& next = FNextNumber.try_emplace(std::move(folded), 2).first->second;
  for (;;) {
    std::u16string candidate = Numbered(wanted, next++);
    if (FTaken.insert(Folded(candidate)).second) return candidate;
  }
}

void TUniqueNames::Reserve(std::u16string_view Path) { FTaken.insert(Folded(Path)); }

}  // namespace kestrix::blocks
