// HDROP blocks built from names read back as those names, up to the first empty one (which ends
// the list for every reader); a block whose first name is empty is never well formed. The input's first byte picks the form; the rest, split at '|', gives
// the names, with NUL characters taken out.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "formats/KXUtilBlocks.h"

using namespace kestrix::blocks;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool wide = data[0] & 1;
  const std::size_t unit = wide ? 2 : 1;
  std::vector<std::string> names(1);
  for (std::size_t i = 1; i + unit <= size; i += unit) {
    const std::string ch(reinterpret_cast<const char*>(data) + i, unit);
    if (ch == std::string(unit, '|')) names.emplace_back();
    else if (ch != std::string(unit, '\0')) names.back() += ch;
  }
  const std::string block = HDROPBlockFromNames(names, wide);
  const THDROPList list = ReadHDROPList(block);
  if (!list.Terminated || list.Wide != wide || list.WellFormed() != !names[0].empty()) std::abort();
  // A first name that is empty leaves a list the shell reads as no names; ours then skips the NUL.
  if (names[0].empty()) return 0;
  std::vector<std::string> expected;
  for (const std::string& n : names) {
    if (n.empty()) break;
    expected.push_back(n);
  }
  std::vector<std::string> read;
  for (const TByteRange& r : list.Names) read.emplace_back(Slice(block, r));
  if (read != expected) std::abort();
  return 0;
}
