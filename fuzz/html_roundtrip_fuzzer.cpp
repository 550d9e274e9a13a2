// "HTML Format" blocks built for a fragment read back to exactly that fragment and source URL
// (the first input byte splits the input into the two; neither holds a NUL, the URL no line end).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/KXHTMLBlock.h"

using namespace kestrix::blocks;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = std::min<std::size_t>(data[0], input.size());
  const std::string_view url = input.substr(0, split), fragment = input.substr(split);
  if (fragment.find('\0') != std::string_view::npos || url.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos)
    return 0;
  const std::string block = HTMLBlockFromFragment(fragment, url);
  const THTMLBlock b = ReadHTMLBlock(block);
  if (!b.HasHeader || Slice(block, b.Fragment) != fragment || Slice(block, b.SourceURL) != url) std::abort();
  return 0;
}
