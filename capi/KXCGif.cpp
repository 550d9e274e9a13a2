// The GIF reader's kx_ functions.
#include <memory>

#include "capi/KXCBoundary.h"
#include "framework/Streams.h"
#include "gif/KXGIFImage.h"

using namespace kestrix;
using namespace kestrix::capi;

struct kx_gif {
  TGIFImage Image;
};

namespace {

kx_status CheckGif(const kx_gif* Gif) {
  if (const kx_status s = CheckStarted(); s != KX_OK) return s;
  if (!IsLiveHandle(Gif, THandleType::Gif)) return Fail(KX_E_INVALID_HANDLE, L"Not a live kx_gif");
  return KX_OK;
}

const uint8_t* Triples(TGIFColorMap* Map) {
  return Map && Map->Count() > 0 ? reinterpret_cast<const uint8_t*>(Map->Data()) : nullptr;
}

}  // namespace

extern "C" {

kx_status KX_CALL kx_gif_decode(const void* data, size_t size, kx_gif** gif) {
  return Guard([&]() -> kx_status {
    if (const kx_status s = CheckStarted(); s != KX_OK) return s;
    if (!gif) return Fail(KX_E_INVALID_ARG, L"gif is null");
    *gif = nullptr;
    if (!data && size) return Fail(KX_E_INVALID_ARG, L"data is null");
    vcl::TMemoryStream stream;
    if (size) stream.WriteBuffer(data, static_cast<std::int64_t>(size));
    stream.SetPosition(0);
    auto decoded = std::make_unique<kx_gif>();
    decoded->Image.LoadFromStream(stream);
    RegisterHandle(decoded.get(), THandleType::Gif);
    *gif = decoded.release();
    return KX_OK;
  });
}

kx_status KX_CALL kx_gif_destroy(kx_gif* gif) {
  if (!gif) return KX_OK;
  return Guard([&]() -> kx_status {
    if (const kx_status s = CheckGif(gif); s != KX_OK) return s;
    UnregisterHandle(gif);
    delete gif;
    return KX_OK;
  });
}

kx_status KX_CALL kx_gif_get_info(kx_gif* gif, kx_gif_info* info) {
  return Guard([&]() -> kx_status {
    if (const kx_status s = CheckGif(gif); s != KX_OK) return s;
    TGIFHeader* header = gif->Image.Header();
    kx_gif_info i = KX_GIF_INFO_INIT;
    i.width = header->Width();
    i.height = header->Height();
    i.frame_count = static_cast<size_t>(gif->Image.Images()->Count());
    i.background_index = header->BackgroundColorIndex();
    i.palette_count = header->ColorMap() ? static_cast<size_t>(header->ColorMap()->Count()) : 0;
    i.palette = Triples(header->ColorMap());
    return PutStruct(info, i);
  });
}

kx_status KX_CALL kx_gif_get_frame(kx_gif* gif, size_t index, kx_gif_frame* frame) {
  return Guard([&]() -> kx_status {
    if (const kx_status s = CheckGif(gif); s != KX_OK) return s;
    if (index >= static_cast<size_t>(gif->Image.Images()->Count())) return Fail(KX_E_INDEX, L"No frame " + std::to_wstring(index));
    TGIFSubImage* sub = gif->Image.Images()->GetImage(static_cast<int>(index));
    kx_gif_frame f = KX_GIF_FRAME_INIT;
    f.left = sub->Left();
    f.top = sub->Top();
    f.width = sub->Width();
    f.height = sub->Height();
    if (TGIFGraphicControlExtension* gce = sub->GraphicControlExtension()) {
      f.delay = gce->Delay();
      f.disposal = static_cast<int>(gce->Disposal());
      f.transparent = gce->Transparent() ? 1 : 0;
      f.transparent_index = gce->TransparentColorIndex();
    }
    f.interlaced = sub->Interlaced() ? 1 : 0;
    f.indices = sub->DataSize() > 0 ? sub->Data() : nullptr;
    TGIFColorMap* map = sub->GetActiveColorMap();
    f.palette_count = map ? static_cast<size_t>(map->Count()) : 0;
    f.palette = Triples(map);
    return PutStruct(frame, f);
  });
}

}  // extern "C"
