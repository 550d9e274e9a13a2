#pragma once
// File group descriptors read record by record and built: the blocks ("FileGroupDescriptorW",
// "FileGroupDescriptor") that name the virtual files of a drag whose contents travel as
// "FileContents" per item. Standard C++ only (no Windows headers), so the reader also builds
// natively for sanitizer and fuzzing runs. A descriptor comes from another application: the
// count it states is never trusted beyond the records the block holds completely, and a name
// ends at its first NUL or at the end of its 260-unit field.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/KXBlockBytes.h"
#include "formats/KXBlockLayout.h"

namespace kestrix::blocks {

// dwFlags bits of a record: which of its fields are valid.
enum : std::uint32_t {
  FileDescriptorHasClsid = 0x0001,
  FileDescriptorHasSizePoint = 0x0002,
  FileDescriptorHasAttributes = 0x0004,
  FileDescriptorHasCreateTime = 0x0008,
  FileDescriptorHasAccessTime = 0x0010,
  FileDescriptorHasWriteTime = 0x0020,
  FileDescriptorHasFileSize = 0x0040,
  FileDescriptorShowProgress = 0x4000,
  FileDescriptorUnicode = 0x80000000u,
};
enum : std::uint32_t { FileAttributeDirectory = 0x10 };

// One record as the block states it. Times are FILETIME values (100 ns since 1601) and 0 when the
// record does not mark them valid; Size is 0 unless HasSize.
struct TFileGroupRecord {
  TByteRange Name;                  // cFileName: UTF-16LE bytes (Wide) or ANSI bytes, no NUL
  std::uint32_t Flags = 0;
  std::uint32_t Attributes = 0;     // valid when Flags has FileDescriptorHasAttributes
  std::uint64_t CreationTime = 0;
  std::uint64_t LastAccessTime = 0;
  std::uint64_t LastWriteTime = 0;
  std::uint64_t Size = 0;
  bool HasSize() const { return (Flags & FileDescriptorHasFileSize) != 0; }
  bool HasAttributes() const { return (Flags & FileDescriptorHasAttributes) != 0; }
  bool IsFolder() const { return HasAttributes() && (Attributes & FileAttributeDirectory) != 0; }
};

// The records of a descriptor block, in order: as many as the block states (none for a count of
// 0 or one with the top bit set) and holds completely. Wide selects 592-byte records with UTF-16
// names, else 332-byte records with ANSI names.
KX_BLOCKS_API std::vector<TFileGroupRecord> ReadFileGroup(std::string_view Block, bool Wide);

// The name field at NameOffset of Block: up to its first NUL, MaxUnits characters (of 2 bytes when
// Wide) or the block's last whole character, whichever comes first. Empty when NameOffset lies
// outside the block.
KX_BLOCKS_API TByteRange FileDescriptorNameRange(std::string_view Block, std::size_t NameOffset, std::size_t MaxUnits,
                                                 bool Wide);

// One record to build. Name is already encoded as the block carries it (UTF-16LE bytes for the
// wide form, ANSI bytes otherwise) and is cut to 259 units, so that the field keeps its NUL (a
// wide name never between the halves of a surrogate pair; an odd last byte of it is dropped).
struct TFileGroupEntry {
  std::string Name;
  bool HasSize = false;
  std::uint64_t Size = 0;
  std::uint32_t Attributes = 0;     // written with FileDescriptorHasAttributes when non-zero
  std::uint64_t LastWriteTime = 0;  // written with FileDescriptorHasWriteTime when non-zero
};
// A descriptor block (count, then one record per entry, unused fields zero). Every record asks
// for the shell's progress display (FileDescriptorShowProgress); wide records are marked Unicode.
KX_BLOCKS_API std::string FileGroupBlock(const std::vector<TFileGroupEntry>& Entries, bool Wide);

}  // namespace kestrix::blocks
