#pragma once
// The IDataObject calls that the tests' foreign data objects refuse alike, as most applications'
// objects do: no rendering into the caller's medium, no SetData, no advise sinks. Base is
// IDataObject itself (a raw object) or a class that implements it.
#include <windows.h>
#include <ole2.h>

namespace kxtest {

template <class Base>
class DataObjectStubs : public Base {
 public:
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }
};

}  // namespace kxtest
