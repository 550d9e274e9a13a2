#pragma once
// Builders of foreign blocks for the parsers' tests. Standard C++ only: these tests also run in
// the native sanitizer build, where every view handed to a parser is an allocation of exactly the
// block's size, so a read past it is caught.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace blockstest {

inline std::string LE16(std::uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
inline std::string LE32(std::uint32_t v) { return LE16(static_cast<std::uint16_t>(v)) + LE16(static_cast<std::uint16_t>(v >> 16)); }

// A literal with its embedded NULs.
template <std::size_t N>
std::string Bytes(const char (&s)[N]) { return std::string(s, N - 1); }

// ASCII text as UTF-16LE bytes.
inline std::string Wide(std::string_view ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

// A copy of a block in an allocation of exactly its size.
class TExact {
 public:
  explicit TExact(const std::string& block) : FData(new char[block.size() ? block.size() : 1]), FSize(block.size()) {
    if (FSize) std::memcpy(FData.get(), block.data(), FSize);
  }
  std::string_view View() const { return {FData.get(), FSize}; }

 private:
  std::unique_ptr<char[]> FData;
  std::size_t FSize;
};

}  // namespace blockstest
