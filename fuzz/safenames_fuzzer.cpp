// Safe names from any UTF-16 input: every safe path holds (SafeNameChecks.h), making a safe path
// safe again changes nothing, and the names claimed for the NUL-separated parts of the input are
// all different.
#include <cstdint>
#include <set>
#include <string>

#include "SafeNameChecks.h"
#include "formats/KXSafeNames.h"

using namespace kestrix::blocks;
using kxfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string input;
  for (std::size_t at = 0; at + 1 < size; at += 2) input.push_back(static_cast<char16_t>(data[at] | data[at + 1] << 8));
  const std::u16string component = SafeNameComponent(input);
  if (!component.empty()) kxfuzz::CheckComponent(component);
  Check(SafeNameComponent(component) == component);
  const std::u16string path = SafeRelativePath(input);
  kxfuzz::CheckSafePath(path);
  Check(SafeRelativePath(path) == path);

  TUniqueNames unique;
  std::set<std::u16string> claimed;
  std::size_t start = 0;
  while (start <= input.size()) {
    std::size_t end = input.find(u'\0', start);
    if (end == std::u16string::npos) end = input.size();
    const std::u16string claim = unique.Claim(SafeRelativePath(input.substr(start, end - start)), u"File");
    kxfuzz::CheckSafePath(claim);
    std::u16string folded = claim;
    for (char16_t& c : folded) c = kxfuzz::AsciiUpper(c);
    Check(claimed.insert(folded).second);
    start = end + 1;
  }
  return 0;
}
