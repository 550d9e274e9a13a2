#pragma once
// The framework types the GIF reader builds on. The framework's core (objects, lists, streams,
// exceptions) is portable; its pictures and GDI handle owners are Windows-only, so the native build
// of the loading path (Linux: sanitizers, fuzzing, benchmarks) takes stand-ins for those that
// render nothing.
#include "framework/Classes.h"
#include "framework/Streams.h"
#include "framework/SysUtils.h"
#if defined(_WIN32)
#include "framework/Graphics.h"
#include "framework/Handles.h"
#else
#include "gif/native/NativeGraphics.h"
#endif
