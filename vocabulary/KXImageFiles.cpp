#include "vocabulary/KXImageFiles.h"

#include <string_view>

#include "framework/Streams.h"
#include "framework/WicImage.h"
#include "gif/KXGIFImage.h"

namespace kestrix {

namespace {

bool StartsWith(std::string_view bytes, std::string_view magic) { return bytes.substr(0, magic.size()) == magic; }

}  // namespace

std::unique_ptr<vcl::TBitmap> DecodeImageFile(vcl::TCustomMemoryStream& Stream, const wchar_t* InvalidMessage, bool KeepAlpha) {
  const std::string_view File(reinterpret_cast<const char*>(Stream.Memory()), static_cast<size_t>(Stream.Size()));
  Stream.SetPosition(0);
  auto bitmap = std::make_unique<vcl::TBitmap>();
  // The readers below raise their own exceptions for bytes they cannot read: all mean no picture.
  try {
    if (StartsWith(File, "GIF87a") || StartsWith(File, "GIF89a")) {
      TGIFImage gif;
      gif.LoadFromStream(Stream);
      bitmap->Assign(&gif);
    } else if (StartsWith(File, "BM")) {
      bitmap->LoadFromStream(Stream);
    } else {
      bitmap = vcl::DecodeImageWithWIC(File, nullptr, InvalidMessage, KeepAlpha);
    }
  } catch (const GIFException&) {
    throw vcl::EInvalidGraphic(InvalidMessage);
  } catch (const vcl::EReadError&) {  // a bitmap file shorter than its header
    throw vcl::EInvalidGraphic(InvalidMessage);
  }
  if (bitmap->Empty()) throw vcl::EInvalidGraphic(InvalidMessage);
  return bitmap;
}

}  // namespace kestrix
