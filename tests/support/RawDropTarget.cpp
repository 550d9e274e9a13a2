#include "support/RawDropTarget.h"

#include <shldisp.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

namespace kxtest {

namespace {

std::string ReadStream(IStream* stream) {
  std::string out;
  if (!stream) return out;
  LARGE_INTEGER zero{};
  stream->Seek(zero, STREAM_SEEK_SET, nullptr);
  char buf[4096];
  for (;;) {
    ULONG got = 0;
    HRESULT hr = stream->Read(buf, sizeof buf, &got);
    out.append(buf, got);
    if (FAILED(hr) || got == 0) break;
  }
  return out;
}

std::string StorageNames(IStorage* storage) {
  std::string out;
  IEnumSTATSTG* e = nullptr;
  if (!storage || FAILED(storage->EnumElements(0, nullptr, 0, &e)) || !e) return out;
  STATSTG st;
  while (e->Next(1, &st, nullptr) == S_OK) {
    if (st.pwcsName) {
      int n = WideCharToMultiByte(CP_UTF8, 0, st.pwcsName, -1, nullptr, 0, nullptr, nullptr);
      std::string name(n > 0 ? n - 1 : 0, '\0');
      if (n > 1) WideCharToMultiByte(CP_UTF8, 0, st.pwcsName, -1, name.data(), n, nullptr, nullptr);
      out += name + "\n";
      CoTaskMemFree(st.pwcsName);
    }
  }
  e->Release();
  return out;
}

}  // namespace

std::string BitmapPixels32(HBITMAP bitmap) {
  BITMAP bm{};
  if (!bitmap || !GetObjectW(bitmap, sizeof bm, &bm)) return {};
  BITMAPINFOHEADER h{};
  h.biSize = sizeof h;
  h.biWidth = bm.bmWidth;
  h.biHeight = -bm.bmHeight;  // top-down
  h.biPlanes = 1;
  h.biBitCount = 32;
  h.biCompression = BI_RGB;
  std::string out(sizeof h + static_cast<size_t>(bm.bmWidth) * bm.bmHeight * 4, '\0');
  HDC screen = GetDC(nullptr);
  BITMAPINFOHEADER query = h;  // GetDIBits may write to the header it is given
  int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(bm.bmHeight), out.data() + sizeof h,
                       reinterpret_cast<BITMAPINFO*>(&query), DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != bm.bmHeight) return {};
  std::memcpy(out.data(), &h, sizeof h);
  return out;
}

std::string EnhMetaFileBytes(HENHMETAFILE emf) {
  UINT size = emf ? GetEnhMetaFileBits(emf, 0, nullptr) : 0;
  std::string out(size, '\0');
  if (size && GetEnhMetaFileBits(emf, size, reinterpret_cast<BYTE*>(out.data())) != size) out.clear();
  return out;
}

std::string MetaFileBytes(HMETAFILE wmf) {
  UINT size = wmf ? GetMetaFileBitsEx(wmf, 0, nullptr) : 0;
  std::string out(size, '\0');
  if (size && GetMetaFileBitsEx(wmf, size, out.data()) != size) out.clear();
  return out;
}

