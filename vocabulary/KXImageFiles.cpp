#include "vocabulary/KXImageFiles.h"

#include <string_view>

#include "framework/Handles.h"
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

TAlphaPixels AlphaPixelsOf(HBITMAP Bitmap) {
  BITMAP bm{};
  if (!Bitmap || !GetObjectW(Bitmap, sizeof bm, &bm) || bm.bmBitsPixel != 32 || bm.bmWidth <= 0 || bm.bmHeight <= 0) return {};
  TAlphaPixels pixels;
  pixels.Width = static_cast<unsigned>(bm.bmWidth);
  pixels.Height = static_cast<unsigned>(bm.bmHeight);
  pixels.BGRA.assign(size_t(pixels.Width) * pixels.Height * 4, '\0');
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, -bm.bmHeight, 1, 32, BI_RGB};
  vcl::TWindowDC screen;
  if (GetDIBits(screen.Get(), Bitmap, 0, pixels.Height, pixels.BGRA.data(), &info, DIB_RGB_COLORS) != int(pixels.Height)) return {};
  // All 255: nothing is transparent; all 0: a GDI bitmap, whose fourth bytes mean nothing.
  bool notOpaque = false, notZero = false;
  for (size_t i = 3; i < pixels.BGRA.size(); i += 4) {
    notOpaque = notOpaque || pixels.BGRA[i] != '\xFF';
    notZero = notZero || pixels.BGRA[i] != '\0';
  }
  if (!notOpaque || !notZero) return {};
  return pixels;
}

std::unique_ptr<vcl::TBitmap> BitmapFromHandle(HBITMAP Bitmap) {
  auto bitmap = std::make_unique<vcl::TBitmap>();
  bitmap->LoadFromClipboardFormat(CF_BITMAP, Bitmap, nullptr);  // copies: a DIB section stays one
  return bitmap;
}

UINT PNGClipboardFormat() {
  static const UINT format = RegisterClipboardFormatW(L"PNG");
  return format;
}

}  // namespace kestrix
