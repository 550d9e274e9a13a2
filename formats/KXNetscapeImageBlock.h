#pragma once
// The "Netscape Image Format" block a browser offers with a dragged image, read from bytes.
// Standard C++ only: see KXBlockLayout.h.
#include <string_view>

#include "formats/KXBlockBytes.h"
#include "formats/KXBlockLayout.h"

namespace kestrix::blocks {

// The image's URL: the ANSI text at offset 44, ending at a zero byte or at the end of the block.
// Empty for a block of 44 bytes or fewer.
KX_BLOCKS_API TByteRange NetscapeImageURLRange(std::string_view Block);

}  // namespace kestrix::blocks