namespace {

// Records whether the medium's handle is null and what Read makes of it.
template <class H, class F>
void Take(RawRead& r, H handle, F Read) {
  r.nullHandle = handle == nullptr;
  r.bytes = Read(handle);
}

// Reads one medium into the record's bytes, according to what it actually holds.
void Capture(RawRead& r, const STGMEDIUM& m) {
  r.gotTymed = m.tymed;
  switch (m.tymed) {
    case TYMED_HGLOBAL: {
      r.nullHandle = m.hGlobal == nullptr;
      if (!m.hGlobal) break;
      SIZE_T size = GlobalSize(m.hGlobal);
      if (const void* p = GlobalLock(m.hGlobal)) {
        r.bytes.assign(static_cast<const char*>(p), size);
        GlobalUnlock(m.hGlobal);
      }
      break;
    }
    case TYMED_ISTREAM: Take(r, m.pstm, ReadStream); break;
    case TYMED_ISTORAGE: Take(r, m.pstg, StorageNames); break;
    case TYMED_GDI: Take(r, m.hBitmap, BitmapPixels32); break;
    case TYMED_ENHMF: Take(r, m.hEnhMetaFile, EnhMetaFileBytes); break;
    case TYMED_MFPICT: {
      r.nullHandle = m.hMetaFilePict == nullptr;
      if (!m.hMetaFilePict || GlobalSize(m.hMetaFilePict) < sizeof(METAFILEPICT)) break;
      METAFILEPICT pict{};
      if (const void* p = GlobalLock(m.hMetaFilePict)) {
        std::memcpy(&pict, p, sizeof pict);
        GlobalUnlock(m.hMetaFilePict);
      }
      const LONG head[3] = {pict.mm, pict.xExt, pict.yExt};
      r.bytes.assign(reinterpret_cast<const char*>(head), sizeof head);
      r.bytes += MetaFileBytes(pict.hMF);
      break;
    }
    default: break;
  }
}

// Frees a medium that has no release object the way its owner may, each handle by its own call;
// true when every call succeeded.
bool FreeByHand(const STGMEDIUM& m) {
  switch (m.tymed) {
    case TYMED_HGLOBAL: return m.hGlobal && GlobalFree(m.hGlobal) == nullptr;
    case TYMED_GDI: return m.hBitmap && DeleteObject(m.hBitmap);
    case TYMED_ENHMF: return m.hEnhMetaFile && DeleteEnhMetaFile(m.hEnhMetaFile);
    case TYMED_MFPICT: {
      if (!m.hMetaFilePict) return false;
      bool ok = false;
      if (auto* pict = static_cast<METAFILEPICT*>(GlobalLock(m.hMetaFilePict))) {
        ok = pict->hMF && DeleteMetaFile(pict->hMF);
        GlobalUnlock(m.hMetaFilePict);
      }
      return GlobalFree(m.hMetaFilePict) == nullptr && ok;
    }
    default: return false;
  }
}

// The text up to the first terminator of `unit` bytes, never past the block.
template <class Ch>
std::basic_string<Ch> TextOf(const std::string& bytes) {
  size_t units = bytes.size() / sizeof(Ch);
  std::basic_string<Ch> s(units, Ch{});
  if (units) std::memcpy(s.data(), bytes.data(), units * sizeof(Ch));
  size_t end = s.find(Ch{});
  if (end != s.npos) s.resize(end);
  return s;
}

}  // namespace

RawRead ReadRequest(CLIPFORMAT cf, DWORD tymed, LONG lindex) {
  RawRead r;
  r.cfFormat = cf;
  r.tymed = tymed;
  r.lindex = lindex;
  return r;
}

RawRead ReadRequest(const std::wstring& name, DWORD tymed, LONG lindex) {
  return ReadRequest(static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name.c_str())), tymed, lindex);
}

RawDropTarget::RawDropTarget(DWORD answer)
    : FAnswer(answer), FReads{ReadRequest(CF_UNICODETEXT), ReadRequest(CF_TEXT)} {}

RawDropTarget::~RawDropTarget() {
  if (FKept) FKept->Release();
  if (FAsyncData) FAsyncData->Release();
}

STDMETHODIMP RawDropTarget::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDropTarget) *ppv = static_cast<IDropTarget*>(this);
  if (!*ppv) return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) RawDropTarget::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&FRefs)); }

STDMETHODIMP_(ULONG) RawDropTarget::Release() {
  LONG n = InterlockedDecrement(&FRefs);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

DWORD RawDropTarget::Answer(DWORD allowed) const { return FAnswer & allowed; }

STDMETHODIMP RawDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL, DWORD* effect) {
  ++enters;
  allowedAtEnter = effect ? *effect : 0;
  enumerated.clear();
  IEnumFORMATETC* e = nullptr;
  if (data && SUCCEEDED(data->EnumFormatEtc(DATADIR_GET, &e)) && e) {
    FORMATETC fe;
    for (int guard = 0; guard < 1000 && e->Next(1, &fe, nullptr) == S_OK; ++guard) {
      if (fe.ptd) CoTaskMemFree(fe.ptd);
      fe.ptd = nullptr;
      enumerated.push_back(fe);
    }
    e->Release();
  }
  if (effect) *effect = lastAnswer = Answer(*effect);
  return S_OK;
}

STDMETHODIMP RawDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
  ++overs;
  if (effect) *effect = lastAnswer = Answer(*effect);
  return S_OK;
}

