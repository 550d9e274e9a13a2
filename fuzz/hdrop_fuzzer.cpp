// HDROP name lists: every name lies inside the list that starts at pFiles, and the names match a
// second reading written the other way round (find the list's end first, then split it).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "formats/KXUtilBlocks.h"

using namespace kestrix::blocks;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

struct Reference {
  std::vector<TByteRange> names;
  bool terminated = false;
};

Reference ReadByEndFirst(std::string_view block, std::size_t listOffset, std::size_t unit) {
  Reference r;
  const std::size_t count = (block.size() - listOffset) / unit;
  auto isNul = [&](std::size_t i) { return block.substr(listOffset + i * unit, unit).find_first_not_of('\0') == std::string_view::npos; };
  std::size_t end = count;
  for (std::size_t i = 1; i < count; ++i)
    if (isNul(i) && isNul(i - 1)) {
      end = i;
      r.terminated = true;
      break;
    }
  std::size_t start = 0;
  for (std::size_t i = 0; i <= end; ++i) {
    if (i < end && !isNul(i)) continue;
    if (i > start) r.names.push_back({listOffset + start * unit, (i - start) * unit});
    start = i + 1;
  }
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  const THDROPList list = ReadHDROPList(block);
  Check(list.Names == HDROPNameRanges(block));
  Check(list.WellFormed() == HDROPHasWellFormedNames(block));
  if (list.ListOffset == 0) {
    Check(list.Names.empty() && !list.Terminated && !list.WellFormed());
    return 0;
  }
  Check(list.ListOffset >= HDROPHeaderSize && list.ListOffset < size);
  Check(list.Wide == HDROPIsWide(block));
  const std::size_t unit = list.Wide ? 2 : 1;
  std::size_t previousEnd = list.ListOffset;
  for (const TByteRange& r : list.Names) {
    Check(r.Length > 0 && r.Length % unit == 0 && (r.Offset - list.ListOffset) % unit == 0);
    Check(r.Offset >= previousEnd && Fits(size, r.Offset, r.Length));
    previousEnd = r.End();
  }
  const Reference ref = ReadByEndFirst(block, list.ListOffset, unit);
  Check(ref.names == list.Names && ref.terminated == list.Terminated);
  return 0;
}
