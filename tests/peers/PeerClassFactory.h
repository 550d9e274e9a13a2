#pragma once
// The class factory of the stand-in COM servers in tests/peers/: it makes objects of class T
// (whose constructor takes one reference for its creator) and lives as long as its server.
#include <windows.h>
#include <ole2.h>

#include <new>

namespace kxtest {

template <class T>
class TPeerClassFactory final : public IClassFactory {
 public:
  // Locks: counted by LockServer when given (an in-process server that answers DllCanUnloadNow).
  explicit TPeerClassFactory(LONG volatile* Locks = nullptr) : FLocks(Locks) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) T;
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (FLocks) lock ? InterlockedIncrement(FLocks) : InterlockedDecrement(FLocks);
    return S_OK;
  }

 private:
  LONG volatile* FLocks;
};

}  // namespace kxtest
