#include "support/FakeDataObject.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "vocabulary/KXEnum.h"

namespace kxtest {

namespace {

LONG outstanding = 0;

// Set as a medium's pUnkForRelease: ReleaseStgMedium releases it and it frees the block then.
class ReleaseTracker : public vcl::TInterfacedObjectImpl<IUnknown> {
 public:
  explicit ReleaseTracker(STGMEDIUM medium) : FMedium(medium) {
    // ReleaseStgMedium releases a stream or storage itself even when pUnkForRelease is set; the
    // tracker holds a reference of its own.
    if ((medium.tymed == TYMED_ISTREAM || medium.tymed == TYMED_ISTORAGE) && medium.pstm) medium.pstm->AddRef();
    InterlockedIncrement(&outstanding);
    AddRef();
  }
  ~ReleaseTracker() override {
    InterlockedDecrement(&outstanding);
    FMedium.pUnkForRelease = nullptr;
    ReleaseStgMedium(&FMedium);
  }

 private:
  STGMEDIUM FMedium;
};

}  // namespace

int FakeDataObject::OutstandingMedia() { return outstanding; }

HGLOBAL GlobalWithBytes(const std::string& bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (void* p = GlobalLock(h)) {
    if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(h);
  }
  return h;
}

std::string HDropBytes(const std::vector<std::wstring>& names) {
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.fWide = TRUE;
  std::string out(reinterpret_cast<const char*>(&header), sizeof header);
  for (const auto& n : names) out.append(reinterpret_cast<const char*>(n.c_str()), (n.size() + 1) * 2);
  out.append(2, '\0');
  return out;
}

std::string FileGroupDescriptorA(const std::string& firstName) {
  FILEGROUPDESCRIPTORA fgd{};
  fgd.cItems = 1;
  std::strncpy(fgd.fgd[0].cFileName, firstName.c_str(), MAX_PATH - 1);
  return std::string(reinterpret_cast<const char*>(&fgd), sizeof fgd);
}

ScriptedStream::ScriptedStream(const std::string& bytes) {
  CreateStreamOnHGlobal(nullptr, TRUE, FInner.Put());
  ULONG written = 0;
  FInner->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
}

STDMETHODIMP ScriptedStream::Read(void* pv, ULONG cb, ULONG* got) {
  ++reads;
  if (got) *got = 0;
  if (delivered >= failAfter) return E_FAIL;
  ULONG n = 0;
  const HRESULT hr = FInner->Read(pv, std::min<ULONGLONG>({cb, maxRead, failAfter - delivered}), &n);
  delivered += n;
  if (got) *got = n;
  return hr;
}

STDMETHODIMP ScriptedStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  return seekable ? FInner->Seek(move, origin, position) : E_NOTIMPL;
}

STDMETHODIMP ScriptedStream::Stat(STATSTG* stat, DWORD flags) {
  const HRESULT hr = FInner->Stat(stat, flags);
  if (SUCCEEDED(hr) && statedSize) stat->cbSize.QuadPart = *statedSize;
  return hr;
}

FakeDataObject::Renderer RenderStream(vcl::TComPtr<IStream> stream) {
  return [stream](const FORMATETC&, STGMEDIUM& m) {
    m.tymed = TYMED_ISTREAM;
    m.pstm = vcl::TComPtr<IStream>(stream).Detach();
    return S_OK;
  };
}

FakeDataObject::Renderer RenderStorage(const std::wstring& streamName, std::string bytes) {
  return [streamName, bytes](const FORMATETC&, STGMEDIUM& m) {
    vcl::TComPtr<ILockBytes> memory;
    vcl::TComPtr<IStorage> storage;
    vcl::TComPtr<IStream> stream;
    ULONG written = 0;
    HRESULT hr = CreateILockBytesOnHGlobal(nullptr, TRUE, memory.Put());
    if (SUCCEEDED(hr))
      hr = StgCreateDocfileOnILockBytes(memory.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.Put());
    if (SUCCEEDED(hr))
      hr = storage->CreateStream(streamName.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Put());
    if (SUCCEEDED(hr)) hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (FAILED(hr)) return hr;
    m.tymed = TYMED_ISTORAGE;
    m.pstg = storage.Detach();
    return S_OK;
  };
}

