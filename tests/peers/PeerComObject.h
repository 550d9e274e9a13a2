#pragma once
// The reference counting of the stand-in COM servers in tests/peers/, which use nothing but
// Windows (an in-process server may not load the library): an object starts with one reference
// for its creator (as TPeerClassFactory expects) and deletes itself when the count returns to
// zero. Each server answers QueryInterface itself.
#include <windows.h>
#include <ole2.h>

namespace kxtest {

template <class... Itfs>
class TPeerComObject : public Itfs... {
 public:
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&FRefs)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG n = InterlockedDecrement(&FRefs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

 protected:
  virtual ~TPeerComObject() = default;

 private:
  LONG volatile FRefs = 1;
};

}  // namespace kxtest
