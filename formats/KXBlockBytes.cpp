#include "formats/KXBlockBytes.h"

namespace kestrix::blocks {

namespace {

std::uint64_t ReadLE(std::string_view Data, std::size_t Offset, std::size_t Count) {
  if (!Fits(Data.size(), Offset, Count)) return 0;
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < Count; ++i) v |= std::uint64_t(static_cast<unsigned char>(Data[Offset + i])) << (8 * i);
  return v;
}

void AppendLE(std::string& Out, std::uint64_t Value, std::size_t Count) {
  for (std::size_t i = 0; i < Count; ++i) Out.push_back(static_cast<char>((Value >> (8 * i)) & 0xFF));
}

void StoreLE(std::string& Block, std::size_t Offset, std::uint64_t Value, std::size_t Count) {
  if (!Fits(Block.size(), Offset, Count)) return;
  for (std::size_t i = 0; i < Count; ++i) Block[Offset + i] = static_cast<char>((Value >> (8 * i)) & 0xFF);
}

}  // namespace

std::uint16_t ReadLE16(std::string_view Data, std::size_t Offset) { return static_cast<std::uint16_t>(ReadLE(Data, Offset, 2)); }
std::uint32_t ReadLE32(std::string_view Data, std::size_t Offset) { return static_cast<std::uint32_t>(ReadLE(Data, Offset, 4)); }
std::uint64_t ReadLE64(std::string_view Data, std::size_t Offset) { return ReadLE(Data, Offset, 8); }
void AppendLE16(std::string& Out, std::uint16_t Value) { AppendLE(Out, Value, 2); }
void AppendLE32(std::string& Out, std::uint32_t Value) { AppendLE(Out, Value, 4); }
void StoreLE32(std::string& Block, std::size_t Offset, std::uint32_t Value) { StoreLE(Block, Offset, Value, 4); }
void StoreLE64(std::string& Block, std::size_t Offset, std::uint64_t Value) { StoreLE(Block, Offset, Value, 8); }

}  // namespace kestrix::blocks
