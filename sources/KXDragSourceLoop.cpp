#include "sources/KXDragSourceLoop.h"

#include <new>

#include "framework/Forms.h"
#include "vocabulary/KXEnum.h"

namespace kestrix {

void HandleExceptionOutsideExecute(vcl::TObject* Sender) noexcept {
  try {
    vcl::Application->HandleException(Sender);
  } catch (...) {
  }
}

HRESULT EnumFormatsForReading(DWORD dwDirection, IEnumFORMATETC** enumFormatEtc,
                              const std::vector<FORMATETC>& Formats) noexcept {
  if (enumFormatEtc) *enumFormatEtc = nullptr;
  if (dwDirection == DATADIR_SET) return E_NOTIMPL;
  if (dwDirection != DATADIR_GET || !enumFormatEtc) return E_INVALIDARG;
  return vcl::ComBoundary([&]() -> HRESULT {
    auto* created = new (std::nothrow) TKXEnumFormatEtc();
    if (!created) return E_OUTOFMEMORY;
    vcl::TComPtr<TKXEnumFormatEtc> enumerator(created);
    for (const FORMATETC& fe : Formats) enumerator->addFormatEtc(fe);
    *enumFormatEtc = enumerator.Detach();
    return S_OK;
  });
}

}  // namespace kestrix
