#pragma once
// Byte-level reading and writing of the shell's clipboard blocks (HDROP name lists, file group
// descriptors). Standard C++ only, with no Windows headers, so that the parsers of foreign blocks
// also build natively for sanitizer and fuzzing runs. Every read is checked against the block's
// length; callers turn the byte ranges found here into strings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#include "framework/Export.h"
#define KX_BLOCKS_API KX_API
#else
#define KX_BLOCKS_API
#endif

namespace kestrix::blocks {

// A run of bytes inside a block.
struct TByteRange {
  std::size_t Offset = 0;
  std::size_t Length = 0;
  bool operator==(const TByteRange&) const = default;
};

enum : std::size_t {
  HDROPHeaderSize = 20,     // DROPFILES: pFiles, pt.x, pt.y, fNC, fWide
  HDROPWideOffset = 16,
  FileGroupCountSize = 4,   // cItems ahead of the records
  FileDescriptorSizeW = 592,
  FileDescriptorSizeA = 332,
  FileDescriptorNameOffset = 72,
  FileDescriptorNameUnits = 260,  // MAX_PATH code units (W) or bytes (A)
};

// Little-endian 32-bit value at Offset; 0 when the four bytes do not all lie inside Data.
KX_BLOCKS_API std::uint32_t ReadLE32(std::string_view Data, std::size_t Offset);
KX_BLOCKS_API void AppendLE32(std::string& Out, std::uint32_t Value);

// True when the block carries a header whose fWide field is non-zero (UTF-16 names).
KX_BLOCKS_API bool HDROPIsWide(std::string_view Block);
// The names of an HDROP block: the non-empty runs between NUL characters that come before the
// first pair of NULs (or the end of the block), always read right behind the 20-byte header. A
// range covers whole characters of 1 (ANSI) or 2 (UTF-16) bytes; an odd trailing byte of a
// UTF-16 block is ignored. A block of 20 bytes or fewer has no names.
KX_BLOCKS_API std::vector<TByteRange> HDROPNameRanges(std::string_view Block);

// The cFileName values of a file group descriptor block (records of 592 bytes for the UTF-16
// form, 332 for the ANSI form): one range per record that lies completely inside the block, up
// to the count the block states (none for a count of 0 or one with the top bit set), each ending
// at the field's first NUL or after its 260 characters.
KX_BLOCKS_API std::vector<TByteRange> FileGroupNameRanges(std::string_view Block, bool Wide);

// A folder and a name joined as the shell's blocks carry them: a backslash goes between them
// only when the folder is non-empty and does not already end in one.
template <class S>
S JoinFolderAndName(const S& Folder, const S& Name) {
  S full = Folder;
  if (!Folder.empty() && Folder.back() != '\\') full.push_back('\\');
  full += Name;
  return full;
}

}  // namespace kestrix::blocks
