// "text/x-moz-url" blocks: both lines lie inside the block, hold whole UTF-16 characters, end
// before the first NUL character and hold no line feed; the title follows the URL.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/KXUtilBlocks.h"

using namespace kestrix::blocks;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckLine(std::string_view block, TByteRange r) {
  Check(Fits(block.size(), r.Offset, r.Length) && r.Offset % 2 == 0 && r.Length % 2 == 0);
  for (std::size_t at = r.Offset; at < r.End(); at += 2) Check(ReadLE16(block, at) != 0 && ReadLE16(block, at) != '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  const TMozURL m = ReadMozURL(block);
  CheckLine(block, m.URL);
  CheckLine(block, m.Title);
  if (!m.Title.Empty()) Check(m.Title.Offset > m.URL.End());
  return 0;
}
