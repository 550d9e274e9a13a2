#include "formats/KXNetscape.h"

#include <algorithm>
#include <memory>

#include "framework/ComAuto.h"
#include "framework/Jpeg.h"
#include "framework/Picture.h"
#include "framework/Streams.h"
#include "gif/KXGIFImage.h"
#include "package/KXConsts.h"

namespace kestrix {

namespace {

// Characters in the buffer handed to Read, and the most bytes asked for at a time.
constexpr int kReadBufferLength = 1000;

// The graphic that decodes content of the given type; nil for types not decoded here.
std::unique_ptr<vcl::TGraphic> NewGraphicFor(TImageURLType type) {
  switch (type) {
    case iuBMP: return std::make_unique<vcl::TBitmap>();
    case iuGIF: return std::make_unique<TGIFImage>();
    case iuJPG: return std::make_unique<vcl::TJPEGImage>();
    default: return nullptr;
  }
}

}  // namespace

TImageURLType imageURLTypeFromContentType(const std::wstring& ContentType) {
  static constexpr struct {
    const wchar_t* Text;
    TImageURLType Type;
  } kContentTypes[] = {
      {res::sContentTypeBMP, iuBMP},
      {res::sContentTypeGIF, iuGIF},
      {res::sContentTypeJPEG, iuJPG},
      {res::sContentTypePNG, iuPNG},
  };
  for (const auto& known : kContentTypes)
    if (vcl::AnsiCompareText(ContentType, known.Text) == 0) return known.Type;
  return iuUnknown;
}

std::wstring getNetscapeURLOnStream(const std::wstring& URL, vcl::TStream* Stream) {
  std::wstring contentType;
  if (!Stream) return contentType;
  vcl::TBStr buffer = vcl::TBStr::OfLength(kReadBufferLength);
  vcl::TComPtr<IDispatch> network = vcl::CreateOleObject(res::sNetscapeNetworkProgID);
  IDispatch* object = network.Get();
  if (!vcl::OleCallMethod(object, L"Open", {URL, 0, L"", 0, L""}).AsBoolean()) return contentType;
  try {
    contentType = vcl::OleCallMethod(object, L"GetContentType").AsString();
    while (!vcl::OleCallMethod(object, L"IsFinished").AsBoolean()) {
      const int count = vcl::OleCallMethod(object, L"Read", {buffer, kReadBufferLength}).AsInteger();
      if (count <= 0) break;
      // The bytes sit at the start of the buffer's storage, which the object may have replaced;
      // a count beyond that storage is not believed.
      const UINT taken = std::min(static_cast<UINT>(count), buffer.ByteLength());
      Stream->WriteBuffer(buffer.Get(), taken);
    }
  } catch (...) {
    // The first error is the one reported; a failing Close must not hide it.
    try {
      vcl::OleCallMethod(object, L"Close");
    } catch (...) {
    }
    throw;
  }
  vcl::OleCallMethod(object, L"Close");
  return contentType;
}

TImageURLType getNetscapeImageURLIntoPicture(const std::wstring& URL, vcl::TPicture* Picture) {
  vcl::TMemoryStream stream;
  const TImageURLType type = imageURLTypeFromContentType(getNetscapeURLOnStream(URL, &stream));
  std::unique_ptr<vcl::TGraphic> graphic = NewGraphicFor(type);
  if (!graphic || !Picture) return type;
  stream.SetPosition(0);
  graphic->LoadFromStream(stream);
  // Decoded and rendered before the picture is touched, so that a failure leaves it as it was.
  vcl::TBitmap bitmap;
  bitmap.Assign(graphic.get());
  Picture->Bitmap()->Assign(&bitmap);
  return type;
}

}  // namespace kestrix
