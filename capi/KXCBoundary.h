#pragma once
// The C interface's edge: the thread's last-error slot, the library thread's check, the registry of
// live handles, and the conversions every kx_ function makes (exceptions to statuses, strings and
// bytes into the caller's buffers, structs that carry their size).
#include <cstring>
#include <string>
#include <utility>

#include "framework/SysUtils.h"
#include "kestrix/kestrix.h"
#include "vocabulary/KXComps.h"

namespace kestrix::capi {

// Thrown by the layer's own adapters when an application's callback returns a failure. An EAbort,
// so that where the components hand a handler's exception to the application object it passes
// silently; kx_ functions turn it into KX_E_CALLBACK.
class ECallbackFailed : public vcl::EAbort {
 public:
  explicit ECallbackFailed(kx_status Status);
};

// Records a failure in the calling thread's slot and returns its code.
kx_status Fail(kx_status Code, std::wstring Message);
// The calling thread's slot, read without changing it.
kx_status LastErrorCode();
const std::wstring& LastErrorMessage();
// Inside a catch block: the exception being handled as a status (recorded).
kx_status StatusFromCurrentException() noexcept;

// KX_OK when the library is started (and, for the second, this is its thread); otherwise the
// failure (recorded).
kx_status CheckStarted();
kx_status CheckLibraryThread();
// Called by kx_startup / kx_shutdown.
kx_status EnterStartup();
kx_status LeaveStartup();

// Runs Body, which returns a status; nothing it throws gets out.
template <class F>
kx_status Guard(F&& Body) noexcept {
  try {
    return Body();
  } catch (...) {
    return StatusFromCurrentException();
  }
}
// The same on the library's thread only.
template <class F>
kx_status OnLibraryThread(F&& Body) noexcept {
  return Guard([&]() -> kx_status {
    const kx_status s = CheckLibraryThread();
    return s != KX_OK ? s : Body();
  });
}

// ---- live handles (any thread) ----
// Each handle is registered with its type, so that one type's handle passed as another's is refused
// before anything reads it.
enum class THandleType { Target, Source, Gif, Stream };
void RegisterHandle(const void* Handle, THandleType Type);
void UnregisterHandle(const void* Handle);
bool IsLiveHandle(const void* Handle, THandleType Type);

// ---- outputs ----
kx_status PutString(const std::wstring& Value, wchar_t* Buffer, size_t Capacity, size_t* Length);
kx_status PutBytes(const std::string& Value, void* Buffer, size_t Capacity, size_t* Size);
// A string in task memory for kx_free.
kx_status PutAllocatedString(const std::wstring& Value, wchar_t** Out);
// Null is "".
inline std::wstring WideArg(const wchar_t* Value) { return Value ? std::wstring(Value) : std::wstring(); }
// A component's effect as one KX_EFFECT_* value (deScroll's bit is not one of them).
inline kx_effect EffectOf(kestrix::TDropEffect Effect) {
  return static_cast<kx_effect>(kestrix::dropEffectFromEnum(Effect)) & 7u;
}

// Copies Value into the caller's struct, as far as both sizes reach, keeping the caller's size.
// KX_E_INVALID_ARG for a null struct or one smaller than the first version of its type.
template <class T>
kx_status PutStruct(T* Out, const T& Value) {
  if (!Out) return Fail(KX_E_INVALID_ARG, L"The struct pointer is null");
  const uint32_t callerSize = Out->struct_size;
  if (callerSize < sizeof(T)) return Fail(KX_E_INVALID_ARG, L"struct_size is smaller than the struct (use its _INIT macro)");
  std::memcpy(Out, &Value, sizeof(T));
  Out->struct_size = callerSize;
  return KX_OK;
}

// Counts a running callback of one object for as long as it lives (KX_E_BUSY for destroy).
class TCallbackScope {
 public:
  explicit TCallbackScope(int& Busy) : FBusy(Busy) { ++FBusy; }
  ~TCallbackScope() { --FBusy; }
  TCallbackScope(const TCallbackScope&) = delete;
  TCallbackScope& operator=(const TCallbackScope&) = delete;

 private:
  int& FBusy;
};

// Calls an application's callback (a C function: it cannot throw) and raises ECallbackFailed for a
// failure, so that the component handles it as it handles a failing event handler.
template <class F>
void RaiseCallback(int& Busy, F&& Call) {
  kx_status s;
  {
    const TCallbackScope scope(Busy);
    s = Call();
  }
  if (s != KX_OK) throw ECallbackFailed(s);
}

}  // namespace kestrix::capi
