#pragma once
// KXNetscape: images and other content fetched by URL through a web browser's network automation
// object ("Netscape.Network.1"), classified by MIME type and decoded into pictures.
#include <cstdint>
#include <string>

#include "framework/Export.h"
#include "framework/Types.h"

namespace vcl {
class TStream;
class TPicture;
}  // namespace vcl

namespace kestrix {

enum TImageURLType : std::uint8_t { iuUnknown, iuBMP, iuGIF, iuJPG, iuPNG };
using TImageURLTypes = vcl::TSet<TImageURLType>;

// The image type of a MIME content type: "image/x-MS-bmp", "image/gif", "image/jpeg" and
// "image/png", compared whole and without regard to case; anything else is iuUnknown.
KX_API TImageURLType imageURLTypeFromContentType(const std::wstring& ContentType);

// Fetches URL through the browser's network object and writes its bytes to Stream from the
// stream's position; returns the content type the browser reported. Returns "" without creating
// the object for a nil Stream, and "" when the object cannot open the URL. The object's errors
// pass to the caller: EOleSysError when it cannot be created, EOleException when one of its
// methods fails. Once the URL is open, the object is closed on every path.
KX_API std::wstring getNetscapeURLOnStream(const std::wstring& URL, vcl::TStream* Stream);

// Fetches URL and, for BMP, GIF and JPEG content, loads the image into Picture as a bitmap (the
// picture keeps its own copy); for PNG and unknown content the picture is left as it was, as it
// is when anything fails. Returns the content's type. The fetch's errors and the decoders' errors
// (EInvalidGraphic, GIFException) pass to the caller. With a nil Picture nothing is decoded.
KX_API TImageURLType getNetscapeImageURLIntoPicture(const std::wstring& URL, vcl::TPicture* Picture);

}  // namespace kestrix
