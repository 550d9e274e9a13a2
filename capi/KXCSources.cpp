// kx_source_* and the text, picture and file sources' kx_ functions.
#include <windows.h>

#include <string_view>

#include "capi/KXCObjects.h"
#include "formats/KXUtilDataObj.h"
#include "framework/Graphics.h"
#include "framework/GraphicsMetafile.h"
#include "framework/Picture.h"
#include "framework/Streams.h"
#include "sources/KXFileSource.h"
#include "sources/KXGraphicSource.h"
#include "sources/KXTextSource.h"

using namespace kestrix;
using namespace kestrix::capi;

namespace {

void RaiseAfterDrop(kx_source* Source, bool DroppedOK) {
  if (!Source->AfterDrop) return;
  RaiseCallback(Source->Busy, [&] {
    return Source->AfterDrop.Function(Source->AfterDrop.Context, Source, DroppedOK ? 1 : 0);
  });
}

void WireFileSource(kx_source* Source) {
  auto& c = ComponentOf<TKXFileSource>(Source);
  c.setOnGetContents([Source](TObject*, int Index, vcl::TStream& Contents) {
    // Without a callback there are no contents: the request fails rather than deliver an empty file.
    if (!Source->Contents) throw vcl::EAbort(L"No contents callback is set");
    kx_stream stream{&Contents};
    RegisterHandle(&stream, THandleType::Stream);
    struct TUnregister {
      kx_stream* S;
      ~TUnregister() { UnregisterHandle(S); }
    } unregister{&stream};
    RaiseCallback(Source->Busy, [&] {
      return Source->Contents.Function(Source->Contents.Context, Source, static_cast<size_t>(Index), &stream);
    });
  });
}

// Each component's drag state, reached through its own accessors.
template <class F>
void ForComponent(kx_source* Source, F&& Call) {
  switch (Source->Kind) {
    case KX_SOURCE_TEXT: Call(ComponentOf<TKXTextSource>(Source)); break;
    case KX_SOURCE_PICTURE: Call(ComponentOf<TKXGraphicSource>(Source)); break;
    case KX_SOURCE_FILE: Call(ComponentOf<TKXFileSource>(Source)); break;
  }
}

// The picture a source drags from now on: Fill puts a graphic into a picture of the layer's own,
// which the component copies.
template <class F>
kx_status SetPicture(kx_source* Source, F&& Fill) {
  vcl::TPicture picture;
  if (const kx_status s = Fill(picture); s != KX_OK) return s;
  ComponentOf<TKXGraphicSource>(Source).setPicture(&picture);
  return KX_OK;
}

}  // namespace

