// The browser image block's URL: inside the block from offset 44, no NUL in it, ended by a NUL or
// by the block's end.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/KXNetscapeImageBlock.h"

using namespace kestrix::blocks;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  const TByteRange url = NetscapeImageURLRange(block);
  if (size <= NetscapeImageURLOffset) {
    if (url.Length || url.Offset) std::abort();
    return 0;
  }
  if (url.Offset != NetscapeImageURLOffset || !Fits(size, url.Offset, url.Length)) std::abort();
  if (Slice(block, url).find('\0') != std::string_view::npos) std::abort();
  if (url.End() < size && block[url.End()] != '\0') std::abort();
  return 0;
}
