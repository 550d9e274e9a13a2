// "HTML Format" blocks: every field and range lies inside the block, before the data's end, and
// the ranges of the HTML hold no NUL and start after the header.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/KXHTMLBlock.h"

using namespace kestrix::blocks;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckData(std::string_view block, const THTMLBlock& b, TByteRange r) {
  if (r.Empty()) return;
  Check(r.Offset >= b.HeaderEnd && r.End() <= b.DataEnd);
  Check(Slice(block, r).find('\0') == std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  const THTMLBlock b = ReadHTMLBlock(block);
  Check(b.HeaderEnd <= b.DataEnd && b.DataEnd <= size);
  for (TByteRange r : {b.Version, b.SourceURL}) Check(r.End() <= b.HeaderEnd);
  CheckData(block, b, b.HTML);
  CheckData(block, b, b.Fragment);
  CheckData(block, b, b.Selection);
  if (!b.Fragment.Empty()) Check(static_cast<std::uint64_t>(b.StartFragment) == b.Fragment.Offset);
  return 0;
}
