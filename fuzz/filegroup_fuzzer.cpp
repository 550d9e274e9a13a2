// File group descriptors in both forms: every name lies inside its record's cFileName field, holds
// no NUL and ends at a NUL, the field's end or the block's end; the title read from the first
// record agrees with the first name whenever that record is complete.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/KXUtilBlocks.h"

using namespace kestrix::blocks;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// A name's characters hold no NUL, and the character after it (if inside Limit) is one.
void CheckName(std::string_view block, TByteRange r, std::size_t unit, std::size_t limit) {
  Check(r.Offset + r.Length <= limit && limit <= block.size() && r.Length % unit == 0);
  for (std::size_t at = r.Offset; at < r.End(); at += unit)
    Check(block.substr(at, unit).find_first_not_of('\0') != std::string_view::npos);
  if (limit - r.End() >= unit) Check(block.substr(r.End(), unit).find_first_not_of('\0') == std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  for (bool wide : {false, true}) {
    const std::size_t unit = wide ? 2 : 1;
    const std::size_t record = wide ? FileDescriptorSizeW : FileDescriptorSizeA;
    const std::vector<TByteRange> names = FileGroupNameRanges(block, wide);
    for (std::size_t n = 0; n < names.size(); ++n) {
      const std::size_t field = FileGroupCountSize + n * record + FileDescriptorNameOffset;
      Check(names[n].Offset == field);
      CheckName(block, names[n], unit, field + FileDescriptorNameUnits * unit);
    }
    const TByteRange title = FileGroupFirstNameRange(block, wide);
    if (title.Length) {
      const std::size_t recordEnd = FileGroupCountSize + record;
      Check(title.Offset == FileGroupCountSize + FileDescriptorNameOffset);
      CheckName(block, title, unit, size < recordEnd ? size : recordEnd);
    }
    if (!names.empty()) Check(names[0] == title);
  }
  return 0;
}
