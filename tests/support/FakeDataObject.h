#pragma once
// A foreign application's data object, as a test double: it offers what the test lists, renders
// bytes into global memory (or whatever medium a custom renderer builds), and can lie the ways
// real applications do. Every medium it hands out carries a release tracker, so a test can check
// that the receiver released all of them.
#include <windows.h>
#include <ole2.h>

#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/ComObj.h"
#include "support/DataObjectStubs.h"

namespace kxtest {

class FakeDataObject : public DataObjectStubs<vcl::TInterfacedObjectImpl<IDataObject>> {
 public:
  // Fills the medium for a request; returns the HRESULT GetData answers.
  using Renderer = std::function<HRESULT(const FORMATETC& request, STGMEDIUM& medium)>;

  // Offers bytes of a format (by id) in global memory. The block is exactly the bytes given.
  FakeDataObject& Offer(UINT format, std::string bytes, DWORD tymed = TYMED_HGLOBAL);
  FakeDataObject& Offer(const wchar_t* formatName, std::string bytes);
  // Offers a format rendered by a callback.
  FakeDataObject& OfferRendered(UINT format, DWORD tymed, Renderer render);
  // Offers "FileContents": item lindex of the list, as a stream on global memory (TYMED_ISTREAM,
  // as browsers render it) or as global memory (TYMED_HGLOBAL); DV_E_LINDEX past the list.
  FakeDataObject& OfferFileContents(std::vector<std::string> items, DWORD tymed = TYMED_ISTREAM);
  // Claims a format in QueryGetData and EnumFormatEtc but fails GetData with hr.
  FakeDataObject& OfferBroken(UINT format, HRESULT hr = DV_E_FORMATETC, DWORD tymed = TYMED_HGLOBAL);

  int GetDataCalls() const { return FGetDataCalls; }
  // Media handed out and not yet released by the receiver.
  static int OutstandingMedia();

  STDMETHODIMP GetData(FORMATETC* request, STGMEDIUM* medium) override;
  STDMETHODIMP QueryGetData(FORMATETC* request) override;
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
  STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;

 private:
  struct Entry {
    FORMATETC fe;
    Renderer render;
  };
  const Entry* Find(const FORMATETC& request) const;
  std::vector<Entry> FEntries;
  int FGetDataCalls = 0;
};

// A source's stream over bytes (a real stream on global memory inside) with the faults foreign
// streams have: reads that deliver less than asked before the end, a read that fails partway, a
// size in Stat that is not the real one, no seeking. Made positioned at its end, as sources hand
// streams over that they have just written; counts the reads made on it.
class ScriptedStream : public vcl::TInterfacedObjectImpl<IStream> {
 public:
  explicit ScriptedStream(const std::string& bytes);
  ULONG maxRead = ULONG_MAX;             // delivered at most per Read, with S_OK
  ULONGLONG failAfter = ULLONG_MAX;      // Read answers E_FAIL once this many bytes were delivered
  std::optional<ULONGLONG> statedSize;   // what Stat says instead of the real size
  bool seekable = true;
  ULONGLONG delivered = 0;
  int reads = 0;

  STDMETHODIMP Read(void* pv, ULONG cb, ULONG* got) override;
  STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP Commit(DWORD) override { return S_OK; }
  STDMETHODIMP Revert() override { return E_NOTIMPL; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override;
  STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

 private:
  vcl::TComPtr<IStream> FInner;
};

// Renderers for OfferRendered: the stream (a new reference each time) or a storage in memory
// holding one stream of these bytes.
FakeDataObject::Renderer RenderStream(vcl::TComPtr<IStream> stream);
FakeDataObject::Renderer RenderStorage(const std::wstring& streamName, std::string bytes);

// Makes a new FakeDataObject held by one reference.
vcl::TComPtr<FakeDataObject> MakeFake();

// A global block holding exactly these bytes (GMEM_MOVEABLE).
HGLOBAL GlobalWithBytes(const std::string& bytes);
// An HDROP block (DROPFILES + double-NUL list) for the names, Unicode.
std::string HDropBytes(const std::vector<std::wstring>& names);
// A FILEGROUPDESCRIPTORA block whose first descriptor has this name.
std::string FileGroupDescriptorA(const std::string& firstName);

}  // namespace kxtest
