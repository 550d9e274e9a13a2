#pragma once
// CF_METAFILEPICT records read from bytes. Standard C++ only: see KXBlockLayout.h. The record's
// size depends on the width of a handle (16 bytes in 32-bit processes, 24 in 64-bit ones), so
// the width is a parameter: a native build checks both layouts.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "formats/KXBlockBytes.h"
#include "formats/KXBlockLayout.h"

namespace kestrix::blocks {

struct TMetafilePict {
  std::int32_t MappingMode = 0;  // mm
  std::int32_t XExt = 0;
  std::int32_t YExt = 0;
  std::uint64_t MetaFile = 0;    // hMF, zero-extended from a 4-byte handle
};

// The record at the start of Block for handles of HandleSize bytes (4 or 8); nullopt for another
// width or a block shorter than MetafilePictSize(HandleSize).
KX_BLOCKS_API std::optional<TMetafilePict> ReadMetafilePict(std::string_view Block, std::size_t HandleSize);

// The handle width of this build.
inline constexpr std::size_t NativeHandleSize = sizeof(void*);

}  // namespace kestrix::blocks
