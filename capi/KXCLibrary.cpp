// kx_ functions of the library as a whole: errors, memory, version, start-up.
#include <windows.h>
#include <objbase.h>

#include <algorithm>

#include "capi/KXCBoundary.h"

using namespace kestrix::capi;

static_assert(KX_VERSION_MAJOR == KX_PROJECT_VERSION_MAJOR && KX_VERSION_MINOR == KX_PROJECT_VERSION_MINOR &&
                  KX_VERSION_PATCH == KX_PROJECT_VERSION_PATCH,
              "kestrix.h's version differs from the project's");

extern "C" {

kx_status KX_CALL kx_last_error(kx_status* code, wchar_t* message, size_t capacity, size_t* length) {
  // Written by hand: reporting a small buffer here must not replace the error being read.
  if (code) *code = LastErrorCode();
  const std::wstring& text = LastErrorMessage();
  if (length) *length = text.size();
  if (!message) return capacity == 0 ? KX_OK : KX_E_INVALID_ARG;
  if (!length) return KX_E_INVALID_ARG;
  if (capacity < text.size() + 1) {
    if (capacity > 0) message[0] = L'\0';
    return KX_E_BUFFER_TOO_SMALL;
  }
  std::copy(text.begin(), text.end(), message);
  message[text.size()] = L'\0';
  return KX_OK;
}

kx_status KX_CALL kx_free(void* memory) {
  CoTaskMemFree(memory);
  return KX_OK;
}

kx_status KX_CALL kx_get_version(int* major, int* minor, int* patch) {
  // Guarded: the failure's message is allocated.
  return Guard([&]() -> kx_status {
    if (!major || !minor || !patch) return Fail(KX_E_INVALID_ARG, L"A version pointer is null");
    *major = KX_PROJECT_VERSION_MAJOR;
    *minor = KX_PROJECT_VERSION_MINOR;
    *patch = KX_PROJECT_VERSION_PATCH;
    return KX_OK;
  });
}

kx_status KX_CALL kx_startup(void) {
  return Guard([]() -> kx_status { return EnterStartup(); });
}

kx_status KX_CALL kx_shutdown(void) {
  return Guard([]() -> kx_status { return LeaveStartup(); });
}

}  // extern "C"
