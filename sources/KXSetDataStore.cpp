#include "sources/KXSetDataStore.h"

#include <cstring>

#include "framework/Handles.h"
#include "sources/KXDragSourceLoop.h"

namespace kestrix {

namespace {

// A copy of a global block, of the block's whole size.
HGLOBAL CopyGlobal(HGLOBAL block) {
  vcl::TGlobalLock lock(block);
  if (!lock) return nullptr;
  return vcl::GlobalFromBytes(kMediumBlockFlags, lock.Ptr(), lock.Size(), lock.Size()).Release();
}

}  // namespace

TSetDataStore::~TSetDataStore() {
  for (Entry& e : FEntries) ReleaseStgMedium(&e.Medium);
}

const TSetDataStore::Entry* TSetDataStore::Find(const FORMATETC& Request) const {
  for (const Entry& e : FEntries)
    if (e.Format.cfFormat == Request.cfFormat && e.Format.dwAspect == Request.dwAspect && (Request.tymed & e.Medium.tymed))
      return &e;
  return nullptr;
}

HRESULT TSetDataStore::Set(const FORMATETC& Format, STGMEDIUM& Medium, BOOL fRelease) {
  if (Format.cfFormat == 0 || Format.dwAspect != DVASPECT_CONTENT) return DV_E_FORMATETC;
  STGMEDIUM kept{};
  if (Medium.tymed == TYMED_HGLOBAL && Medium.hGlobal) {
    kept.tymed = TYMED_HGLOBAL;
    if (fRelease) {
      kept = Medium;
    } else if (!(kept.hGlobal = CopyGlobal(Medium.hGlobal))) {
      return E_OUTOFMEMORY;
    }
  } else if (Medium.tymed == TYMED_ISTREAM && Medium.pstm) {
    if (fRelease) {
      kept = Medium;
    } else {
      kept.tymed = TYMED_ISTREAM;
      kept.pstm = Medium.pstm;
      kept.pstm->AddRef();
    }
  } else {
    return DV_E_TYMED;
  }
  FORMATETC key = Format;
  key.ptd = nullptr;  // a target device is the caller's; the store never frees one
  key.lindex = -1;
  key.tymed = kept.tymed;
  for (Entry& e : FEntries) {
    if (e.Format.cfFormat == key.cfFormat) {
      ReleaseStgMedium(&e.Medium);
      e = {key, kept};
      return S_OK;
    }
  }
  try {
    FEntries.push_back({key, kept});
  } catch (...) {
    if (!fRelease) ReleaseStgMedium(&kept);  // with fRelease the caller keeps it on failure
    throw;
  }
  return S_OK;
}

bool TSetDataStore::Has(const FORMATETC& Request) const { return Find(Request) != nullptr; }

HRESULT TSetDataStore::Get(const FORMATETC& Request, STGMEDIUM& Medium) const {
  const Entry* e = Find(Request);
  if (!e) return DV_E_FORMATETC;
  std::memset(&Medium, 0, sizeof Medium);
  if (e->Medium.tymed == TYMED_HGLOBAL) {
    Medium.hGlobal = CopyGlobal(e->Medium.hGlobal);
    if (!Medium.hGlobal) return E_OUTOFMEMORY;
  } else {
    Medium.pstm = e->Medium.pstm;
    Medium.pstm->AddRef();
  }
  Medium.tymed = e->Medium.tymed;
  return S_OK;
}

void TSetDataStore::AppendFormats(std::vector<FORMATETC>& Formats) const {
  for (const Entry& e : FEntries) Formats.push_back(e.Format);
}

}  // namespace kestrix
