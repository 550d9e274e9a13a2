#pragma once
// Pictures held as image files in memory (a dropped file, a virtual file's contents, an
// application's PNG or JPEG bytes), recognised by their content, never by a name: GIF through the
// library's GIF reader (the first frame), BMP files as vcl::TBitmap reads them, anything else
// through Windows Imaging Component (PNG, JPEG, TIFF, ...).
#include <windows.h>

#include <memory>
#include <string>

#include "framework/Export.h"
#include "framework/Graphics.h"
#include "framework/Streams.h"

namespace kestrix {

// Decodes the file (the stream's whole contents) into a new bitmap. WIC's images become 24-bit bitmaps, or with KeepAlpha 32-bit
// ones holding the image's alpha (not premultiplied). Bytes that are no picture raise
// vcl::EInvalidGraphic(InvalidMessage); a failure of the system itself raises EOleError.
KX_API std::unique_ptr<vcl::TBitmap> DecodeImageFile(vcl::TCustomMemoryStream& File, const wchar_t* InvalidMessage,
                                                     bool KeepAlpha = false);

// The registered clipboard format "PNG": a PNG file's bytes, as office suites and browsers offer
// transparent images.
KX_API UINT PNGClipboardFormat();

// A bitmap's pixels as top-down rows of BGRA bytes when it is a 32-bit bitmap whose fourth bytes
// carry transparency (neither all 0, as GDI leaves them, nor all 255); empty otherwise. The fourth
// byte is taken as it is, alpha not premultiplied.
struct TAlphaPixels {
  unsigned Width = 0, Height = 0;
  std::string BGRA;
  bool Empty() const { return BGRA.empty(); }
};
KX_API TAlphaPixels AlphaPixelsOf(HBITMAP Bitmap);

// A copy of an application's bitmap that keeps its pixels exactly (a DIB section stays one, with
// its depth and its fourth bytes); the application keeps its handle. Raises EInvalidGraphic for a
// handle that is no bitmap.
KX_API std::unique_ptr<vcl::TBitmap> BitmapFromHandle(HBITMAP Bitmap);

}  // namespace kestrix
