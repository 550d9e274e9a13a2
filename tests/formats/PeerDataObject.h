#pragma once
// Test doubles that play a foreign application's data object: each test scripts its answers, and
// may make them lie (null handles, media nobody asked for, enumerators that never end).
#include <windows.h>
#include <ole2.h>

#include <cstring>
#include <functional>

#include "framework/ComObj.h"
#include "support/DataObjectStubs.h"

namespace kxtest {

class TScriptedDataObject : public DataObjectStubs<vcl::TInterfacedObjectImpl<IDataObject>> {
 public:
  TScriptedDataObject() { AddRef(); }  // the creator's reference, held by a TComPtr::Attach

  std::function<HRESULT(const FORMATETC&, STGMEDIUM&)> OnGetData;
  std::function<HRESULT(const FORMATETC&)> OnQueryGetData;
  std::function<HRESULT(IEnumFORMATETC**)> OnEnumFormatEtc;
  FORMATETC LastRequest{};
  int Requests = 0;

  STDMETHODIMP GetData(FORMATETC* fe, STGMEDIUM* medium) override {
    Record(*fe);
    std::memset(medium, 0, sizeof *medium);
    return OnGetData ? OnGetData(*fe, *medium) : DV_E_FORMATETC;
  }
  STDMETHODIMP QueryGetData(FORMATETC* fe) override {
    Record(*fe);
    return OnQueryGetData ? OnQueryGetData(*fe) : DV_E_FORMATETC;
  }
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** result) override {
    *result = nullptr;
    if (direction != DATADIR_GET) return E_NOTIMPL;
    return OnEnumFormatEtc ? OnEnumFormatEtc(result) : E_NOTIMPL;
  }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return E_NOTIMPL;
  }

 private:
  void Record(const FORMATETC& fe) {
    LastRequest = fe;
    ++Requests;
  }
};

// Stands in a medium's pUnkForRelease: ReleaseStgMedium then releases it instead of the handle,
// so a test sees whether (and how often) the medium was released and keeps its handle.
class TReleaseCounter : public IUnknown {
 public:
  int Releases = 0;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = riid == IID_IUnknown ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override {
    ++Releases;
    return 1;
  }
};

// An enumerator whose Next always answers S_OK with the same entry.
class TEndlessEnum : public vcl::TInterfacedObjectImpl<IEnumFORMATETC> {
 public:
  explicit TEndlessEnum(FORMATETC entry, ULONG reportedCount = 1) : FEntry(entry), FReported(reportedCount) {}
  int Calls = 0;
  STDMETHODIMP Next(ULONG, FORMATETC* elt, ULONG* fetched) override {
    ++Calls;
    *elt = FEntry;
    if (fetched) *fetched = FReported;
    return S_OK;
  }
  STDMETHODIMP Skip(ULONG) override { return S_OK; }
  STDMETHODIMP Reset() override { return S_OK; }
  STDMETHODIMP Clone(IEnumFORMATETC**) override { return E_NOTIMPL; }

 private:
  FORMATETC FEntry;
  ULONG FReported;
};

}  // namespace kxtest
