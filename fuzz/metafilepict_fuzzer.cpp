// METAFILEPICT records of both handle widths: read exactly when the block holds the whole record,
// with the values its bytes hold.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "formats/KXMetafilePictBlock.h"

using namespace kestrix::blocks;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  for (std::size_t handle : {std::size_t(0), std::size_t(4), std::size_t(8), std::size_t(16)}) {
    const auto pict = ReadMetafilePict(block, handle);
    const bool expected = (handle == 4 || handle == 8) && size >= MetafilePictSize(handle);
    if (pict.has_value() != expected) std::abort();
    if (!pict) continue;
    std::uint32_t mm;
    std::memcpy(&mm, data, 4);  // the fuzzing hosts are little-endian, as the blocks are
    std::uint64_t mf = 0;
    std::memcpy(&mf, data + MetafilePictHandleOffset(handle), handle);
    if (static_cast<std::uint32_t>(pict->MappingMode) != mm || pict->MetaFile != mf) std::abort();
  }
  return 0;
}
