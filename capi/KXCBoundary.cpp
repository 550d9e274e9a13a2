#include "capi/KXCBoundary.h"

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <mutex>
#include <new>
#include <unordered_map>

#include "gif/KXGIFBase.h"
#include "package/KestrixVcl.h"

namespace kestrix::capi {
namespace {

struct TLastError {
  kx_status Code = KX_OK;
  std::wstring Message;
};
thread_local TLastError tLastError;

// The thread that called kx_startup, and how often it did (only that thread changes the count).
std::atomic<DWORD> gLibraryThread{0};
std::atomic<int> gStartCount{0};

std::mutex& HandleLock() {
  static std::mutex lock;
  return lock;
}
std::unordered_map<const void*, THandleType>& Handles() {
  static std::unordered_map<const void*, THandleType> handles;
  return handles;
}

bool AnyLiveComponent() {
  const std::lock_guard<std::mutex> lock(HandleLock());
  for (const auto& [handle, type] : Handles())
    if (type == THandleType::Target || type == THandleType::Source) return true;
  return false;
}

std::wstring Widen(const char* Text) {
  std::wstring result;
  for (const char* p = Text; p && *p; ++p) result += static_cast<wchar_t>(static_cast<unsigned char>(*p));
  return result;
}

}  // namespace

ECallbackFailed::ECallbackFailed(kx_status Status)
    : vcl::EAbort(L"A callback returned failure " + std::to_wstring(Status)) {}

kx_status Fail(kx_status Code, std::wstring Message) {
  tLastError.Code = Code;
  tLastError.Message = std::move(Message);
  return Code;
}

kx_status LastErrorCode() { return tLastError.Code; }
const std::wstring& LastErrorMessage() { return tLastError.Message; }

kx_status StatusFromCurrentException() noexcept {
  try {
    try {
      throw;
    } catch (const ECallbackFailed& e) {
      return Fail(KX_E_CALLBACK, e.Message());
    } catch (const std::bad_alloc&) {
      return Fail(KX_E_OUT_OF_MEMORY, L"Out of memory");
    } catch (const vcl::EOutOfMemory& e) {
      return Fail(KX_E_OUT_OF_MEMORY, e.Message());
    } catch (const vcl::EListError& e) {
      return Fail(KX_E_INDEX, e.Message());
    } catch (const GIFException& e) {
      return Fail(KX_E_FORMAT, e.Message());
    } catch (const vcl::EInvalidGraphic& e) {
      return Fail(KX_E_FORMAT, e.Message());
    } catch (const vcl::EAbort& e) {
      return Fail(KX_E_CALLBACK, e.Message());
    } catch (const vcl::Exception& e) {
      return Fail(KX_E_FAILED, e.Message());
    } catch (const std::exception& e) {
      return Fail(KX_E_INTERNAL, Widen(e.what()));
    } catch (...) {
      return Fail(KX_E_INTERNAL, L"Unknown failure inside the library");
    }
  } catch (...) {
    // Recording the message itself failed (no memory for it): the code still gets out.
    tLastError.Code = KX_E_OUT_OF_MEMORY;
    return KX_E_OUT_OF_MEMORY;
  }
}

kx_status CheckStarted() {
  if (gStartCount.load() <= 0) return Fail(KX_E_NOT_STARTED, L"kx_startup has not been called");
  return KX_OK;
}

kx_status CheckLibraryThread() {
  if (const kx_status s = CheckStarted(); s != KX_OK) return s;
  if (gLibraryThread.load() != GetCurrentThreadId())
    return Fail(KX_E_WRONG_THREAD, L"Called off the thread that called kx_startup");
  return KX_OK;
}

kx_status EnterStartup() {
  const DWORD self = GetCurrentThreadId();
  if (gStartCount.load() > 0 && gLibraryThread.load() != self)
    return Fail(KX_E_WRONG_THREAD, L"The library is started on another thread");
  KestrixStartup();
  gLibraryThread.store(self);
  ++gStartCount;
  return KX_OK;
}

kx_status LeaveStartup() {
  const kx_status s = CheckLibraryThread();
  if (s != KX_OK) return s;
  // OLE must outlive every component: the last shut-down waits for their handles.
  if (gStartCount.load() == 1 && AnyLiveComponent())
    return Fail(KX_E_BUSY, L"Targets or sources are still alive: destroy them before the last kx_shutdown");
  KestrixShutdown();
  if (--gStartCount == 0) gLibraryThread.store(0);
  return KX_OK;
}

void RegisterHandle(const void* Handle, THandleType Type) {
  const std::lock_guard<std::mutex> lock(HandleLock());
  Handles()[Handle] = Type;
}

void UnregisterHandle(const void* Handle) {
  const std::lock_guard<std::mutex> lock(HandleLock());
  Handles().erase(Handle);
}

bool IsLiveHandle(const void* Handle, THandleType Type) {
  if (!Handle) return false;
  const std::lock_guard<std::mutex> lock(HandleLock());
  const auto found = Handles().find(Handle);
  return found != Handles().end() && found->second == Type;
}

kx_status PutString(const std::wstring& Value, wchar_t* Buffer, size_t Capacity, size_t* Length) {
  if (!Length) return Fail(KX_E_INVALID_ARG, L"length is null");
  if (!Buffer && Capacity != 0) return Fail(KX_E_INVALID_ARG, L"buffer is null but capacity is not 0");
  *Length = Value.size();
  if (!Buffer) return KX_OK;
  if (Capacity < Value.size() + 1) {
    if (Capacity > 0) Buffer[0] = L'\0';
    return Fail(KX_E_BUFFER_TOO_SMALL, L"The buffer holds " + std::to_wstring(Capacity) + L" characters; " +
                                           std::to_wstring(Value.size() + 1) + L" are needed");
  }
  std::memcpy(Buffer, Value.data(), Value.size() * sizeof(wchar_t));
  Buffer[Value.size()] = L'\0';
  return KX_OK;
}

kx_status PutBytes(const std::string& Value, void* Buffer, size_t Capacity, size_t* Size) {
  if (!Size) return Fail(KX_E_INVALID_ARG, L"size is null");
  if (!Buffer && Capacity != 0) return Fail(KX_E_INVALID_ARG, L"buffer is null but capacity is not 0");
  *Size = Value.size();
  if (!Buffer) return KX_OK;
  if (Capacity < Value.size())
    return Fail(KX_E_BUFFER_TOO_SMALL, L"The buffer holds " + std::to_wstring(Capacity) + L" bytes; " +
                                           std::to_wstring(Value.size()) + L" are needed");
  if (!Value.empty()) std::memcpy(Buffer, Value.data(), Value.size());
  return KX_OK;
}

kx_status PutAllocatedString(const std::wstring& Value, wchar_t** Out) {
  if (!Out) return Fail(KX_E_INVALID_ARG, L"The output pointer is null");
  *Out = nullptr;
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((Value.size() + 1) * sizeof(wchar_t)));
  if (!copy) return Fail(KX_E_OUT_OF_MEMORY, L"Out of memory");
  std::memcpy(copy, Value.c_str(), (Value.size() + 1) * sizeof(wchar_t));
  *Out = copy;
  return KX_OK;
}

}  // namespace kestrix::capi
