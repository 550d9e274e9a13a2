#pragma once
// What the C interface's opaque handles are: a target or source component of one kind with the
// application's callbacks, and the checks every function makes on a handle it is given.
#include <memory>

#include "capi/KXCBoundary.h"
#include "framework/Controls.h"
#include "framework/Handles.h"
#include "framework/Streams.h"
#include "targets/KXGenericTarget.h"
#include "vocabulary/KXComps.h"

template <class Fn>
struct TKXCallback {
  Fn Function = nullptr;
  void* Context = nullptr;
  explicit operator bool() const { return Function != nullptr; }
};

struct kx_target {
  kx_target_kind Kind;
  // The application's window wrapped for the component; destroyed after the component unbinds.
  std::unique_ptr<vcl::TWinControl> Window;
  std::unique_ptr<kestrix::TKXGenericTarget> Component;
  int Busy = 0;
  TKXCallback<kx_text_drop_fn> TextDrop;
  TKXCallback<kx_picture_drop_fn> PictureDrop;
  TKXCallback<kx_file_drop_fn> FileDrop;
  TKXCallback<kx_file_progress_fn> Progress;
  // The last drop's point and effect, for the get_drop functions.
  bool Dropped = false;
  int X = 0, Y = 0;
  kx_effect Effect = KX_EFFECT_NONE;
  // A drop callback's failure during kx_target_paste, which ran it.
  kx_status DropFailure = KX_OK;
  // Set while a save runs: why a progress callback stopped it.
  bool ProgressCancelled = false;
  kx_status ProgressFailure = KX_OK;
};

struct kx_source {
  kx_source_kind Kind;
  std::unique_ptr<kestrix::TKXBaseComponent> Component;
  int Busy = 0;
  TKXCallback<kx_after_drop_fn> AfterDrop;
  TKXCallback<kx_file_contents_fn> Contents;
  TKXCallback<kx_paste_succeeded_fn> PasteSucceeded;
  vcl::TUniqueBitmap DragImage;  // the application's drag image, copied
};

struct kx_stream {
  vcl::TStream* Stream;
};

namespace kestrix::capi {

// KX_OK when Target is a live target of Kind (0: any kind).
kx_status CheckTarget(const kx_target* Target, int Kind = 0);
kx_status CheckSource(const kx_source* Source, int Kind = 0);

// Runs Body on the library's thread for a live target (source) of Kind (0: any kind).
template <class F>
kx_status OnTarget(const kx_target* Target, int Kind, F&& Body) noexcept {
  return OnLibraryThread([&]() -> kx_status {
    const kx_status s = CheckTarget(Target, Kind);
    return s != KX_OK ? s : Body();
  });
}
template <class F>
kx_status OnSource(const kx_source* Source, int Kind, F&& Body) noexcept {
  return OnLibraryThread([&]() -> kx_status {
    const kx_status s = CheckSource(Source, Kind);
    return s != KX_OK ? s : Body();
  });
}

// Keeps (or with a null Function, drops) one of the application's callbacks on a live target
// (source) of Kind.
template <class Fn>
kx_status SetTargetCallback(kx_target* Target, int Kind, TKXCallback<Fn> kx_target::*Slot, Fn Function,
                            void* Context) noexcept {
  return OnTarget(Target, Kind, [&]() -> kx_status {
    Target->*Slot = {Function, Context};
    return KX_OK;
  });
}
template <class Fn>
kx_status SetSourceCallback(kx_source* Source, int Kind, TKXCallback<Fn> kx_source::*Slot, Fn Function,
                            void* Context) noexcept {
  return OnSource(Source, Kind, [&]() -> kx_status {
    Source->*Slot = {Function, Context};
    return KX_OK;
  });
}

// Keeps a drop's point and effect for the get_drop functions.
inline void RecordDrop(kx_target* Target, int X, int Y) {
  Target->Dropped = true;
  Target->X = X;
  Target->Y = Y;
  Target->Effect = EffectOf(Target->Component->getDropEffect());
}

// Raises a target's drop callback; a failure is also kept for kx_target_paste, since the component
// takes a failing handler as a drop that took nothing.
template <class F>
void RaiseDropCallback(kx_target* Target, F&& Call) {
  RaiseCallback(Target->Busy, [&] {
    const kx_status s = Call();
    if (s != KX_OK) Target->DropFailure = s;
    return s;
  });
}

// The component of a checked handle as its concrete class.
template <class T>
T& ComponentOf(kx_target* Target) {
  return static_cast<T&>(*Target->Component);
}
template <class T>
T& ComponentOf(kx_source* Source) {
  return static_cast<T&>(*Source->Component);
}

}  // namespace kestrix::capi