vcl::TComPtr<FakeDataObject> MakeFake() { return vcl::TComPtr<FakeDataObject>(new FakeDataObject); }

FakeDataObject& FakeDataObject::Offer(UINT format, std::string bytes, DWORD tymed) {
  return OfferRendered(format, tymed, [bytes](const FORMATETC&, STGMEDIUM& m) {
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = GlobalWithBytes(bytes);
    return S_OK;
  });
}

FakeDataObject& FakeDataObject::Offer(const wchar_t* formatName, std::string bytes) {
  return Offer(RegisterClipboardFormatW(formatName), std::move(bytes));
}

FakeDataObject& FakeDataObject::OfferRendered(UINT format, DWORD tymed, Renderer render) {
  FEntries.push_back({{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, tymed}, std::move(render)});
  return *this;
}

FakeDataObject& FakeDataObject::OfferFileContents(std::vector<std::string> items, DWORD tymed) {
  return OfferRendered(RegisterClipboardFormatW(L"FileContents"), tymed,
                       [items = std::move(items), tymed](const FORMATETC& request, STGMEDIUM& m) {
                         if (request.lindex < 0 || size_t(request.lindex) >= items.size()) return DV_E_LINDEX;
                         HGLOBAL block = GlobalWithBytes(items[size_t(request.lindex)]);
                         if (tymed == TYMED_HGLOBAL) {
                           m.tymed = TYMED_HGLOBAL;
                           m.hGlobal = block;
                           return S_OK;
                         }
                         m.tymed = TYMED_ISTREAM;
                         HRESULT hr = CreateStreamOnHGlobal(block, TRUE, &m.pstm);
                         if (FAILED(hr)) GlobalFree(block);
                         return hr;
                       });
}

FakeDataObject& FakeDataObject::OfferBroken(UINT format, HRESULT hr, DWORD tymed) {
  return OfferRendered(format, tymed, [hr](const FORMATETC&, STGMEDIUM&) { return hr; });
}

const FakeDataObject::Entry* FakeDataObject::Find(const FORMATETC& request) const {
  for (const Entry& e : FEntries)
    if (e.fe.cfFormat == request.cfFormat && (e.fe.tymed & request.tymed) && request.dwAspect == DVASPECT_CONTENT)
      return &e;
  return nullptr;
}

STDMETHODIMP FakeDataObject::GetData(FORMATETC* request, STGMEDIUM* medium) {
  ++FGetDataCalls;
  if (!request || !medium) return E_INVALIDARG;
  std::memset(medium, 0, sizeof *medium);
  const Entry* e = Find(*request);
  if (!e) return DV_E_FORMATETC;
  HRESULT hr = e->render(*request, *medium);
  if (SUCCEEDED(hr) && medium->tymed != TYMED_NULL) {
    // Hand the receiver a medium whose release is counted; the tracker frees the real content.
    auto* tracker = new ReleaseTracker(*medium);
    medium->pUnkForRelease = tracker;
  }
  return hr;
}

STDMETHODIMP FakeDataObject::QueryGetData(FORMATETC* request) {
  return request && Find(*request) ? S_OK : DV_E_FORMATETC;
}

STDMETHODIMP FakeDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out) out->ptd = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP FakeDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (direction != DATADIR_GET) return E_NOTIMPL;
  auto* e = new kestrix::TKXEnumFormatEtc();
  for (const Entry& entry : FEntries) e->addFormatEtc(entry.fe);
  e->AddRef();
  *out = e;
  return S_OK;
}

}  // namespace kxtest
