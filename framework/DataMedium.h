#pragma once
// Asking a data object for a medium. A GetData that fails hands nothing over, whatever it left in
// the medium; releasing that would free something that is not ours (or nothing at all), so every
// request of the library goes through here and keeps a medium only on success.
#include <windows.h>
#include <ole2.h>

#include "framework/Handles.h"

namespace vcl {

inline HRESULT GetDataInto(IDataObject* Data, FORMATETC& Request, TStgMedium& Medium) {
  const HRESULT hr = Data->GetData(&Request, Medium.Put());
  if (FAILED(hr)) Medium.Release();
  return hr;
}

}  // namespace vcl
