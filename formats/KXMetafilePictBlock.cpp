#include "formats/KXMetafilePictBlock.h"

namespace kestrix::blocks {

std::optional<TMetafilePict> ReadMetafilePict(std::string_view Block, std::size_t HandleSize) {
  if ((HandleSize != 4 && HandleSize != 8) || Block.size() < MetafilePictSize(HandleSize)) return std::nullopt;
  TMetafilePict pict;
  pict.MappingMode = static_cast<std::int32_t>(ReadLE32(Block, 0));
  pict.XExt = static_cast<std::int32_t>(ReadLE32(Block, 4));
  pict.YExt = static_cast<std::int32_t>(ReadLE32(Block, 8));
  const std::size_t at = MetafilePictHandleOffset(HandleSize);
  pict.MetaFile = HandleSize == 8 ? ReadLE64(Block, at) : ReadLE32(Block, at);
  return pict;
}

}  // namespace kestrix::blocks
