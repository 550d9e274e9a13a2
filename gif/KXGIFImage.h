#pragma once
// KXGIFImage: the GIF reader.
#include "framework/Export.h"

namespace kestrix {

// The unit's start-up and shut-down (the shut-down frees the extension registries).
KX_API void KXGIFImageStartup();
KX_API void KXGIFImageShutdown();

}  // namespace kestrix
