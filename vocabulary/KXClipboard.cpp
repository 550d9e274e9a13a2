#include "vocabulary/KXClipboard.h"

#include <cstring>

#include "framework/DataMedium.h"
#include "framework/Handles.h"

namespace kestrix {

namespace {

// The data object this process put on the clipboard last. No reference: OLE holds one while it is
// there, and it is used only after OleIsCurrentClipboard (which compares pointers) says it is.
IDataObject* ownContents = nullptr;

FORMATETC GlobalFormat(UINT format) {
  return {static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

HRESULT SetDword(IDataObject* data, UINT format, DWORD value) {
  vcl::TUniqueGlobal block = vcl::GlobalFromBytes(GMEM_MOVEABLE, &value, sizeof value, sizeof value);
  if (!block) return E_OUTOFMEMORY;
  FORMATETC fe = GlobalFormat(format);
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block.Get();
  const HRESULT hr = data->SetData(&fe, &medium, TRUE);
  if (SUCCEEDED(hr)) block.Release();  // the data object took it
  return hr;
}

}  // namespace

UINT PasteSucceededFormat() {
  static const UINT format = RegisterClipboardFormatW(L"Paste Succeeded");
  return format;
}

vcl::TComPtr<IDataObject> ClipboardDataObject() {
  vcl::TComPtr<IDataObject> data;
  // Another program may hold the clipboard open for a moment; never wait on it for long.
  for (int attempt = 0; attempt < 5; ++attempt) {
    const HRESULT hr = OleGetClipboard(data.Put());
    if (SUCCEEDED(hr) && data) return data;
    data.Reset();
    if (hr != CLIPBRD_E_CANT_OPEN) break;
    Sleep(20);
  }
  return data;
}

DWORD PasteEffects(IDataObject* Data) {
  if (!Data || !CF_PREFERREDDROPEFFECT) return DROPEFFECT_COPY;
  FORMATETC fe = GlobalFormat(CF_PREFERREDDROPEFFECT);
  vcl::TStgMedium medium;
  if (FAILED(vcl::GetDataInto(Data, fe, medium)) || medium->tymed != TYMED_HGLOBAL || !medium->hGlobal)
    return DROPEFFECT_COPY;
  const std::optional<DWORD> said = vcl::DwordOfGlobal(medium->hGlobal);
  if (!said) return DROPEFFECT_COPY;
  const DWORD preferred = *said;
  const bool cut = (preferred & DROPEFFECT_MOVE) && !(preferred & DROPEFFECT_COPY);
  return cut ? DROPEFFECT_MOVE | DROPEFFECT_COPY : DROPEFFECT_COPY;
}

void ReportPaste(IDataObject* Data, DWORD Effect) {
  if (!Data || !CF_PERFORMEDDROPEFFECT || Effect == DROPEFFECT_NONE) return;
  IDataObject* told = Data;
  if (FAILED(SetDword(Data, CF_PERFORMEDDROPEFFECT, Effect))) {
    if (!ownContents || OleIsCurrentClipboard(ownContents) != S_OK) return;
    told = ownContents;
    if (FAILED(SetDword(told, CF_PERFORMEDDROPEFFECT, Effect))) return;
  }
  if (Effect == DROPEFFECT_MOVE) SetDword(told, PasteSucceededFormat(), DROPEFFECT_MOVE);
}

HRESULT PutOnClipboard(IDataObject* Data) {
  if (!Data) return E_INVALIDARG;
  HRESULT hr = E_FAIL;
  for (int attempt = 0; attempt < 5; ++attempt) {
    hr = OleSetClipboard(Data);
    if (hr != CLIPBRD_E_CANT_OPEN) break;
    Sleep(20);
  }
  if (SUCCEEDED(hr)) ownContents = Data;
  return hr;
}

bool IsOnClipboard(IDataObject* Data) { return Data && OleIsCurrentClipboard(Data) == S_OK; }

void TakeOffClipboard(IDataObject* Data, TClipboardRetention Retention) {
  if (Data && ownContents == Data) ownContents = nullptr;
  if (!IsOnClipboard(Data)) return;
  if (Retention == crFlush && SUCCEEDED(OleFlushClipboard())) return;
  OleSetClipboard(nullptr);
}

}  // namespace kestrix
