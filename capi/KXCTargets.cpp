// kx_target_* and the text and picture targets' kx_ functions.
#include <windows.h>

#include "capi/KXCObjects.h"
#include "framework/Graphics.h"
#include "framework/GraphicsMetafile.h"
#include "framework/Picture.h"
#include "formats/KXUtilDataObj.h"
#include "targets/KXFileTarget.h"
#include "targets/KXGraphicTarget.h"
#include "targets/KXTextTarget.h"

using namespace kestrix;
using namespace kestrix::capi;

namespace {

// One KX_EFFECT_* value (not a mask) as the components' effect.
bool SingleEffect(kx_effect Effect, TDropEffect& Out) {
  switch (Effect) {
    case KX_EFFECT_NONE: Out = deNone; return true;
    case KX_EFFECT_COPY: Out = deCopy; return true;
    case KX_EFFECT_MOVE: Out = deMove; return true;
    case KX_EFFECT_LINK: Out = deLink; return true;
    default: return false;
  }
}

// The last drop without its strings (the callback's copy adds them; get_drop's leaves them null).
kx_text_drop TextDropOf(kx_target* Target) {
  const auto& c = ComponentOf<TKXTextTarget>(Target);
  kx_text_drop drop = KX_TEXT_DROP_INIT;
  drop.kind = 1u << c.getDroppedTextFormat();
  drop.text_length = c.getText().size();
  drop.custom_index = c.getDroppedTextFormat() == dtfCustom ? c.getCustomFormatIndex() : -1;
  drop.effect = Target->Effect;
  drop.x = Target->X;
  drop.y = Target->Y;
  return drop;
}

void WireText(kx_target* Target) {
  auto& c = ComponentOf<TKXTextTarget>(Target);
  c.setOnDrop([Target, &c](TObject*, vcl::TWinControl*, const std::wstring&, int X, int Y) {
    RecordDrop(Target, X, Y);
    if (!Target->TextDrop) return;
    kx_text_drop drop = TextDropOf(Target);
    drop.text = c.getText().c_str();
    drop.url_title = c.getURLTitleW().c_str();
    drop.html_fragment = c.getHTMLFragment().c_str();
    drop.html_source_url = c.getHTMLSourceURL().c_str();
    RaiseDropCallback(Target, [&] { return Target->TextDrop.Function(Target->TextDrop.Context, Target, &drop); });
  });
}

kx_picture_drop PictureDropOf(kx_target* Target) {
  auto& c = ComponentOf<TKXGraphicTarget>(Target);
  kx_picture_drop drop = KX_PICTURE_DROP_INIT;
  drop.kind = c.getDroppedGraphicFormat() == dgfMetafile ? KX_PICTURE_METAFILE : KX_PICTURE_BITMAP;
  if (vcl::TPicture* picture = c.getPicture()) {
    drop.width = picture->Width();
    drop.height = picture->Height();
  }
  drop.x = Target->X;
  drop.y = Target->Y;
  return drop;
}

void WirePicture(kx_target* Target) {
  ComponentOf<TKXGraphicTarget>(Target).setOnDrop([Target](TObject*, vcl::TWinControl*, vcl::TPicture*, int X, int Y) {
    RecordDrop(Target, X, Y);
    if (!Target->PictureDrop) return;
    const kx_picture_drop drop = PictureDropOf(Target);
    RaiseDropCallback(Target, [&] { return Target->PictureDrop.Function(Target->PictureDrop.Context, Target, &drop); });
  });
}

// The picture of the last drop, or the failure.
kx_status DroppedGraphic(kx_target* Target, vcl::TGraphic*& Graphic) {
  vcl::TPicture* picture = ComponentOf<TKXGraphicTarget>(Target).getPicture();
  Graphic = picture ? picture->Graphic() : nullptr;
  if (!Graphic || Graphic->Empty()) return Fail(KX_E_STATE, L"No picture has been dropped");
  return KX_OK;
}

// A metafile drawn at its pixel size into a screen-compatible bitmap the caller owns.
HBITMAP BitmapFromMetafile(vcl::TMetafile& Metafile) {
  const int w = Metafile.Width(), h = Metafile.Height();
  if (w <= 0 || h <= 0) return nullptr;
  const vcl::TWindowDC screen(nullptr);
  vcl::TMemoryDC dc(CreateCompatibleDC(screen.Get()));
  vcl::TUniqueBitmap bitmap(CreateCompatibleBitmap(screen.Get(), w, h));
  if (!dc || !bitmap) return nullptr;
  {
    const vcl::TSelectObject select(dc.Get(), bitmap.Get());
    const RECT all{0, 0, w, h};
    FillRect(dc.Get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (!PlayEnhMetaFile(dc.Get(), Metafile.Handle(), &all)) return nullptr;
  }
  return bitmap.Release();
}

}  // namespace

void WireFileTarget(kx_target* Target);  // KXCFileTarget.cpp

extern "C" {

// ---- any target ----

kx_status KX_CALL kx_target_create(kx_target_kind kind, kx_target** target) {
  return OnLibraryThread([&]() -> kx_status {
    if (!target) return Fail(KX_E_INVALID_ARG, L"target is null");
    *target = nullptr;
    auto t = std::make_unique<kx_target>();
    t->Kind = kind;
    switch (kind) {
      case KX_TARGET_TEXT: t->Component = std::make_unique<TKXTextTarget>(nullptr); WireText(t.get()); break;
      case KX_TARGET_PICTURE: t->Component = std::make_unique<TKXGraphicTarget>(nullptr); WirePicture(t.get()); break;
      case KX_TARGET_FILE: t->Component = std::make_unique<TKXFileTarget>(nullptr); WireFileTarget(t.get()); break;
      default: return Fail(KX_E_INVALID_ARG, L"Unknown target kind");
    }
    RegisterHandle(t.get(), THandleType::Target);
    *target = t.release();
    return KX_OK;
  });
}

kx_status KX_CALL kx_target_destroy(kx_target* target) {
  if (!target) return KX_OK;
  return OnTarget(target, 0, [&]() -> kx_status {
    if (target->Busy) return Fail(KX_E_BUSY, L"The target is inside one of its callbacks");
    UnregisterHandle(target);
    const std::unique_ptr<kx_target> owned(target);
    // A drop the application never ended is ended as failed: a source told "moved" may delete.
    if (target->Kind == KX_TARGET_FILE) {
      auto& files = ComponentOf<TKXFileTarget>(target);
      if (files.getDropOpen()) files.EndDrop(false);
    }
    target->Component.reset();
    target->Window.reset();
    return KX_OK;
  });
}

kx_status KX_CALL kx_target_bind(kx_target* target, HWND window) {
  return OnTarget(target, 0, [&]() -> kx_status {
    if (window && !IsWindow(window)) return Fail(KX_E_INVALID_ARG, L"Not a window");
    if (window && target->Window && target->Component->AcceptorHandle() == window) return KX_OK;
    target->Component->setAcceptor(nullptr);
    target->Window.reset();
    if (!window) return KX_OK;
    auto wrapped = std::make_unique<vcl::TWinControl>(nullptr, window);
    target->Component->setAcceptor(wrapped.get());
    target->Window = std::move(wrapped);
    if (!target->Component->getRegistered()) {
      target->Component->setAcceptor(nullptr);
      target->Window.reset();
      return Fail(KX_E_FAILED, L"The window could not be registered for drops");
    }
    return KX_OK;
  });
}

kx_status KX_CALL kx_target_set_effect_override(kx_target* target, kx_effect effect, kx_effect replacement) {
  return OnTarget(target, 0, [&]() -> kx_status {
    TDropEffect from, to;
    if (!SingleEffect(effect, from) || !SingleEffect(replacement, to))
      return Fail(KX_E_INVALID_ARG, L"An effect is not one of KX_EFFECT_NONE, _COPY, _MOVE, _LINK");
    target->Component->SetOverrideDropEffect(from, to);
    return KX_OK;
  });
}

kx_status KX_CALL kx_target_get_data_object(kx_target* target, IDataObject** data_object) {
  return OnTarget(target, 0, [&]() -> kx_status {
    if (!data_object) return Fail(KX_E_INVALID_ARG, L"data_object is null");
    *data_object = target->Component->getDataObject().Detach();
    return KX_OK;
  });
}

kx_status KX_CALL kx_target_can_paste(kx_target* target, int* can) {
  return OnTarget(target, 0, [&]() -> kx_status {
    if (!can) return Fail(KX_E_INVALID_ARG, L"can is null");
    *can = target->Component->getCanPaste() ? 1 : 0;
    return KX_OK;
  });
}

kx_status KX_CALL kx_target_paste(kx_target* target) {
  return OnTarget(target, 0, [&]() -> kx_status {
    if (target->Busy) return Fail(KX_E_BUSY, L"The target is inside one of its callbacks");
    target->DropFailure = KX_OK;
    const bool pasted = target->Component->PasteFromClipboard();
    if (target->DropFailure != KX_OK)
      return Fail(KX_E_CALLBACK, L"The drop callback returned failure " + std::to_wstring(target->DropFailure));
    if (!pasted) return Fail(KX_E_STATE, L"The clipboard holds nothing the target takes");
    return KX_OK;
  });
}

// ---- text target ----

kx_status KX_CALL kx_text_target_set_accepted(kx_target* target, unsigned int kinds) {
  return OnTarget(target, KX_TARGET_TEXT, [&]() -> kx_status {
    if (kinds & ~0x3Fu) return Fail(KX_E_INVALID_ARG, L"Unknown KX_TEXT_* bits");
    ComponentOf<TKXTextTarget>(target).setAcceptTextFormats(TDropTextFormats::FromByte(static_cast<std::uint8_t>(kinds)));
    return KX_OK;
  });
}

kx_status KX_CALL kx_text_target_set_custom_formats(kx_target* target, const wchar_t* const* names, size_t count) {
  return OnTarget(target, KX_TARGET_TEXT, [&]() -> kx_status {
    if (count && !names) return Fail(KX_E_INVALID_ARG, L"names is null");
    auto list = std::make_unique<vcl::TStringList>();
    for (size_t i = 0; i < count; ++i) {
      if (!names[i] || !*names[i]) return Fail(KX_E_INVALID_ARG, L"A format name is null or empty");
      list->Add(names[i]);
    }
    ComponentOf<TKXTextTarget>(target).setCustomFormats(list.release());
    return KX_OK;
  });
}

kx_status KX_CALL kx_text_target_on_drop(kx_target* target, kx_text_drop_fn callback, void* context) {
  return SetTargetCallback(target, KX_TARGET_TEXT, &kx_target::TextDrop, callback, context);
}

kx_status KX_CALL kx_text_target_get_drop(kx_target* target, kx_text_drop* drop) {
  return OnTarget(target, KX_TARGET_TEXT, [&]() -> kx_status {
    if (!target->Dropped) return Fail(KX_E_STATE, L"Nothing has been dropped");
    return PutStruct(drop, TextDropOf(target));
  });
}

kx_status KX_CALL kx_text_target_get_string(kx_target* target, kx_text_field field, wchar_t* buffer, size_t capacity,
                                            size_t* length) {
  return OnTarget(target, KX_TARGET_TEXT, [&]() -> kx_status {
    const auto& c = ComponentOf<TKXTextTarget>(target);
    switch (field) {
      case KX_TEXT_FIELD_TEXT: return PutString(c.getText(), buffer, capacity, length);
      case KX_TEXT_FIELD_URL_TITLE: return PutString(c.getURLTitleW(), buffer, capacity, length);
      case KX_TEXT_FIELD_HTML_FRAGMENT: return PutString(c.getHTMLFragment(), buffer, capacity, length);
      case KX_TEXT_FIELD_HTML_SOURCE_URL: return PutString(c.getHTMLSourceURL(), buffer, capacity, length);
    }
    return Fail(KX_E_INVALID_ARG, L"Unknown text field");
  });
}

// ---- picture target ----

kx_status KX_CALL kx_picture_target_set_accepted(kx_target* target, unsigned int kinds) {
  return OnTarget(target, KX_TARGET_PICTURE, [&]() -> kx_status {
    if (kinds & ~3u) return Fail(KX_E_INVALID_ARG, L"Unknown KX_PICTURE_* bits");
    auto& c = ComponentOf<TKXGraphicTarget>(target);
    c.setAcceptMetafile((kinds & KX_PICTURE_METAFILE) != 0);
    c.setAcceptBitmap((kinds & KX_PICTURE_BITMAP) != 0);
    return KX_OK;
  });
}

kx_status KX_CALL kx_picture_target_set_preferred(kx_target* target, unsigned int kind) {
  return OnTarget(target, KX_TARGET_PICTURE, [&]() -> kx_status {
    if (kind != KX_PICTURE_METAFILE && kind != KX_PICTURE_BITMAP)
      return Fail(KX_E_INVALID_ARG, L"kind is not KX_PICTURE_METAFILE or KX_PICTURE_BITMAP");
    ComponentOf<TKXGraphicTarget>(target).setPreferredFormat(kind == KX_PICTURE_METAFILE ? dgfMetafile : dgfBitmap);
    return KX_OK;
  });
}

kx_status KX_CALL kx_picture_target_on_drop(kx_target* target, kx_picture_drop_fn callback, void* context) {
  return SetTargetCallback(target, KX_TARGET_PICTURE, &kx_target::PictureDrop, callback, context);
}

kx_status KX_CALL kx_picture_target_get_drop(kx_target* target, kx_picture_drop* drop) {
  return OnTarget(target, KX_TARGET_PICTURE, [&]() -> kx_status {
    vcl::TGraphic* graphic;
    if (const kx_status s = DroppedGraphic(target, graphic); s != KX_OK) return s;
    return PutStruct(drop, PictureDropOf(target));
  });
}

kx_status KX_CALL kx_picture_target_copy_bitmap(kx_target* target, HBITMAP* bitmap) {
  return OnTarget(target, KX_TARGET_PICTURE, [&]() -> kx_status {
    if (!bitmap) return Fail(KX_E_INVALID_ARG, L"bitmap is null");
    *bitmap = nullptr;
    vcl::TGraphic* graphic;
    if (const kx_status s = DroppedGraphic(target, graphic); s != KX_OK) return s;
    if (auto* b = dynamic_cast<vcl::TBitmap*>(graphic)) *bitmap = CopyBitmapHandle(b->Handle());
    else if (auto* m = dynamic_cast<vcl::TMetafile*>(graphic)) *bitmap = BitmapFromMetafile(*m);
    if (!*bitmap) return Fail(KX_E_FAILED, L"The picture could not be copied");
    return KX_OK;
  });
}

kx_status KX_CALL kx_picture_target_copy_metafile(kx_target* target, HENHMETAFILE* metafile) {
  return OnTarget(target, KX_TARGET_PICTURE, [&]() -> kx_status {
    if (!metafile) return Fail(KX_E_INVALID_ARG, L"metafile is null");
    *metafile = nullptr;
    vcl::TGraphic* graphic;
    if (const kx_status s = DroppedGraphic(target, graphic); s != KX_OK) return s;
    auto* m = dynamic_cast<vcl::TMetafile*>(graphic);
    if (!m) return Fail(KX_E_STATE, L"The dropped picture is a bitmap, not a metafile");
    *metafile = CopyEnhMetaFileW(m->Handle(), nullptr);
    if (!*metafile) return Fail(KX_E_FAILED, L"The metafile could not be copied");
    return KX_OK;
  });
}

}  // extern "C"
