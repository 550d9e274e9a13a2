#pragma once
// The framework types the GIF reader builds on. The Windows build takes the framework itself; the
// native build of the loading path (Linux: sanitizers, fuzzing, benchmarks) takes a small portable
// stand-in with the same names, which renders nothing.
#if defined(_WIN32)
#include "framework/Classes.h"
#include "framework/Graphics.h"
#include "framework/Handles.h"
#include "framework/Streams.h"
#include "framework/SysUtils.h"
#else
#include "gif/native/NativeFramework.h"
#endif