extern "C" {

// ---- any source ----

kx_status KX_CALL kx_source_create(kx_source_kind kind, kx_source** source) {
  return OnLibraryThread([&]() -> kx_status {
    if (!source) return Fail(KX_E_INVALID_ARG, L"source is null");
    *source = nullptr;
    auto s = std::make_unique<kx_source>();
    s->Kind = kind;
    kx_source* raw = s.get();
    switch (kind) {
      case KX_SOURCE_TEXT: {
        auto c = std::make_unique<TKXTextSource>(nullptr);
        c->setOnAfterDrop([raw](TObject*, TComponent*, bool DroppedOK) { RaiseAfterDrop(raw, DroppedOK); });
        s->Component = std::move(c);
        break;
      }
      case KX_SOURCE_PICTURE: {
        auto c = std::make_unique<TKXGraphicSource>(nullptr);
        c->setOnAfterDrop([raw](TObject*, vcl::TImage*, bool DroppedOK) { RaiseAfterDrop(raw, DroppedOK); });
        s->Component = std::move(c);
        break;
      }
      case KX_SOURCE_FILE: {
        auto c = std::make_unique<TKXFileSource>(nullptr);
        c->setOnAfterDrop([raw](TObject*, bool DroppedOK) { RaiseAfterDrop(raw, DroppedOK); });
        s->Component = std::move(c);
        WireFileSource(raw);
        break;
      }
      default: return Fail(KX_E_INVALID_ARG, L"Unknown source kind");
    }
    RegisterHandle(raw, THandleType::Source);
    *source = s.release();
    return KX_OK;
  });
}

kx_status KX_CALL kx_source_destroy(kx_source* source) {
  if (!source) return KX_OK;
  return OnSource(source, 0, [&]() -> kx_status {
    bool active = false;
    ForComponent(source, [&](auto& c) { active = c.getActive(); });
    if (source->Busy || active) return Fail(KX_E_BUSY, L"The source is dragging or inside one of its callbacks");
    UnregisterHandle(source);
    const std::unique_ptr<kx_source> owned(source);
    source->Component.reset();
    return KX_OK;
  });
}

kx_status KX_CALL kx_source_set_effects(kx_source* source, kx_effect effects) {
  return OnSource(source, 0, [&]() -> kx_status {
    if (effects & ~7u) return Fail(KX_E_INVALID_ARG, L"Unknown KX_EFFECT_* bits");
    const TDropEffects set = setFromDropEffect(effects);
    ForComponent(source, [&](auto& c) { c.setDropEffects(set); });
    return KX_OK;
  });
}

kx_status KX_CALL kx_source_set_drag_image(kx_source* source, int show, HBITMAP image) {
  return OnSource(source, 0, [&]() -> kx_status {
    vcl::TUniqueBitmap copy;
    if (image) {
      copy.Reset(CopyBitmapHandle(image));
      if (!copy) return Fail(KX_E_INVALID_ARG, L"image is not a bitmap that can be copied");
    }
    ForComponent(source, [&](auto& c) {
      c.setShowDragImage(show != 0);
      c.setDragImage(copy.Get());
    });
    source->DragImage = std::move(copy);
    return KX_OK;
  });
}

kx_status KX_CALL kx_source_on_after_drop(kx_source* source, kx_after_drop_fn callback, void* context) {
  return SetSourceCallback(source, 0, &kx_source::AfterDrop, callback, context);
}

kx_status KX_CALL kx_source_execute(kx_source* source, kx_effect* effect) {
  return OnSource(source, 0, [&]() -> kx_status {
    if (effect) *effect = KX_EFFECT_NONE;
    bool ran = false;
    TDropEffect performed = deNone;
    {
      const TCallbackScope scope(source->Busy);
      ForComponent(source, [&](auto& c) {
        ran = c.Execute();
        performed = c.getPerformedEffect();
      });
    }
    if (!ran) return Fail(KX_E_STATE, L"Nothing to drag, a drag is already running, or OLE refused the drag");
    if (effect) *effect = EffectOf(performed);
    return KX_OK;
  });
}

kx_status KX_CALL kx_source_cancel(kx_source* source) {
  return OnSource(source, 0, [&]() -> kx_status {
    ForComponent(source, [&](auto& c) { c.SetExplicitCancel(true); });
    return KX_OK;
  });
}

// ---- the clipboard ----

kx_status KX_CALL kx_source_copy_to_clipboard(kx_source* source, int cut) {
  return OnSource(source, 0, [&]() -> kx_status {
    bool copied = false;
    {
      const TCallbackScope scope(source->Busy);
      ForComponent(source, [&](auto& c) { copied = c.CopyToClipboard(cut != 0); });
    }
    if (!copied) return Fail(KX_E_STATE, L"Nothing to copy, or the clipboard could not be set");
    return KX_OK;
  });
}

kx_status KX_CALL kx_source_is_on_clipboard(kx_source* source, int* on) {
  return OnSource(source, 0, [&]() -> kx_status {
    if (!on) return Fail(KX_E_INVALID_ARG, L"on is null");
    ForComponent(source, [&](auto& c) { *on = c.getOnClipboard() ? 1 : 0; });
    return KX_OK;
  });
}

kx_status KX_CALL kx_source_set_clipboard_retention(kx_source* source, int retention) {
  return OnSource(source, 0, [&]() -> kx_status {
    if (retention != KX_CLIPBOARD_FLUSH && retention != KX_CLIPBOARD_CLEAR)
      return Fail(KX_E_INVALID_ARG, L"retention is not KX_CLIPBOARD_FLUSH or KX_CLIPBOARD_CLEAR");
    ForComponent(source, [&](auto& c) { c.setClipboardRetention(retention == KX_CLIPBOARD_FLUSH ? crFlush : crClear); });
    return KX_OK;
  });
}

kx_status KX_CALL kx_source_set_clipboard_flush_limit(kx_source* source, uint64_t max_size) {
  return OnSource(source, 0, [&]() -> kx_status {
    ForComponent(source, [&](auto& c) { c.setClipboardFlushLimit(max_size); });
    return KX_OK;
  });
}

kx_status KX_CALL kx_source_on_paste_succeeded(kx_source* source, kx_paste_succeeded_fn callback, void* context) {
  return OnSource(source, 0, [&]() -> kx_status {
    source->PasteSucceeded = {callback, context};
    TKXPasteSucceededType handler;
    if (callback) {
      handler = [source](TObject*, TDropEffect Effect) {
        const kx_effect effect = EffectOf(Effect);
        RaiseCallback(source->Busy, [&] {
          return source->PasteSucceeded.Function(source->PasteSucceeded.Context, source, effect);
        });
      };
    }
    ForComponent(source, [&](auto& c) { c.setOnPasteSucceeded(handler); });
    return KX_OK;
  });
}

// ---- text source ----

kx_status KX_CALL kx_text_source_set_text(kx_source* source, const wchar_t* text) {
  return OnSource(source, KX_SOURCE_TEXT, [&]() -> kx_status {
    ComponentOf<TKXTextSource>(source).setText(WideArg(text));
    return KX_OK;
  });
}

kx_status KX_CALL kx_text_source_set_html(kx_source* source, const wchar_t* html) {
  return OnSource(source, KX_SOURCE_TEXT, [&]() -> kx_status {
    ComponentOf<TKXTextSource>(source).setHTML(WideArg(html));
    return KX_OK;
  });
}

kx_status KX_CALL kx_text_source_add_custom_format(kx_source* source, const wchar_t* name, const void* data, size_t size) {
  return OnSource(source, KX_SOURCE_TEXT, [&]() -> kx_status {
    if (!name || !*name) return Fail(KX_E_INVALID_ARG, L"name is null or empty");
    if (size && !data) return Fail(KX_E_INVALID_ARG, L"data is null");
    const std::string bytes = size ? std::string(static_cast<const char*>(data), size) : std::string();
    ComponentOf<TKXTextSource>(source).getCustomFormatData()->AddFormat(std::wstring(name), bytes);
    return KX_OK;
  });
}

kx_status KX_CALL kx_text_source_clear_custom_formats(kx_source* source) {
  return OnSource(source, KX_SOURCE_TEXT, [&]() -> kx_status {
    ComponentOf<TKXTextSource>(source).getCustomFormatData()->Clear();
    return KX_OK;
  });
}

// ---- picture source ----

kx_status KX_CALL kx_picture_source_set_bitmap(kx_source* source, HBITMAP bitmap) {
  return OnSource(source, KX_SOURCE_PICTURE, [&]() -> kx_status {
    if (!bitmap || GetObjectType(bitmap) != OBJ_BITMAP) return Fail(KX_E_INVALID_ARG, L"bitmap is not a bitmap");
    ComponentOf<TKXGraphicSource>(source).LoadFromBitmapHandle(bitmap);  // copied pixel for pixel
    return KX_OK;
  });
}

kx_status KX_CALL kx_picture_source_set_metafile(kx_source* source, HENHMETAFILE metafile) {
  return OnSource(source, KX_SOURCE_PICTURE, [&]() -> kx_status {
    return SetPicture(source, [&](vcl::TPicture& picture) -> kx_status {
      // Owned until the picture takes it, so a throw on the way does not leak it.
      vcl::TUniqueEnhMetaFile copy(metafile ? CopyEnhMetaFileW(metafile, nullptr) : nullptr);
      if (!copy) return Fail(KX_E_INVALID_ARG, L"metafile is not an enhanced metafile that can be copied");
      picture.Metafile()->SetHandle(copy.Release());
      return KX_OK;
    });
  });
}

kx_status KX_CALL kx_picture_source_set_image_data(kx_source* source, const void* data, size_t size) {
  return OnSource(source, KX_SOURCE_PICTURE, [&]() -> kx_status {
    if (!data || !size) return Fail(KX_E_INVALID_ARG, L"No image data");
    // Decoded by content; bytes that are no picture raise EInvalidGraphic (KX_E_FORMAT).
    ComponentOf<TKXGraphicSource>(source).LoadFromImageBytes(std::string_view(static_cast<const char*>(data), size));
    return KX_OK;
  });
}

// ---- file source ----

kx_status KX_CALL kx_stream_write(kx_stream* stream, const void* data, size_t size) {
  return OnLibraryThread([&]() -> kx_status {
    if (!IsLiveHandle(stream, THandleType::Stream)) return Fail(KX_E_INVALID_HANDLE, L"Not the stream of a running contents callback");
    if (size && !data) return Fail(KX_E_INVALID_ARG, L"data is null");
    if (size) stream->Stream->WriteBuffer(data, static_cast<std::int64_t>(size));
    return KX_OK;
  });
}

kx_status KX_CALL kx_file_source_add_virtual_file(kx_source* source, const wchar_t* name, uint64_t size, size_t* index) {
  return OnSource(source, KX_SOURCE_FILE, [&]() -> kx_status {
    if (!name || !*name) return Fail(KX_E_INVALID_ARG, L"name is null or empty");
    std::optional<std::uint64_t> known;
    if (size != KX_SIZE_UNKNOWN) known = size;
    const int i = ComponentOf<TKXFileSource>(source).AddVirtualFile(name, known);
    if (index) *index = static_cast<size_t>(i);
    return KX_OK;
  });
}

kx_status KX_CALL kx_file_source_add_file(kx_source* source, const wchar_t* path) {
  return OnSource(source, KX_SOURCE_FILE, [&]() -> kx_status {
    if (!path || !*path) return Fail(KX_E_INVALID_ARG, L"path is null or empty");
    ComponentOf<TKXFileSource>(source).AddFile(path);
    return KX_OK;
  });
}

kx_status KX_CALL kx_file_source_clear(kx_source* source) {
  return OnSource(source, KX_SOURCE_FILE, [&]() -> kx_status {
    ComponentOf<TKXFileSource>(source).Clear();
    return KX_OK;
  });
}

kx_status KX_CALL kx_file_source_on_contents(kx_source* source, kx_file_contents_fn callback, void* context) {
  return SetSourceCallback(source, KX_SOURCE_FILE, &kx_source::Contents, callback, context);
}

kx_status KX_CALL kx_file_source_set_asynchronous(kx_source* source, int asynchronous) {
  return OnSource(source, KX_SOURCE_FILE, [&]() -> kx_status {
    ComponentOf<TKXFileSource>(source).setAsynchronous(asynchronous != 0);
    return KX_OK;
  });
}

}  // extern "C"
