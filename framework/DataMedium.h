#pragma once
// Asking a data object for a medium. A GetData that fails hands nothing over, whatever it left in
// the medium; releasing that would free something that is not ours (or nothing at all), so every
// request of the library goes through here and keeps a medium only on success, and only of a
// kind it asked for. Any other medium leaves Medium empty (TYMED_NULL) and is given back without
// ReleaseStgMedium acting on what it names (a file medium's file would be deleted, a handle may
// be anyone's): the interface it carries and its pUnkForRelease are released, a file name is
// freed, handles are left alone.
#include <windows.h>
#include <ole2.h>

#include <cstring>

#include "framework/Handles.h"

namespace vcl {

// Lets go of a medium of a kind nobody asked for, touching nothing it names.
inline void DiscardForeignMedium(STGMEDIUM& Medium) {
  if (Medium.tymed == TYMED_ISTREAM && Medium.pstm) Medium.pstm->Release();
  if (Medium.tymed == TYMED_ISTORAGE && Medium.pstg) Medium.pstg->Release();
  if (Medium.tymed == TYMED_FILE) CoTaskMemFree(Medium.lpszFileName);
  if (Medium.pUnkForRelease) Medium.pUnkForRelease->Release();
  std::memset(&Medium, 0, sizeof Medium);
}

inline HRESULT GetDataInto(IDataObject* Data, FORMATETC& Request, TStgMedium& Medium) {
  STGMEDIUM got;
  std::memset(&got, 0, sizeof got);
  Medium.Reset();
  const HRESULT hr = Data->GetData(&Request, &got);
  if (FAILED(hr)) return hr;  // nothing was handed over
  // One kind, and one of those asked for.
  const DWORD kind = got.tymed;
  if (kind == TYMED_NULL || (kind & (kind - 1)) != 0 || (kind & Request.tymed) == 0) {
    // The call's result stands (a target still counts the drop), but its medium stays empty.
    DiscardForeignMedium(got);
    return hr;
  }
  *Medium.Put() = got;
  return hr;
}

}  // namespace vcl
