#pragma once
// COM helpers: a smart pointer for held references, the reference-counted base of the library's
// COM objects, and the one boundary that keeps C++ exceptions out of COM methods.
#include <windows.h>
#include <ole2.h>

#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

#include "framework/Classes.h"

namespace vcl {

// Holds one reference; releases it when reset, reassigned or destroyed.
template <class T>
class TComPtr {
 public:
  TComPtr() = default;
  TComPtr(std::nullptr_t) {}
  // Takes a new reference on p (AddRef).
  explicit TComPtr(T* p) : FPtr(p) { if (FPtr) FPtr->AddRef(); }
  TComPtr(const TComPtr& o) : TComPtr(o.FPtr) {}
  TComPtr(TComPtr&& o) noexcept : FPtr(std::exchange(o.FPtr, nullptr)) {}
  // Takes over the reference of a pointer to a derived class.
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  TComPtr(TComPtr<U>&& o) noexcept : FPtr(o.Detach()) {}
  ~TComPtr() { Reset(); }
  TComPtr& operator=(TComPtr o) noexcept { std::swap(FPtr, o.FPtr); return *this; }

  // Adopts a reference the caller already owns (no AddRef).
  static TComPtr Attach(T* p) { TComPtr r; r.FPtr = p; return r; }
  // Hands the reference over to the caller.
  T* Detach() { return std::exchange(FPtr, nullptr); }
  void Reset() { if (T* p = std::exchange(FPtr, nullptr)) p->Release(); }
  // Releases what is held and returns the slot for an out-parameter.
  T** Put() { Reset(); return &FPtr; }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  T* Get() const { return FPtr; }
  T* operator->() const { return FPtr; }
  T& operator*() const { return *FPtr; }
  explicit operator bool() const { return FPtr != nullptr; }

  // QueryInterface for another interface; empty when the object does not have it.
  template <class U>
  TComPtr<U> As() const {
    TComPtr<U> r;
    if (FPtr) FPtr->QueryInterface(__uuidof(U), r.PutVoid());
    return r;
  }

 private:
  T* FPtr = nullptr;
};

// The reference-counted base of the library's COM objects: interlocked counting; the object
// deletes itself when the count returns to zero. An object starts with no reference: its
// constructor takes none, and MakeComObject gives the first one to its creator.
class KX_API TInterfacedObject : public TObject {
 public:
  LONG RefCount() const { return FRefCount; }

 protected:
  ULONG DoAddRef() { return static_cast<ULONG>(InterlockedIncrement(&FRefCount)); }
  ULONG DoRelease() {
    LONG n = InterlockedDecrement(&FRefCount);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

 private:
  LONG volatile FRefCount = 0;
};

// Implements IUnknown for an object with the interfaces Itfs (the first one also answers
// IID_IUnknown).
template <class... Itfs>
class TInterfacedObjectImpl : public TInterfacedObject, public Itfs... {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown) *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
    else (void)((riid == __uuidof(Itfs) ? (*ppv = static_cast<Itfs*>(this), true) : false) || ...);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return DoAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return DoRelease(); }

 private:
  using First = std::tuple_element_t<0, std::tuple<Itfs...>>;
};

// The one way the library makes a COM object. A class whose constructors are private names this
// its friend.
struct TComObjectFactory {
  template <class T, class... Args>
  static T* New(Args&&... args) {
    return new T(std::forward<Args>(args)...);
  }
};

// Makes a T and hands its first reference to the caller's smart pointer. A constructor that
// throws leaves nothing behind.
template <class T, class... Args>
TComPtr<T> MakeComObject(Args&&... args) {
  return TComPtr<T>(TComObjectFactory::New<T>(std::forward<Args>(args)...));
}

// Runs body (which returns an HRESULT) and maps an escaping exception to an HRESULT: out of
// memory to E_OUTOFMEMORY, an OLE error to its code, anything else to E_UNEXPECTED.
template <class F>
HRESULT ComBoundary(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const EOutOfMemory&) {
    return E_OUTOFMEMORY;
  } catch (const EOleError& e) {
    return e.ErrorCode() ? static_cast<HRESULT>(e.ErrorCode()) : E_UNEXPECTED;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// The system's text for an HRESULT, without the trailing line break ("OLE error XXXXXXXX" when
// the system has none).
KX_API std::wstring OleErrorMessage(HRESULT hr);

// Raises EOleError for a failed HRESULT, with the system's text for it.
KX_API void OleCheck(HRESULT hr);

}  // namespace vcl
