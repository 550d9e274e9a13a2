#include "sources/KXClipboardSource.h"

#include <cstring>
#include <optional>

#include "formats/KXUtilDataObj.h"
#include "framework/Handles.h"
#include "sources/KXDragSourceLoop.h"

namespace kestrix {

namespace {

// The size of a rendered medium's data (0 when it cannot be told).
std::uint64_t MediumSize(const STGMEDIUM& medium) {
  switch (medium.tymed) {
    case TYMED_HGLOBAL:
      return medium.hGlobal ? GlobalSize(medium.hGlobal) : 0;
    case TYMED_ISTREAM: {
      STATSTG stat{};
      return medium.pstm && SUCCEEDED(medium.pstm->Stat(&stat, STATFLAG_NONAME)) ? stat.cbSize.QuadPart : 0;
    }
    case TYMED_GDI: {
      BITMAP bitmap{};
      if (!medium.hBitmap || !GetObjectW(medium.hBitmap, sizeof bitmap, &bitmap)) return 0;
      return std::uint64_t(bitmap.bmWidthBytes) * std::uint64_t(bitmap.bmHeight > 0 ? bitmap.bmHeight : -bitmap.bmHeight);
    }
    case TYMED_ENHMF:
      return medium.hEnhMetaFile ? GetEnhMetaFileBits(medium.hEnhMetaFile, 0, nullptr) : 0;
    case TYMED_MFPICT: {
      vcl::TGlobalLock lock(medium.hMetaFilePict);
      const std::optional<METAFILEPICT> pict = detail::MetafilePictFromBlock(lock.View());
      return pict && pict->hMF ? GetMetaFileBitsEx(pict->hMF, 0, nullptr) : 0;
    }
    default:
      return 0;
  }
}

bool IsPreferredEffect(const FORMATETC* fe) {
  return fe && fe->cfFormat == CF_PREFERREDDROPEFFECT && CF_PREFERREDDROPEFFECT != 0;
}

bool IsVirtualFileFormat(CLIPFORMAT cf) {
  return cf == CF_FILECONTENTS || cf == CF_FILEGROUPDESCRIPTORW || cf == CF_FILEGROUPDESCRIPTOR;
}

}  // namespace

// The data object on the clipboard: the component's, forwarded to while the component lives.
class TClipboardDataObject : public vcl::TInterfacedObjectImpl<IDataObject> {
 public:
  STDMETHODIMP GetData(FORMATETC* fe, STGMEDIUM* medium) override {
    if (!fe || !medium) return E_INVALIDARG;
    std::memset(medium, 0, sizeof *medium);
    if (!FInner) return E_FAIL;
    if (IsPreferredEffect(fe)) return RenderPreferred(*fe, *medium);
    if (FFlushing && IsVirtualFileFormat(fe->cfFormat)) return DV_E_FORMATETC;
    const HRESULT hr = FInner->GetData(fe, medium);
    if (SUCCEEDED(hr) && FFlushing && MediumSize(*medium) > FOwner->FFlushLimit) {
      ReleaseStgMedium(medium);
      std::memset(medium, 0, sizeof *medium);
      return DV_E_FORMATETC;
    }
    return hr;
  }
  STDMETHODIMP GetDataHere(FORMATETC* fe, STGMEDIUM* medium) override {
    return FInner ? FInner->GetDataHere(fe, medium) : E_FAIL;
  }
  STDMETHODIMP QueryGetData(FORMATETC* fe) override {
    if (FInner && IsPreferredEffect(fe)) return (fe->tymed & TYMED_HGLOBAL) && fe->lindex == -1 ? S_OK : DV_E_FORMATETC;
    return FInner ? FInner->QueryGetData(fe) : S_FALSE;
  }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override {
    return FInner ? FInner->GetCanonicalFormatEtc(in, out) : E_FAIL;
  }
  // Stores in the component's object (the move protocol's formats among them); "Paste Succeeded"
  // also reaches the component.
  STDMETHODIMP SetData(FORMATETC* fe, STGMEDIUM* medium, BOOL release) override {
    if (!FInner) return E_FAIL;
    std::optional<DWORD> pasted;
    if (fe && medium && fe->cfFormat == PasteSucceededFormat() && medium->tymed == TYMED_HGLOBAL)
      pasted = vcl::DwordOfGlobal(medium->hGlobal);
    const HRESULT hr = FInner->SetData(fe, medium, release);
    if (SUCCEEDED(hr) && pasted && FOwner) {
      // The handler may free the component, and with it this object's last other reference.
      const vcl::TComPtr<IDataObject> self(this);
      FOwner->PasteSucceeded(*pasted);
    }
    return hr;
  }
  // The component's formats, with this object's "Preferred DropEffect" in place of its own.
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
    if (formats) *formats = nullptr;
    if (!FInner) return E_FAIL;
    if (direction != DATADIR_GET) return FInner->EnumFormatEtc(direction, formats);
    return vcl::ComBoundary([&]() -> HRESULT {
      vcl::TComPtr<IEnumFORMATETC> inner;
      const HRESULT hr = FInner->EnumFormatEtc(direction, inner.Put());
      if (FAILED(hr) || !inner) return FAILED(hr) ? hr : E_FAIL;
      std::vector<FORMATETC> list;
      FORMATETC fe;
      for (ULONG got = 0; inner->Next(1, &fe, &got) == S_OK && got == 1;) {
        if (fe.ptd) CoTaskMemFree(fe.ptd);
        fe.ptd = nullptr;
        if (!IsPreferredEffect(&fe)) list.push_back(fe);
      }
      list.push_back({static_cast<CLIPFORMAT>(CF_PREFERREDDROPEFFECT), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
      return EnumFormatsForReading(direction, formats, list);
    });
  }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

  // Renders the component's formats into the system's clipboard within its limit, or clears it;
  // then lets go of the component's object, whoever still holds this one.
  void ComponentGone(TClipboardRetention Retention) {
    FFlushing = true;
    TakeOffClipboard(this, Retention);
    FFlushing = false;
    Detach();
  }
  // Lets go of the component's object; the clipboard, if it still holds this one, gets nothing more.
  void Detach() {
    FInner.Reset();
    FOwner = nullptr;
  }

 private:
  friend struct vcl::TComObjectFactory;
  TClipboardDataObject(TKXClipboardSource* owner, vcl::TComPtr<IDataObject> inner, DWORD preferred)
      : FOwner(owner), FInner(std::move(inner)), FPreferred(preferred) {}

  HRESULT RenderPreferred(const FORMATETC& fe, STGMEDIUM& medium) const {
    if (!(fe.tymed & TYMED_HGLOBAL) || fe.lindex != -1) return DV_E_FORMATETC;
    vcl::TUniqueGlobal block = vcl::GlobalFromBytes(kMediumBlockFlags, &FPreferred, sizeof FPreferred, sizeof FPreferred);
    if (!block) return E_OUTOFMEMORY;
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block.Release();
    return S_OK;
  }

  TKXClipboardSource* FOwner;
  vcl::TComPtr<IDataObject> FInner;
  DWORD FPreferred;
  bool FFlushing = false;
};

TKXClipboardSource::TKXClipboardSource(vcl::TObject* Sender) : FSender(Sender) {}

// The concrete component has flushed or cleared its contents already; were they still there, its
// members are gone by now, so nothing is rendered any more.
TKXClipboardSource::~TKXClipboardSource() {
  if (FOnClipboard) FOnClipboard->ComponentGone(crClear);
}

bool TKXClipboardSource::CopyToClipboard(bool Cut) {
  vcl::TComPtr<IDataObject> data = MakeClipboardData();
  if (!data) return false;
  auto wrapper =
      vcl::MakeComObject<TClipboardDataObject>(this, std::move(data), static_cast<DWORD>(Cut ? DROPEFFECT_MOVE : DROPEFFECT_COPY));
  if (FAILED(PutOnClipboard(wrapper.Get()))) {
    wrapper->Detach();
    return false;
  }
  // The contents put before were replaced: they no longer reach the component.
  if (FOnClipboard) FOnClipboard->Detach();
  FOnClipboard = std::move(wrapper);
  return true;
}

bool TKXClipboardSource::getOnClipboard() const { return FOnClipboard && IsOnClipboard(FOnClipboard.Get()); }

void TKXClipboardSource::ClipboardComponentGone() {
  if (vcl::TComPtr<TClipboardDataObject> contents = std::move(FOnClipboard)) contents->ComponentGone(FRetention);
}

void TKXClipboardSource::PasteSucceeded(DWORD Effect) {
  if (!FOnPasteSucceeded) return;
  try {
    FOnPasteSucceeded(FSender, singleEffectFromSet(setFromDropEffect(Effect)));
  } catch (...) {
    HandleExceptionOutsideExecute(FSender);  // raised from another program's call: never into OLE
  }
}

}  // namespace kestrix
