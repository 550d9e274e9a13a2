#include "formats/KXNetscapeImageBlock.h"

namespace kestrix::blocks {

TByteRange NetscapeImageURLRange(std::string_view Block) {
  if (Block.size() <= NetscapeImageURLOffset) return {};
  const std::string_view text = Block.substr(NetscapeImageURLOffset);
  const std::size_t zero = text.find('\0');
  return {NetscapeImageURLOffset, zero == std::string_view::npos ? text.size() : zero};
}

}  // namespace kestrix::blocks
