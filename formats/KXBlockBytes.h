#pragma once
// Little-endian reading and writing inside byte blocks, and the byte range the block parsers
// return. Standard C++ only: see KXBlockLayout.h.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/KXBlockLayout.h"

namespace kestrix::blocks {

// A run of bytes inside a block.
struct TByteRange {
  std::size_t Offset = 0;
  std::size_t Length = 0;
  bool operator==(const TByteRange&) const = default;
  bool Empty() const { return Length == 0; }
  std::size_t End() const { return Offset + Length; }
};

// True when Length bytes at Offset lie inside a block of Size bytes (no overflow for any values).
constexpr bool Fits(std::size_t Size, std::size_t Offset, std::size_t Length) {
  return Offset <= Size && Length <= Size - Offset;
}

// Little-endian values at Offset; 0 when the bytes do not all lie inside Data.
KX_BLOCKS_API std::uint16_t ReadLE16(std::string_view Data, std::size_t Offset);
KX_BLOCKS_API std::uint32_t ReadLE32(std::string_view Data, std::size_t Offset);
KX_BLOCKS_API std::uint64_t ReadLE64(std::string_view Data, std::size_t Offset);
KX_BLOCKS_API void AppendLE16(std::string& Out, std::uint16_t Value);
KX_BLOCKS_API void AppendLE32(std::string& Out, std::uint32_t Value);
// Overwrite bytes already in Block at Offset; nothing happens when they do not all lie inside it.
KX_BLOCKS_API void StoreLE32(std::string& Block, std::size_t Offset, std::uint32_t Value);
KX_BLOCKS_API void StoreLE64(std::string& Block, std::size_t Offset, std::uint64_t Value);

// The bytes of Block at Range; empty when the range does not lie inside Block.
inline std::string_view Slice(std::string_view Block, TByteRange Range) {
  return Fits(Block.size(), Range.Offset, Range.Length) ? Block.substr(Range.Offset, Range.Length) : std::string_view();
}

}  // namespace kestrix::blocks
