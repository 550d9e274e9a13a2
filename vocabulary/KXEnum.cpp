#include "vocabulary/KXEnum.h"

namespace kestrix {

STDMETHODIMP TKXEnumFormatEtc::Next(ULONG celt, FORMATETC* elt, ULONG* pceltFetched) {
  ULONG fetched = 0;
  if (FIndex >= 0 && FIndex < Count() && celt == 1 && elt) {
    *elt = FFormatEtcs[static_cast<size_t>(FIndex)];
    ++FIndex;
    fetched = 1;
  }
  if (pceltFetched) *pceltFetched = fetched;
  return fetched == 1 ? S_OK : S_FALSE;
}

STDMETHODIMP TKXEnumFormatEtc::Skip(ULONG celt) {
  if (static_cast<LONGLONG>(FIndex) + celt >= Count()) return S_FALSE;
  FIndex += static_cast<LONG>(celt);
  return S_OK;
}

STDMETHODIMP TKXEnumFormatEtc::Reset() {
  FIndex = 0;
  return S_OK;
}

STDMETHODIMP TKXEnumFormatEtc::Clone(IEnumFORMATETC** ppenum) {
  return vcl::ComBoundary([&]() -> HRESULT {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    auto copy = vcl::MakeComObject<TKXEnumFormatEtc>();  // bad_alloc: E_OUTOFMEMORY at the boundary
    copy->FFormatEtcs = FFormatEtcs;
    copy->FIndex = FIndex;
    *ppenum = copy.Detach();
    return S_OK;
  });
}

}  // namespace kestrix
