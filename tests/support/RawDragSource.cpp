#include "support/RawDragSource.h"

#include <shlobj.h>

#include <cstring>

namespace kxtest {

namespace {
LONG volatile aliveDataObjects = 0;
}

RawDataObject::Counter::Counter() { InterlockedIncrement(&aliveDataObjects); }
RawDataObject::Counter::~Counter() { InterlockedDecrement(&aliveDataObjects); }
LONG RawDataObject::Alive() { return aliveDataObjects; }

void RawDataObject::Add(CLIPFORMAT cf, std::string bytes) { FEntries.push_back({cf, std::move(bytes)}); }

void RawDataObject::AddUnicodeText(const std::wstring& text) {
  std::string bytes(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
  Add(CF_UNICODETEXT, std::move(bytes));
}

STDMETHODIMP RawDataObject::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDataObject) *ppv = static_cast<IDataObject*>(this);
  if (!*ppv) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) RawDataObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&FRefs)); }

STDMETHODIMP_(ULONG) RawDataObject::Release() {
  LONG n = InterlockedDecrement(&FRefs);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

const RawDataObject::Entry* RawDataObject::Find(const FORMATETC* fe) const {
  if (!fe || fe->dwAspect != DVASPECT_CONTENT || !(fe->tymed & TYMED_HGLOBAL)) return nullptr;
  for (const Entry& e : FEntries)
    if (e.cf == fe->cfFormat) return &e;
  return nullptr;
}

STDMETHODIMP RawDataObject::GetData(FORMATETC* fe, STGMEDIUM* medium) {
  if (!medium) return E_POINTER;
  std::memset(medium, 0, sizeof *medium);
  ++getDataCalls;
  const Entry* e = Find(fe);
  if (!e) return DV_E_FORMATETC;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, e->bytes.size() ? e->bytes.size() : 1);
  if (!block) return E_OUTOFMEMORY;
  if (void* p = GlobalLock(block)) {
    std::memcpy(p, e->bytes.data(), e->bytes.size());
    GlobalUnlock(block);
  }
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = block;
  return S_OK;
}

STDMETHODIMP RawDataObject::QueryGetData(FORMATETC* fe) { return Find(fe) ? S_OK : S_FALSE; }

STDMETHODIMP RawDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out) out->ptd = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP RawDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** e) {
  if (!e) return E_POINTER;
  *e = nullptr;
  if (direction != DATADIR_GET) return E_NOTIMPL;
  std::vector<FORMATETC> list;
  for (const Entry& entry : FEntries) list.push_back({entry.cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
  return SHCreateStdEnumFmtEtc(static_cast<UINT>(list.size()), list.data(), e);
}

STDMETHODIMP RawDataObject::EnumDAdvise(IEnumSTATDATA** e) {
  if (e) *e = nullptr;
  return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP RawDropSource::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDropSource) *ppv = static_cast<IDropSource*>(this);
  if (!*ppv) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) RawDropSource::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&FRefs)); }

STDMETHODIMP_(ULONG) RawDropSource::Release() {
  LONG n = InterlockedDecrement(&FRefs);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

STDMETHODIMP RawDropSource::QueryContinueDrag(BOOL escape, DWORD keys) {
  ++polls;
  if (escape) return DRAGDROP_S_CANCEL;
  if (!(keys & FButton)) return DRAGDROP_S_DROP;
  return S_OK;
}

STDMETHODIMP RawDropSource::GiveFeedback(DWORD effect) {
  ++feedbacks;
  lastFeedback = effect;
  return DRAGDROP_S_USEDEFAULTCURSORS;
}

}  // namespace kxtest
