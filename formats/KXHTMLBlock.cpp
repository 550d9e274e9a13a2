#include "formats/KXHTMLBlock.h"

#include <algorithm>

namespace kestrix::blocks {

namespace {

// More digits than any block's offset has; longer numbers read as missing rather than overflow.
constexpr std::size_t kMaxDigits = 18;

bool IsNameChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_'; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

// A decimal offset with optional spaces around it; -1 for anything else, a sign included.
std::int64_t OffsetValue(std::string_view Text) {
  while (!Text.empty() && Text.front() == ' ') Text.remove_prefix(1);
  while (!Text.empty() && Text.back() == ' ') Text.remove_suffix(1);
  if (Text.empty() || Text.size() > kMaxDigits) return -1;
  std::int64_t v = 0;
  for (char c : Text) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

}  // namespace

THTMLBlock ReadHTMLBlock(std::string_view Block) {
  THTMLBlock r;
  struct Field {
    std::string_view name;
    std::int64_t* value;
  };
  const Field offsets[] = {{"StartHTML", &r.StartHTML},           {"EndHTML", &r.EndHTML},
                           {"StartFragment", &r.StartFragment},   {"EndFragment", &r.EndFragment},
                           {"StartSelection", &r.StartSelection}, {"EndSelection", &r.EndSelection}};
  bool sawVersion = false;
  std::size_t pos = 0;
  // Header lines: a name (letters, digits, '-', '_'), a colon, a value up to the line's end. They stop at the
  // first other line, at a NUL, and where StartHTML says the HTML begins.
  while (pos < Block.size()) {
    if (r.StartHTML >= 0 && pos >= static_cast<std::uint64_t>(r.StartHTML)) break;
    std::size_t colon = pos;
    while (colon < Block.size() && IsNameChar(Block[colon])) ++colon;
    if (colon == pos || colon == Block.size() || Block[colon] != ':') break;
    const std::size_t valueStart = colon + 1;
    std::size_t lineEnd = Block.find_first_of(std::string_view("\r\n\0", 3), valueStart);
    if (lineEnd == std::string_view::npos) lineEnd = Block.size();
    const std::string_view name = Block.substr(pos, colon - pos);
    const TByteRange value{valueStart, lineEnd - valueStart};
    if (SameName(name, "Version")) {
      r.Version = value;
      sawVersion = true;
    } else if (SameName(name, "SourceURL")) {
      r.SourceURL = value;
    } else {
      for (const Field& f : offsets)
        if (SameName(name, f.name)) *f.value = OffsetValue(Block.substr(value.Offset, value.Length));
    }
    pos = lineEnd;
    if (pos < Block.size() && Block[pos] == '\r') ++pos;
    if (pos < Block.size() && Block[pos] == '\n') ++pos;
    if (pos == lineEnd) break;  // a NUL or the block's end
  }
  r.HeaderEnd = pos;

  const std::size_t zero = Block.find('\0', r.HeaderEnd);
  r.DataEnd = zero == std::string_view::npos ? Block.size() : zero;
  if (r.EndHTML >= 0 && static_cast<std::uint64_t>(r.EndHTML) >= r.HeaderEnd && static_cast<std::uint64_t>(r.EndHTML) < r.DataEnd)
    r.DataEnd = static_cast<std::size_t>(r.EndHTML);

  auto range = [&](std::int64_t start, std::int64_t end) -> TByteRange {
    if (start < 0 || end < start) return {};
    const auto s = static_cast<std::uint64_t>(start);
    if (s < r.HeaderEnd || s > r.DataEnd) return {};
    const std::uint64_t e = std::min<std::uint64_t>(static_cast<std::uint64_t>(end), r.DataEnd);
    return {static_cast<std::size_t>(s), static_cast<std::size_t>(e - s)};
  };
  r.HTML = range(r.StartHTML, r.EndHTML);
  r.Fragment = range(r.StartFragment, r.EndFragment);
  r.Selection = range(r.StartSelection, r.EndSelection);
  r.HasHeader = sawVersion && r.StartFragment >= 0 && r.EndFragment >= 0;
  return r;
}

bool LooksLikeUTF16LE(std::string_view Block) {
  if (Block.size() < 2) return false;
  if (static_cast<unsigned char>(Block[0]) == 0xFF && static_cast<unsigned char>(Block[1]) == 0xFE) return true;
  return Block[0] != '\0' && Block[1] == '\0';
}

std::string HTMLBlockFromFragment(std::string_view Utf8Fragment, std::string_view SourceURL) {
  static constexpr std::string_view kBefore = "<html>\r\n<body>\r\n<!--StartFragment-->";
  static constexpr std::string_view kAfter = "<!--EndFragment-->\r\n</body>\r\n</html>";
  std::string sourceLine;
  if (!SourceURL.empty()) {
    sourceLine = "SourceURL:";
    for (char c : SourceURL)
      if (c != '\r' && c != '\n') sourceLine += c;
    sourceLine += "\r\n";
  }
  // Every offset has ten digits, so the header's length does not depend on its values.
  auto line = [](std::string_view name, std::size_t value) {
    std::string digits(10, '0');
    for (std::size_t i = digits.size(); i-- > 0 && value; value /= 10) digits[i] = static_cast<char>('0' + value % 10);
    return std::string(name) + ":" + digits + "\r\n";
  };
  auto header = [&](std::size_t startHTML, std::size_t endHTML, std::size_t startFragment, std::size_t endFragment) {
    return "Version:0.9\r\n" + line("StartHTML", startHTML) + line("EndHTML", endHTML) +
           line("StartFragment", startFragment) + line("EndFragment", endFragment) + sourceLine;
  };
  const std::size_t startHTML = header(0, 0, 0, 0).size();
  const std::size_t startFragment = startHTML + kBefore.size();
  const std::size_t endFragment = startFragment + Utf8Fragment.size();
  std::string block = header(startHTML, endFragment + kAfter.size(), startFragment, endFragment);
  block.append(kBefore).append(Utf8Fragment).append(kAfter);
  block.push_back('\0');
  return block;
}

}  // namespace kestrix::blocks
