#pragma once
// Pictures held as image files in memory (a dropped file, a virtual file's contents, an
// application's PNG or JPEG bytes), recognised by their content, never by a name: GIF through the
// library's GIF reader (the first frame), BMP files as vcl::TBitmap reads them, anything else
// through Windows Imaging Component (PNG, JPEG, TIFF, ...).
#include <memory>

#include "framework/Export.h"
#include "framework/Graphics.h"
#include "framework/Streams.h"

namespace kestrix {

// Decodes the file (the stream's whole contents) into a new bitmap. WIC's images become 24-bit bitmaps, or with KeepAlpha 32-bit
// ones holding the image's alpha (not premultiplied). Bytes that are no picture raise
// vcl::EInvalidGraphic(InvalidMessage); a failure of the system itself raises EOleError.
KX_API std::unique_ptr<vcl::TBitmap> DecodeImageFile(vcl::TCustomMemoryStream& File, const wchar_t* InvalidMessage,
                                                     bool KeepAlpha = false);

}  // namespace kestrix