STDMETHODIMP RawDropTarget::DragLeave() {
  ++leaves;
  return S_OK;
}

STDMETHODIMP RawDropTarget::Drop(IDataObject* data, DWORD keys, POINTL, DWORD* effect) {
  keysAtDrop = keys;
  dropEffect = effect ? (FDropAnswerSet ? FDropAnswer & *effect : Answer(*effect)) : 0;
  if (effect) *effect = dropEffect;
  if (data && FKeep && !FKept) {
    FKept = data;
    FKept->AddRef();
  }
  if (data && FAsync) {
    IDataObjectAsyncCapability* async = nullptr;
    if (SUCCEEDED(data->QueryInterface(IID_IDataObjectAsyncCapability, reinterpret_cast<void**>(&async))) && async) {
      BOOL mode = FALSE;
      async->GetAsyncMode(&mode);
      dataAsyncMode = mode != FALSE;
      if (mode) {
        async->StartOperation(nullptr);
        startedAsync = true;
        FAsyncData = data;
        FAsyncData->AddRef();
      }
      async->Release();
    }
  }
  if (!FAsyncData && data) ReadAll(data);
  if (data && FPerformed) {
    FORMATETC fe{static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Performed DropEffect")), nullptr, DVASPECT_CONTENT, -1,
                 TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = GlobalAlloc(GMEM_MOVEABLE, sizeof(DWORD));
    if (DWORD* p = static_cast<DWORD*>(GlobalLock(medium.hGlobal))) {
      *p = FPerformed;
      GlobalUnlock(medium.hGlobal);
    }
    performedStored = data->SetData(&fe, &medium, TRUE);
    if (FAILED(performedStored)) GlobalFree(medium.hGlobal);
  }
  ++drops;  // last, so that a watcher sees the reads done
  return S_OK;
}

void RawDropTarget::ReadAll(IDataObject* data) {
  reads.clear();
  for (RawRead r : FReads) {
    FORMATETC fe{r.cfFormat, nullptr, DVASPECT_CONTENT, r.lindex, r.tymed};
    STGMEDIUM m{};
    r.hr = data->GetData(&fe, &m);
    if (SUCCEEDED(r.hr)) {
      Capture(r, m);
      if (FByHand && !m.pUnkForRelease) r.freedByHand = FreeByHand(m);
      else ReleaseStgMedium(&m);
    }
    reads.push_back(std::move(r));
  }
  ReadFiles(data);
}

void RawDropTarget::ReadFiles(IDataObject* data) {
  files.clear();
  if (FIndexing == ContentsIndexing::None) return;
  const CLIPFORMAT descriptor = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"FileGroupDescriptorW"));
  const CLIPFORMAT contents = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"FileContents"));
  FORMATETC fe{descriptor, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM m{};
  if (FAILED(data->GetData(&fe, &m))) return;
  std::vector<FILEDESCRIPTORW> records;
  if (m.tymed == TYMED_HGLOBAL) {
    const SIZE_T size = GlobalSize(m.hGlobal);
    if (auto* group = static_cast<const FILEGROUPDESCRIPTORW*>(GlobalLock(m.hGlobal))) {
      const SIZE_T fits = size < sizeof(UINT) ? 0 : (size - sizeof(UINT)) / sizeof(FILEDESCRIPTORW);
      for (UINT i = 0; i < group->cItems && i < fits; ++i) records.push_back(group->fgd[i]);
      GlobalUnlock(m.hGlobal);
    }
  }
  ReleaseStgMedium(&m);
  LONG amongFiles = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    const FILEDESCRIPTORW& r = records[i];
    const bool folder = (r.dwFlags & FD_ATTRIBUTES) && (r.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (folder) continue;
    const LONG lindex = FIndexing == ContentsIndexing::ByRecord ? static_cast<LONG>(i) : amongFiles;
    ++amongFiles;
    ContentsRead file{std::wstring(r.cFileName, wcsnlen(r.cFileName, MAX_PATH)), ReadRequest(contents, TYMED_ISTREAM | TYMED_HGLOBAL, lindex)};
    FORMATETC item{contents, nullptr, DVASPECT_CONTENT, lindex, TYMED_ISTREAM | TYMED_HGLOBAL};
    STGMEDIUM got{};
    file.read.hr = data->GetData(&item, &got);
    if (SUCCEEDED(file.read.hr)) {
      Capture(file.read, got);
      ReleaseStgMedium(&got);
    }
    files.push_back(std::move(file));
  }
}

