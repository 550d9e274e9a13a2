#include "formats/KXUtilBlocks.h"

#include "formats/KXFileGroupBlock.h"

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

THDROPList ReadHDROPList(std::string_view Block) {
  THDROPList out;
  if (Block.size() <= HDROPHeaderSize) return out;
  const std::uint32_t pFiles = ReadLE32(Block, HDROPFilesOffset);
  if (pFiles < HDROPHeaderSize || pFiles >= Block.size()) return out;
  out.Wide = HDROPIsWide(Block);
  out.ListOffset = pFiles;
  const std::size_t charSize = out.Wide ? 2 : 1;
  const std::string_view list = Block.substr(pFiles);
  const std::size_t count = list.size() / charSize;
  out.StartsWithName = count > 0 && CharAt(list, 0, charSize) != 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (CharAt(list, i, charSize) != 0) continue;
    if (i > 0 && CharAt(list, i - 1, charSize) == 0) {  // the list's closing NUL pair
      out.Terminated = true;
      return out;
    }
    if (i > start) out.Names.push_back({pFiles + start * charSize, (i - start) * charSize});
    start = i + 1;
  }
  // No closing pair: the last name runs to the end of the block.
  if (count > start) out.Names.push_back({pFiles + start * charSize, (count - start) * charSize});
  return out;
}

bool HDROPIsWide(std::string_view Block) {
  return Block.size() > HDROPHeaderSize && ReadLE32(Block, HDROPWideOffset) != 0;
}

std::vector<TByteRange> HDROPNameRanges(std::string_view Block) { return ReadHDROPList(Block).Names; }

bool HDROPHasWellFormedNames(std::string_view Block) { return ReadHDROPList(Block).WellFormed(); }

std::string HDROPBlockFromNames(const std::vector<std::string>& Names, bool Wide) {
  const std::string nul(Wide ? 2 : 1, '\0');
  std::string block;
  AppendLE32(block, HDROPHeaderSize);  // pFiles
  AppendLE32(block, 0);                // pt.x
  AppendLE32(block, 0);                // pt.y
  AppendLE32(block, 0);                // fNC
  AppendLE32(block, Wide ? 0xFFFFFFFFu : 0);
  for (const std::string& name : Names) block += name + nul;
  block += nul;
  return block;
}

std::vector<TByteRange> FileGroupNameRanges(std::string_view Block, bool Wide) {
  const std::vector<TFileGroupRecord> records = ReadFileGroup(Block, Wide);
  std::vector<TByteRange> names;
  names.reserve(records.size());
  for (const TFileGroupRecord& r : records) names.push_back(r.Name);
  return names;
}

TByteRange FileGroupFirstNameRange(std::string_view Block, bool Wide) {
  if (ReadLE32(Block, 0) == 0) return {};
  return FileDescriptorNameRange(Block, FileGroupCountSize + FileDescriptorNameOffset, FileDescriptorNameUnits, Wide);
}

TMozURL ReadMozURL(std::string_view Block) {
  const std::size_t units = Block.size() / 2;
  std::size_t end = 0;
  while (end < units && ReadLE16(Block, end * 2) != 0) ++end;
  // One line from unit First: its range without the line feed and a carriage return before it,
  // and where the next line starts.
  auto lineFrom = [&](std::size_t first, std::size_t& next) {
    std::size_t last = first;
    while (last < end && ReadLE16(Block, last * 2) != '\n') ++last;
    next = last < end ? last + 1 : end;
    std::size_t stop = last;
    if (stop > first && ReadLE16(Block, (stop - 1) * 2) == '\r') --stop;
    return TByteRange{first * 2, (stop - first) * 2};
  };
  TMozURL r;
  std::size_t next = 0;
  r.URL = lineFrom(0, next);
  if (next < end) r.Title = lineFrom(next, next);
  return r;
}

}  // namespace kestrix::blocks
