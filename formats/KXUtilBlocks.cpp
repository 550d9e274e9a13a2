#include "formats/KXUtilBlocks.h"

namespace kestrix::blocks {

namespace {

// The character at Index of a name list of CharSize-byte characters; the caller has checked
// that it lies inside Data.
std::uint32_t CharAt(std::string_view Data, std::size_t Index, std::size_t CharSize) {
  std::size_t at = Index * CharSize;
  std::uint32_t c = static_cast<unsigned char>(Data[at]);
  if (CharSize == 2) c |= static_cast<std::uint32_t>(static_cast<unsigned char>(Data[at + 1])) << 8;
  return c;
}

}  // namespace

std::uint32_t ReadLE32(std::string_view Data, std::size_t Offset) {
  if (Offset > Data.size() || Data.size() - Offset < 4) return 0;
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(Data[Offset + i])) << (8 * i);
  return v;
}

void AppendLE32(std::string& Out, std::uint32_t Value) {
  for (int i = 0; i < 4; ++i) Out.push_back(static_cast<char>((Value >> (8 * i)) & 0xFF));
}

bool HDROPIsWide(std::string_view Block) {
  return Block.size() > HDROPHeaderSize && ReadLE32(Block, HDROPWideOffset) != 0;
}

std::vector<TByteRange> HDROPNameRanges(std::string_view Block) {
  std::vector<TByteRange> names;
  if (Block.size() <= HDROPHeaderSize) return names;
  const std::size_t charSize = HDROPIsWide(Block) ? 2 : 1;
  const std::string_view list = Block.substr(HDROPHeaderSize);
  const std::size_t count = list.size() / charSize;
  std::size_t start = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (CharAt(list, i, charSize) != 0) continue;
    if (i > 0 && CharAt(list, i - 1, charSize) == 0) return names;  // the list's closing NUL pair
    if (i > start) names.push_back({HDROPHeaderSize + start * charSize, (i - start) * charSize});
    start = i + 1;
  }
  // No closing pair: the last name runs to the end of the block.
  if (count > start) names.push_back({HDROPHeaderSize + start * charSize, (count - start) * charSize});
  return names;
}

std::vector<TByteRange> FileGroupNameRanges(std::string_view Block, bool Wide) {
  std::vector<TByteRange> names;
  // The count is a signed value in the block's own definition: anything with the top bit set
  // is no count at all.
  const std::uint32_t stated = ReadLE32(Block, 0);
  if (stated == 0 || stated > 0x7FFFFFFFu) return names;
  const std::size_t recordSize = Wide ? FileDescriptorSizeW : FileDescriptorSizeA;
  const std::size_t charSize = Wide ? 2 : 1;
  const std::size_t complete = (Block.size() - FileGroupCountSize) / recordSize;  // size >= 4 here
  const std::size_t records = complete < stated ? complete : stated;
  names.reserve(records);
  for (std::size_t n = 0; n < records; ++n) {
    const std::size_t nameOffset = FileGroupCountSize + n * recordSize + FileDescriptorNameOffset;
    const std::string_view field = Block.substr(nameOffset, FileDescriptorNameUnits * charSize);
    std::size_t length = 0;
    while (length < FileDescriptorNameUnits && CharAt(field, length, charSize) != 0) ++length;
    names.push_back({nameOffset, length * charSize});
  }
  return names;
}

}  // namespace kestrix::blocks
