#include "support/SetDataChecks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kxtest {

namespace {

// Stands for a medium's owner: ReleaseStgMedium releases it instead of freeing the handle, so
// the count shows whether the receiver let go of the medium.
class TReleaseCounter : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = riid == IID_IUnknown ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override {
    ++released;
    return 1;
  }
  int released = 0;
};

HGLOBAL Block(const std::string& bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
  GlobalUnlock(h);
  return h;
}

std::string Read(IDataObject* data, CLIPFORMAT cf, DWORD tymed = TYMED_HGLOBAL) {
  FORMATETC fe{cf, nullptr, DVASPECT_CONTENT, -1, tymed};
  STGMEDIUM m{};
  if (data->GetData(&fe, &m) != S_OK) return "<none>";
  std::string bytes;
  if (m.tymed == TYMED_HGLOBAL) {
    bytes.assign(static_cast<const char*>(GlobalLock(m.hGlobal)), GlobalSize(m.hGlobal));
    GlobalUnlock(m.hGlobal);
  } else if (m.tymed == TYMED_ISTREAM) {
    LARGE_INTEGER zero{};
    m.pstm->Seek(zero, STREAM_SEEK_SET, nullptr);
    char buffer[64];
    ULONG n = 0;
    while (m.pstm->Read(buffer, sizeof buffer, &n) == S_OK && n) bytes.append(buffer, n);
  }
  ReleaseStgMedium(&m);
  return bytes;
}

std::vector<CLIPFORMAT> Enumerated(IDataObject* data) {
  std::vector<CLIPFORMAT> formats;
  IEnumFORMATETC* e = nullptr;
  if (data->EnumFormatEtc(DATADIR_GET, &e) != S_OK || !e) return formats;
  FORMATETC fe;
  while (e->Next(1, &fe, nullptr) == S_OK) formats.push_back(fe.cfFormat);
  e->Release();
  return formats;
}

HRESULT Set(IDataObject* data, CLIPFORMAT cf, STGMEDIUM& m, BOOL release) {
  FORMATETC fe{cf, nullptr, DVASPECT_CONTENT, -1, m.tymed};
  return data->SetData(&fe, &m, release);
}

}  // namespace

void CheckSetDataProtocol(IDataObject* Data, CLIPFORMAT Own) {
  const CLIPFORMAT bits = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"DragImageBits"));
  const CLIPFORMAT description = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"DropDescription"));
  const CLIPFORMAT context = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"DragContext"));
  const std::vector<CLIPFORMAT> own = Enumerated(Data);
  const std::string ownBytes = Read(Data, Own);

  // Taken (fRelease): the object owns the block and its owner from now on.
  TReleaseCounter first, second;
  HGLOBAL firstBlock = Block("first image");
  STGMEDIUM m{TYMED_HGLOBAL, {}, &first};
  m.hGlobal = firstBlock;
  ASSERT_EQ(Set(Data, bits, m, TRUE), S_OK);
  EXPECT_EQ(Read(Data, bits), "first image");
  FORMATETC query{bits, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  EXPECT_EQ(Data->QueryGetData(&query), S_OK);

  // Replaced by a second SetData of the format, which releases the first medium.
  HGLOBAL secondBlock = Block("second image");
  m = {TYMED_HGLOBAL, {}, &second};
  m.hGlobal = secondBlock;
  ASSERT_EQ(Set(Data, bits, m, TRUE), S_OK);
  EXPECT_EQ(first.released, 1);
  EXPECT_EQ(Read(Data, bits), "second image");

  // Copied (no fRelease): the caller's block stays the caller's and may go at once.
  HGLOBAL copied = Block("copy me");
  m = {TYMED_HGLOBAL, {}, nullptr};
  m.hGlobal = copied;
  ASSERT_EQ(Set(Data, description, m, FALSE), S_OK);
  GlobalFree(copied);
  EXPECT_EQ(Read(Data, description), "copy me");

  // A stream, kept by a reference of the object's own.
  IStream* stream = nullptr;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  stream->Write("streamed", 8, nullptr);
  m = {TYMED_ISTREAM, {}, nullptr};
  m.pstm = stream;
  ASSERT_EQ(Set(Data, context, m, FALSE), S_OK);
  EXPECT_EQ(Read(Data, context, TYMED_ISTREAM), "streamed");

  // Never over the object's own formats; never on media it cannot keep. The caller keeps those.
  TReleaseCounter refused;
  HGLOBAL foreign = Block("not yours");
  m = {TYMED_HGLOBAL, {}, &refused};
  m.hGlobal = foreign;
  EXPECT_EQ(Set(Data, Own, m, TRUE), DV_E_FORMATETC);
  EXPECT_EQ(Read(Data, Own), ownBytes);
  m = {TYMED_GDI, {}, &refused};
  EXPECT_EQ(Set(Data, static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Kestrix GDI")), m, TRUE), DV_E_TYMED);
  EXPECT_EQ(refused.released, 0);
  GlobalFree(foreign);

  // Offered after the object's own, in the order first set.
  std::vector<CLIPFORMAT> expected = own;
  expected.insert(expected.end(), {bits, description, context});
  EXPECT_EQ(Enumerated(Data), expected);

  EXPECT_EQ(Data->Release(), 0u);
  EXPECT_EQ(second.released, 1);
  EXPECT_EQ(stream->Release(), 0u);  // the object's reference went with it
  GlobalFree(firstBlock);
  GlobalFree(secondBlock);
}

PoisonedGet::PoisonedGet(IDataObject* Data, FORMATETC Fe) {
  std::memset(&m, 0xCC, sizeof m);
  hr = Data->GetData(&Fe, &m);
}

PoisonedGet::~PoisonedGet() {
  if (SUCCEEDED(hr)) ReleaseStgMedium(&m);
}

}  // namespace kxtest