void RawDropTarget::CompleteAsync() {
  IDataObject* data = FAsyncData;
  if (!data) return;
  FAsyncData = nullptr;
  ReadAll(data);
  IDataObjectAsyncCapability* async = nullptr;
  if (SUCCEEDED(data->QueryInterface(IID_IDataObjectAsyncCapability, reinterpret_cast<void**>(&async))) && async) {
    async->EndOperation(S_OK, nullptr, dropEffect);
    async->Release();
  }
  data->Release();
}

HRESULT RawDropTarget::Register(HWND wnd) {
  HRESULT hr = RegisterDragDrop(wnd, this);
  if (SUCCEEDED(hr)) FWnd = wnd;
  return hr;
}

void RawDropTarget::Revoke() {
  if (FWnd) RevokeDragDrop(FWnd);
  FWnd = nullptr;
}

IDataObject* RawDropTarget::TakeDataObject() {
  IDataObject* d = FKept;
  FKept = nullptr;
  return d;
}

const RawRead* RawDropTarget::Find(CLIPFORMAT cf) const {
  for (const RawRead& r : reads)
    if (r.cfFormat == cf && SUCCEEDED(r.hr)) return &r;
  return nullptr;
}

bool RawDropTarget::Has(CLIPFORMAT cf) const { return Find(cf) != nullptr; }

std::wstring RawDropTarget::UnicodeText() const {
  const RawRead* r = Find(CF_UNICODETEXT);
  return r ? TextOf<wchar_t>(r->bytes) : std::wstring();
}

std::string RawDropTarget::AnsiText() const {
  const RawRead* r = Find(CF_TEXT);
  return r ? TextOf<char>(r->bytes) : std::string();
}

// ---- result lines --------------------------------------------------------------------------------

std::string HexOf(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string BytesFromHex(const std::string& hex) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) break;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

std::string FormatRawResult(const RawDropTarget& t) {
  std::string out;
  auto line = [&out](const std::string& key, const std::string& value) { out += key + "=" + value + "\n"; };
  line("enters", std::to_string(t.enters.load()));
  line("overs", std::to_string(t.overs.load()));
  line("leaves", std::to_string(t.leaves.load()));
  line("drops", std::to_string(t.drops.load()));
  line("allowed", std::to_string(t.allowedAtEnter));
  line("keys", std::to_string(t.keysAtDrop));
  line("effect", std::to_string(t.dropEffect));
  line("asyncmode", t.dataAsyncMode ? "1" : "0");
  line("startedasync", t.startedAsync ? "1" : "0");
  char stored[16];
  std::snprintf(stored, sizeof stored, "%08lx", static_cast<unsigned long>(t.performedStored));
  line("performedstored", stored);
  std::string formats;
  for (const FORMATETC& fe : t.enumerated)
    formats += (formats.empty() ? "" : ",") + std::to_string(fe.cfFormat) + ":" + std::to_string(fe.tymed);
  line("enumerated", formats);
  for (const RawRead& r : t.reads) {
    std::string key = "read." + std::to_string(r.cfFormat) + "." + std::to_string(r.tymed);
    if (r.lindex != -1) key += "." + std::to_string(r.lindex);
    char hr[16];
    std::snprintf(hr, sizeof hr, "%08lx", static_cast<unsigned long>(r.hr));
    line(key + ".hr", hr);
    line(key + ".tymed", std::to_string(r.gotTymed));
    line(key + ".bytes", HexOf(r.bytes));
  }
  for (size_t i = 0; i < t.files.size(); ++i) {
    const std::string key = "file." + std::to_string(i);
    line(key + ".name", HexOf(std::string(reinterpret_cast<const char*>(t.files[i].name.data()), t.files[i].name.size() * 2)));
    line(key + ".lindex", std::to_string(t.files[i].read.lindex));
    line(key + ".bytes", SUCCEEDED(t.files[i].read.hr) ? HexOf(t.files[i].read.bytes) : "failed");
  }
  return out;
}

}  // namespace kxtest
