#include "formats/KXFileGroupBlock.h"

namespace kestrix::blocks {

namespace {

std::size_t RecordSize(bool Wide) { return Wide ? FileDescriptorSizeW : FileDescriptorSizeA; }

std::uint64_t ValidIf(bool Valid, std::uint64_t Value) { return Valid ? Value : 0; }

}  // namespace

TByteRange FileDescriptorNameRange(std::string_view Block, std::size_t NameOffset, std::size_t MaxUnits, bool Wide) {
  if (NameOffset >= Block.size()) return {};
  const std::size_t unit = Wide ? 2 : 1;
  const std::size_t room = (Block.size() - NameOffset) / unit;
  const std::size_t limit = room < MaxUnits ? room : MaxUnits;
  std::size_t length = 0;
  while (length < limit && (Wide ? ReadLE16(Block, NameOffset + 2 * length) : static_cast<unsigned char>(Block[NameOffset + length])) != 0)
    ++length;
  return {NameOffset, length * unit};
}

std::vector<TFileGroupRecord> ReadFileGroup(std::string_view Block, bool Wide) {
  std::vector<TFileGroupRecord> records;
  // The count is signed in the block's own definition: anything with the top bit set is no count.
  const std::uint32_t stated = ReadLE32(Block, 0);
  if (stated == 0 || stated > 0x7FFFFFFFu) return records;
  const std::size_t recordSize = RecordSize(Wide);
  const std::size_t complete = (Block.size() - FileGroupCountSize) / recordSize;  // size >= 4 here
  const std::size_t count = complete < stated ? complete : stated;
  records.reserve(count);
  for (std::size_t n = 0; n < count; ++n) {
    const std::size_t at = FileGroupCountSize + n * recordSize;
    const std::string_view record = Block.substr(at, recordSize);
    TFileGroupRecord r;
    r.Flags = ReadLE32(record, FileDescriptorFlagsOffset);
    r.Name = FileDescriptorNameRange(Block, at + FileDescriptorNameOffset, FileDescriptorNameUnits, Wide);
    r.Attributes = static_cast<std::uint32_t>(ValidIf(r.HasAttributes(), ReadLE32(record, FileDescriptorAttributesOffset)));
    r.CreationTime = ValidIf(r.Flags & FileDescriptorHasCreateTime, ReadLE64(record, FileDescriptorCreationTimeOffset));
    r.LastAccessTime = ValidIf(r.Flags & FileDescriptorHasAccessTime, ReadLE64(record, FileDescriptorLastAccessTimeOffset));
    r.LastWriteTime = ValidIf(r.Flags & FileDescriptorHasWriteTime, ReadLE64(record, FileDescriptorLastWriteTimeOffset));
    r.Size = ValidIf(r.HasSize(), std::uint64_t(ReadLE32(record, FileDescriptorSizeHighOffset)) << 32 |
                                      ReadLE32(record, FileDescriptorSizeLowOffset));
    records.push_back(r);
  }
  return records;
}

std::string FileGroupBlock(const std::vector<TFileGroupEntry>& Entries, bool Wide) {
  const std::size_t recordSize = RecordSize(Wide);
  const std::size_t unit = Wide ? 2 : 1;
  // The whole block zeroed at once; each record then gets only its non-zero fields.
  std::string block(FileGroupCountSize + Entries.size() * recordSize, '\0');
  StoreLE32(block, 0, static_cast<std::uint32_t>(Entries.size()));
  for (std::size_t n = 0; n < Entries.size(); ++n) {
    const TFileGroupEntry& e = Entries[n];
    const std::size_t at = FileGroupCountSize + n * recordSize;
    std::uint32_t flags = FileDescriptorShowProgress | (Wide ? FileDescriptorUnicode : 0u);
    if (e.HasSize) {
      flags |= FileDescriptorHasFileSize;
      StoreLE32(block, at + FileDescriptorSizeHighOffset, static_cast<std::uint32_t>(e.Size >> 32));
      StoreLE32(block, at + FileDescriptorSizeLowOffset, static_cast<std::uint32_t>(e.Size));
    }
    if (e.Attributes) {
      flags |= FileDescriptorHasAttributes;
      StoreLE32(block, at + FileDescriptorAttributesOffset, e.Attributes);
    }
    if (e.LastWriteTime) {
      flags |= FileDescriptorHasWriteTime;
      StoreLE64(block, at + FileDescriptorLastWriteTimeOffset, e.LastWriteTime);
    }
    StoreLE32(block, at + FileDescriptorFlagsOffset, flags);
    std::size_t units = e.Name.size() / unit;
    if (units > FileDescriptorNameUnits - 1) {
      units = FileDescriptorNameUnits - 1;
      const std::uint16_t last = Wide ? ReadLE16(e.Name, 2 * (units - 1)) : 0;
      if (last >= 0xD800 && last < 0xDC00) --units;  // keep a surrogate pair whole
    }
    block.replace(at + FileDescriptorNameOffset, units * unit, e.Name, 0, units * unit);
  }
  return block;
}

}  // namespace kestrix::blocks
