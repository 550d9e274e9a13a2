// TTextDataObject through its interfaces, as a foreign drop target uses it.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cstring>
#include <stdexcept>

#include "formats/KXUtil.h"
#include "framework/ComObj.h"
#include "framework/Handles.h"
#include "sources/KXTextDataObject.h"
#include "sources/KXTextSource.h"
#include "support/SetDataChecks.h"
#include "support/TestSupport.h"
#include "textsource/ApplicationExceptions.h"

using namespace kestrix;
using kxtest::Bytes;
using vcl::TComPtr;

namespace {

FORMATETC Fe(CLIPFORMAT cf, DWORD tymed = TYMED_HGLOBAL, LONG lindex = -1, DWORD aspect = DVASPECT_CONTENT) {
  return {cf, nullptr, aspect, lindex, tymed};
}

CLIPFORMAT Registered(const wchar_t* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name)); }

// What one GetData gave, with the medium already released.
struct Got {
  HRESULT hr = E_FAIL;
  DWORD tymed = 0xFFFF;
  std::string bytes;
  bool nullHandle = true;
  bool unkForReleaseNull = true;
};

Got Get(IDataObject* d, FORMATETC fe) {
  const kxtest::PoisonedGet got(d, fe);
  const STGMEDIUM& m = got.m;
  Got g{got.hr, m.tymed};
  g.nullHandle = m.hGlobal == nullptr;
  g.unkForReleaseNull = m.pUnkForRelease == nullptr;
  if (SUCCEEDED(g.hr) && m.tymed == TYMED_HGLOBAL && m.hGlobal) {
    // Fixed memory: the handle is the block's address.
    EXPECT_EQ(GlobalLock(m.hGlobal), static_cast<void*>(m.hGlobal));
    GlobalUnlock(m.hGlobal);
    g.bytes = GetHandleDataToString(m.hGlobal);
  }
  return g;
}

TComPtr<IDataObject> Adopt(TTextDataObject* created) {
  return TComPtr<IDataObject>::Attach(static_cast<IDataObject*>(created));
}

std::string Utf16(const std::wstring& s) { return EncodedAnsiStringFromUnicodeString(s); }

std::string Pointer(const void* p) { return EncodePointerToString(p); }

}  // namespace

// ---- plain text ---------------------------------------------------------------------------------

TEST(TextDataObject, RendersTextWithOneTerminatorOfItsFormat) {
  struct Case {
    std::wstring text;
    CLIPFORMAT cf;
    std::string expected;
  } cases[] = {
      {L"abc", CF_TEXT, Bytes("abc\0")},
      {L"abc", CF_UNICODETEXT, Bytes("a\0b\0c\0\0\0")},
      {L"", CF_TEXT, Bytes("\0")},
      {L"", CF_UNICODETEXT, Bytes("\0\0")},
      {L"caf\u00E9 \u4E2D", CF_TEXT, Bytes("caf\xE9 ?\0")},  // code page 1252 in the test prefix
      {L"\u4E2D", CF_UNICODETEXT, Bytes("\x2D\x4E\0\0")},
  };
  for (const Case& c : cases) {
    TKXTextSource source(nullptr);
    source.setText(c.text);
    auto data = Adopt(TTextDataObject::createEx(c.text, &source));
    Got g = Get(data.Get(), Fe(c.cf, TYMED_HGLOBAL | TYMED_ISTREAM));
    EXPECT_EQ(g.hr, S_OK);
    EXPECT_EQ(g.tymed, DWORD{TYMED_HGLOBAL});
    EXPECT_TRUE(g.unkForReleaseNull);
    EXPECT_EQ(g.bytes, c.expected) << c.cf;
    EXPECT_EQ(source.getCustomFormatIndex(), -1);
  }
}

TEST(TextDataObject, ReadsTheComponentsTextOnEveryRequest) {
  TKXTextSource source(nullptr);
  source.setText(L"first");
  auto data = Adopt(TTextDataObject::createEx(L"first", &source));
  source.setText(L"second");
  EXPECT_EQ(Get(data.Get(), Fe(CF_TEXT)).bytes, Bytes("second\0"));

  vcl::TComponent donor(nullptr);
  donor.SetName(L"Image1");  // a component of no listed class gives its name
  source.setDonorComponent(&donor);
  EXPECT_EQ(Get(data.Get(), Fe(CF_UNICODETEXT)).bytes, Utf16(L"Image1") + Bytes("\0\0"));
  donor.SetName(L"Image2");
  EXPECT_EQ(Get(data.Get(), Fe(CF_TEXT)).bytes, Bytes("Image2\0"));
  EXPECT_EQ(source.getDonorComponent(), &donor);  // plain text keeps the donor
}

TEST(TextDataObject, RefusesWhatItDoesNotOfferAndLeavesTheMediumCleared) {
  TKXTextSource source(nullptr);
  source.setText(L"abc");
  auto data = Adopt(TTextDataObject::createEx(L"abc", &source));
  const FORMATETC refused[] = {
      Fe(CF_HDROP), Fe(Registered(L"HTML Format")), Fe(CF_TEXT, TYMED_ISTREAM), Fe(CF_UNICODETEXT, TYMED_GDI),
      Fe(CF_TEXT, TYMED_HGLOBAL, -1, DVASPECT_ICON),
  };
  for (const FORMATETC& fe : refused) {
    Got g = Get(data.Get(), fe);
    EXPECT_EQ(g.hr, DV_E_FORMATETC) << fe.cfFormat << "/" << fe.tymed;
    EXPECT_EQ(g.tymed, DWORD{TYMED_NULL});
    EXPECT_TRUE(g.nullHandle);
    EXPECT_TRUE(g.unkForReleaseNull);
  }
  EXPECT_EQ(data->GetData(nullptr, nullptr), E_INVALIDARG);
}

TEST(TextDataObject, QueryGetDataAnswersSOkOrSFalse) {
  TKXTextSource source(nullptr);
  auto data = Adopt(TTextDataObject::createEx(L"", &source));
  struct Case {
    FORMATETC fe;
    HRESULT expected;
  } cases[] = {
      {Fe(CF_TEXT), S_OK},
      {Fe(CF_UNICODETEXT, DWORD(-1)), S_OK},
      {Fe(CF_UNICODETEXT, TYMED_HGLOBAL | TYMED_ISTREAM, 5), S_OK},
      {Fe(CF_TEXT, TYMED_ISTREAM), S_FALSE},
      {Fe(CF_TEXT, TYMED_HGLOBAL, -1, DVASPECT_THUMBNAIL), S_FALSE},
      {Fe(CF_HDROP), S_FALSE},
  };
  for (Case& c : cases) EXPECT_EQ(data->QueryGetData(&c.fe), c.expected) << c.fe.cfFormat << "/" << c.fe.tymed;
}

TEST(TextDataObject, EnumeratesTextThenUnicodeTextWithoutCustomFormats) {
  TKXTextSource source(nullptr);
  auto data = Adopt(TTextDataObject::createEx(L"x", &source));
  TComPtr<IEnumFORMATETC> e;
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, e.Put()), S_OK);
  FORMATETC fe[2] = {};
  ASSERT_EQ(e->Next(1, &fe[0], nullptr), S_OK);
  ASSERT_EQ(e->Next(1, &fe[1], nullptr), S_OK);
  FORMATETC extra;
  EXPECT_EQ(e->Next(1, &extra, nullptr), S_FALSE);
  const CLIPFORMAT expected[] = {CF_TEXT, CF_UNICODETEXT};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(fe[i].cfFormat, expected[i]);
    EXPECT_EQ(fe[i].ptd, nullptr);
    EXPECT_EQ(fe[i].dwAspect, DWORD{DVASPECT_CONTENT});
    EXPECT_EQ(fe[i].lindex, -1);
    EXPECT_EQ(fe[i].tymed, DWORD{TYMED_HGLOBAL});
  }
}

TEST(TextDataObject, EnumFormatEtcDirectionsAndOutPointer) {
  auto data = Adopt(TTextDataObject::Create(L"x"));
  for (auto [direction, expected] : {std::pair{DWORD{DATADIR_SET}, E_NOTIMPL}, std::pair{DWORD{3}, E_INVALIDARG}}) {
    IEnumFORMATETC* e = reinterpret_cast<IEnumFORMATETC*>(0x1234);
    EXPECT_EQ(data->EnumFormatEtc(direction, &e), expected);
    EXPECT_EQ(e, nullptr);
  }
  EXPECT_EQ(data->EnumFormatEtc(DATADIR_GET, nullptr), E_INVALIDARG);
}

TEST(TextDataObject, UnsupportedMethods) {
  auto data = Adopt(TTextDataObject::Create(L"x"));
  FORMATETC fe = Fe(CF_TEXT);
  FORMATETC out = Fe(CF_HDROP);
  EXPECT_EQ(data->GetCanonicalFormatEtc(&fe, &out), E_NOTIMPL);
  EXPECT_EQ(out.cfFormat, CF_HDROP);  // untouched

  STGMEDIUM here{};
  EXPECT_EQ(data->GetDataHere(&fe, &here), DV_E_FORMATETC);

  // SetData never replaces a format the object renders; the caller still owns (and frees) the block.
  vcl::TUniqueGlobal block(SetHandleDataFromString("keep"));
  STGMEDIUM m{};
  m.tymed = TYMED_HGLOBAL;
  m.hGlobal = block.Get();
  EXPECT_EQ(data->SetData(&fe, &m, TRUE), DV_E_FORMATETC);
  EXPECT_EQ(GetHandleDataToString(block.Get()), Bytes("keep\0"));

  DWORD connection = 7;
  EXPECT_EQ(data->DAdvise(&fe, 0, nullptr, &connection), E_NOTIMPL);
  EXPECT_EQ(data->DUnadvise(connection), E_NOTIMPL);
  IEnumSTATDATA* adviseEnum = reinterpret_cast<IEnumSTATDATA*>(0x1234);
  EXPECT_EQ(data->EnumDAdvise(&adviseEnum), E_NOTIMPL);
  EXPECT_EQ(adviseEnum, nullptr);
  EXPECT_EQ(data->EnumDAdvise(nullptr), E_NOTIMPL);
}

TEST(TextDataObject, RenderingLeavesNothingBehindOnceTheReceiverReleases) {
  auto privateBytes = [] {
    // Private bytes (Wine leaves PrivateUsage at 0 but fills PagefileUsage, which is the same).
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PagefileUsage;
  };
  TKXTextSource source(nullptr);
  source.setText(std::wstring(2u << 20, L'k'));  // 4 MiB as UTF-16
  auto data = Adopt(TTextDataObject::createEx(L"", &source));
  Get(data.Get(), Fe(CF_UNICODETEXT));  // the first rendering may set up caches
  const SIZE_T before = privateBytes();
  for (int i = 0; i < 64; ++i) {
    FORMATETC fe = Fe(i % 2 ? CF_TEXT : CF_UNICODETEXT);
    STGMEDIUM m{};
    ASSERT_EQ(data->GetData(&fe, &m), S_OK);
    ASSERT_EQ(m.pUnkForRelease, nullptr);  // the receiver frees the block itself
    ReleaseStgMedium(&m);
  }
  // 64 renderings of 2 to 4 MiB each: kept blocks would add close to 200 MiB.
  EXPECT_LT(privateBytes(), before + (32u << 20));
}

// ---- objects, references and the constructors without a component --------------------------------

TEST(TextDataObject, OneReferenceForTheCreatorAndOneIdentity) {
  const LONG before = TTextDataObject::LiveCount();
  TTextDataObject* raw = TTextDataObject::Create(L"x");
  EXPECT_EQ(TTextDataObject::LiveCount(), before + 1);
  auto data = Adopt(raw);
  EXPECT_EQ(DataObjRefCount(data.Get()), 1);
  TComPtr<IAsyncOperation> async = data.As<IAsyncOperation>();
  ASSERT_TRUE(async);
  EXPECT_EQ(DataObjRefCount(data.Get()), 2);
  EXPECT_EQ(async.As<IUnknown>().Get(), data.As<IUnknown>().Get());
  EXPECT_FALSE(data.As<IDropSource>());
  async.Reset();
  data.Reset();
  EXPECT_EQ(TTextDataObject::LiveCount(), before);
}

TEST(TextDataObject, ObjectsWithoutAComponentRenderWhatTheyWereGiven) {
  auto plain = Adopt(TTextDataObject::Create(L"own"));
  EXPECT_EQ(Get(plain.Get(), Fe(CF_TEXT)).bytes, Bytes("own\0"));
  EXPECT_EQ(Get(plain.Get(), Fe(CF_UNICODETEXT)).bytes, Utf16(L"own") + Bytes("\0\0"));

  vcl::TComponent form(nullptr);
  auto owned = Adopt(TTextDataObject::createWithOwner(L"form text", &form));
  EXPECT_EQ(Get(owned.Get(), Fe(CF_TEXT)).bytes, Bytes("form text\0"));

  TCustomFormatDataList list;
  list.AddFormat(L"Kestrix Test Format", std::string("listed"));
  auto listed = Adopt(TTextDataObject::createWithFormats(&list));
  EXPECT_EQ(Get(listed.Get(), Fe(Registered(L"Kestrix Test Format"))).bytes, Bytes("listed\0"));
  EXPECT_EQ(Get(listed.Get(), Fe(CF_TEXT)).hr, DV_E_FORMATETC);
  FORMATETC text = Fe(CF_TEXT);
  EXPECT_EQ(listed->QueryGetData(&text), S_FALSE);
  // An empty item without a component has nobody to ask for content.
  list.AddFormatEx(L"Kestrix Empty Format", std::string(), TYMED_HGLOBAL, 0);
  list.Items(1)->setAllowTrailingNull(false);
  Got empty = Get(listed.Get(), Fe(Registered(L"Kestrix Empty Format")));
  EXPECT_EQ(empty.hr, S_OK);
  EXPECT_TRUE(empty.nullHandle);
}

// ---- custom formats ------------------------------------------------------------------------------

class CustomFormats : public testing::Test {
 protected:
  CustomFormats() : data(Adopt(TTextDataObject::createExWithFormats(source.getCustomFormatData(), &source))) {}
  TCustomFormatDataList& list() { return *source.getCustomFormatData(); }
  TKXTextSource source{nullptr};
  TComPtr<IDataObject> data;
};

TEST_F(CustomFormats, ReplaceThePlainText) {
  list().AddFormat(L"Kestrix Test Format", std::string("x"));
  EXPECT_EQ(Get(data.Get(), Fe(CF_TEXT)).hr, DV_E_FORMATETC);
  EXPECT_EQ(Get(data.Get(), Fe(CF_UNICODETEXT)).hr, DV_E_FORMATETC);
  FORMATETC text = Fe(CF_TEXT);
  EXPECT_EQ(data->QueryGetData(&text), S_FALSE);

  list().AddFormatEx(L"2", std::string(), TYMED_GDI, 4);
  TComPtr<IEnumFORMATETC> e;
  ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, e.Put()), S_OK);
  FORMATETC fe{};
  ASSERT_EQ(e->Next(1, &fe, nullptr), S_OK);
  EXPECT_EQ(fe.cfFormat, Registered(L"Kestrix Test Format"));
  EXPECT_EQ(fe.lindex, 0);
  ASSERT_EQ(e->Next(1, &fe, nullptr), S_OK);
  EXPECT_EQ(fe.cfFormat, CF_BITMAP);
  EXPECT_EQ(fe.tymed, DWORD{TYMED_GDI});
  EXPECT_EQ(fe.lindex, 4);
  EXPECT_EQ(e->Next(1, &fe, nullptr), S_FALSE);
}

TEST_F(CustomFormats, GlobalMemoryBytesAndTrailingNull) {
  list().AddFormat(L"Kestrix A", std::string("hello"));                              // trailing null
  list().AddFormat(L"Kestrix B", std::string("hello"));                              // switched off below
  list().AddFormatEx(L"Kestrix C", std::string("hello"), TYMED_HGLOBAL | TYMED_ISTREAM, 0);
  list().AddFormat(L"Kestrix D", Bytes("\x01\x80\x81\x8D\x8F\x90\x9D\xFF\0z"));     // bytes as stored
  list().AddFormat(L"13", std::wstring(L"wide"));                                    // Unicode text item
  list().Items(1)->setAllowTrailingNull(false);
  struct Case {
    FORMATETC fe;
    std::string expected;
  } cases[] = {
      {Fe(Registered(L"Kestrix A")), Bytes("hello\0")},
      {Fe(Registered(L"Kestrix B")), "hello"},
      {Fe(Registered(L"Kestrix C"), TYMED_HGLOBAL | TYMED_ISTREAM), "hello"},
      {Fe(Registered(L"Kestrix D")), Bytes("\x01\x80\x81\x8D\x8F\x90\x9D\xFF\0z\0")},
      // A Unicode item ends in a whole zero code unit.
      {Fe(CF_UNICODETEXT), Utf16(L"wide") + Bytes("\0\0")},
  };
  for (const Case& c : cases) {
    Got g = Get(data.Get(), c.fe);
    EXPECT_EQ(g.hr, S_OK) << c.fe.cfFormat;
    EXPECT_EQ(g.tymed, DWORD{TYMED_HGLOBAL});
    EXPECT_EQ(g.bytes, c.expected) << c.fe.cfFormat;
  }
  // An item offered on two media matches only a request that takes both.
  EXPECT_EQ(Get(data.Get(), Fe(Registered(L"Kestrix C"))).hr, DV_E_FORMATETC);
}

TEST_F(CustomFormats, RenderingReportsToTheComponent) {
  vcl::TComponent donor(nullptr);
  source.setDonorComponent(&donor);
  list().AddFormat(L"Kestrix A", std::string("alpha"));
  list().AddFormat(L"Kestrix B", std::string("beta"));
  EXPECT_EQ(source.getCustomFormatIndex(), 0);  // nothing rendered yet
  EXPECT_EQ(Get(data.Get(), Fe(Registered(L"Kestrix B"))).hr, S_OK);
  EXPECT_EQ(source.getCustomFormatIndex(), 1);
  EXPECT_EQ(source.getText(), L"beta");
  EXPECT_EQ(source.getDonorComponent(), nullptr);
  EXPECT_EQ(Get(data.Get(), Fe(CF_HDROP)).hr, DV_E_FORMATETC);
  EXPECT_EQ(source.getCustomFormatIndex(), -1);
  // The aspect is checked after the match has been recorded.
  EXPECT_EQ(Get(data.Get(), Fe(Registered(L"Kestrix A"), TYMED_HGLOBAL, -1, DVASPECT_ICON)).hr, DV_E_FORMATETC);
  EXPECT_EQ(source.getCustomFormatIndex(), 0);
  EXPECT_EQ(source.getText(), L"alpha");
}

TEST_F(CustomFormats, LindexMatching) {
  list().AddFormatEx(L"Kestrix Same", std::string("zero"), TYMED_HGLOBAL, 0);
  list().AddFormatEx(L"Kestrix Same", std::string("three"), TYMED_HGLOBAL, 3);
  const CLIPFORMAT cf = Registered(L"Kestrix Same");
  EXPECT_EQ(Get(data.Get(), Fe(cf, TYMED_HGLOBAL, -1)).bytes, Bytes("zero\0"));  // the first item
  EXPECT_EQ(Get(data.Get(), Fe(cf, TYMED_HGLOBAL, 3)).bytes, Bytes("three\0"));
  EXPECT_EQ(Get(data.Get(), Fe(cf, TYMED_HGLOBAL, 0)).bytes, Bytes("zero\0"));
  EXPECT_EQ(Get(data.Get(), Fe(cf, TYMED_HGLOBAL, 2)).hr, DV_E_FORMATETC);
  FORMATETC any = Fe(cf, DWORD(-1), 3);
  EXPECT_EQ(data->QueryGetData(&any), S_OK);
  FORMATETC none = Fe(cf, TYMED_HGLOBAL, 2);
  EXPECT_EQ(data->QueryGetData(&none), S_FALSE);
}

TEST_F(CustomFormats, EmptyContentIsAskedForOnceAndThenKept) {
  list().AddFormatEx(L"Kestrix Lazy", std::string(), TYMED_HGLOBAL, 0);
  list().AddFormatEx(L"Kestrix Nothing", std::string(), TYMED_HGLOBAL, 0);
  list().Items(1)->setAllowTrailingNull(false);
  int asked = 0;
  source.setOnRenderCustomFormat([&](TObject* sender, const std::wstring& name, std::wstring& content) {
    EXPECT_EQ(sender, &source);
    ++asked;
    if (name == L"Kestrix Lazy") content = L"made on demand";
  });
  const CLIPFORMAT lazy = Registered(L"Kestrix Lazy");
  EXPECT_EQ(Get(data.Get(), Fe(lazy)).bytes, Bytes("made on demand\0"));
  EXPECT_EQ(Get(data.Get(), Fe(lazy)).bytes, Bytes("made on demand\0"));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(list().Items(0)->getContent(), "made on demand");

  // A handler that leaves the content empty is asked again next time; without a terminator the
  // empty item renders as a null block.
  Got g = Get(data.Get(), Fe(Registered(L"Kestrix Nothing")));
  EXPECT_EQ(g.hr, S_OK);
  EXPECT_EQ(g.tymed, DWORD{TYMED_HGLOBAL});
  EXPECT_TRUE(g.nullHandle);
  Get(data.Get(), Fe(Registered(L"Kestrix Nothing")));
  EXPECT_EQ(asked, 3);
}

TEST_F(CustomFormats, AHandlerThatEmptiesTheListGetsNoStaleItem) {
  list().AddFormatEx(L"Kestrix Lazy", std::string(), TYMED_HGLOBAL, 0);
  source.setOnRenderCustomFormat([&](TObject*, const std::wstring&, std::wstring& content) {
    list().Clear();
    content = L"late";
  });
  EXPECT_EQ(Get(data.Get(), Fe(Registered(L"Kestrix Lazy"))).hr, DV_E_FORMATETC);
}

TEST_F(CustomFormats, AHandlerExceptionOutsideADragGoesToTheApplication) {
  ApplicationExceptions caught;
  list().AddFormatEx(L"Kestrix Lazy", std::string(), TYMED_HGLOBAL, 0);
  source.setOnRenderCustomFormat([](TObject*, const std::wstring&, std::wstring&) { throw std::runtime_error("x"); });
  Got g = Get(data.Get(), Fe(Registered(L"Kestrix Lazy")));
  EXPECT_EQ(g.hr, E_UNEXPECTED);
  EXPECT_EQ(g.tymed, DWORD{TYMED_NULL});
  source.setOnRenderCustomFormat([](TObject*, const std::wstring&, std::wstring&) { throw std::bad_alloc(); });
  EXPECT_EQ(Get(data.Get(), Fe(Registered(L"Kestrix Lazy"))).hr, E_OUTOFMEMORY);
  ASSERT_EQ(caught.messages.size(), 2u);
  EXPECT_EQ(caught.messages[0], "x");

  // The end of an asynchronous drop comes after Execute has returned.
  source.setOnEndAsyncOperation([](TObject*) { throw std::runtime_error("late"); });
  auto async = data.As<IAsyncOperation>();
  async->StartOperation(nullptr);
  EXPECT_EQ(async->EndOperation(S_OK, nullptr, DROPEFFECT_COPY), E_UNEXPECTED);
  BOOL inOperation = TRUE;
  async->InOperation(&inOperation);
  EXPECT_FALSE(inOperation);
  EXPECT_EQ(caught.messages.back(), "late");
}

// ---- custom formats on other media ------------------------------------------------------------------

TEST_F(CustomFormats, StreamsAndStoragesAreHandedOutWithAReference) {
  TComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
  ULONG written = 0;
  stream->Write("streamed", 8, &written);
  TComPtr<ILockBytes> bytes;
  ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.Put()), S_OK);
  TComPtr<IStorage> storage;
  ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                         storage.Put()),
            S_OK);
  TComPtr<IStream> inner;
  ASSERT_EQ(storage->CreateStream(L"inner", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, inner.Put()),
            S_OK);

  list().AddFormatEx(L"Kestrix Stream", Pointer(stream.Get()), TYMED_ISTREAM, 0);
  list().AddFormatEx(L"Kestrix Storage", Pointer(storage.Get()), TYMED_ISTORAGE, 0);
  // Offered as either: the medium names the one interface it carries.
  list().AddFormatEx(L"Kestrix Either", Pointer(storage.Get()), TYMED_ISTREAM | TYMED_ISTORAGE, 0);

  const int streamRefs = DataObjRefCount(stream.Get());
  FORMATETC fe = Fe(Registered(L"Kestrix Stream"), TYMED_ISTREAM);
  STGMEDIUM m{};
  ASSERT_EQ(data->GetData(&fe, &m), S_OK);
  EXPECT_EQ(m.tymed, DWORD{TYMED_ISTREAM});
  EXPECT_EQ(m.pstm, stream.Get());
  EXPECT_EQ(m.pUnkForRelease, nullptr);
  EXPECT_EQ(DataObjRefCount(stream.Get()), streamRefs + 1);
  STATSTG st{};
  m.pstm->Stat(&st, STATFLAG_NONAME);
  EXPECT_EQ(st.cbSize.QuadPart, 8u);
  ReleaseStgMedium(&m);
  EXPECT_EQ(DataObjRefCount(stream.Get()), streamRefs);

  for (const wchar_t* name : {L"Kestrix Storage", L"Kestrix Either"}) {
    const int storageRefs = DataObjRefCount(storage.Get());
    fe = Fe(Registered(name), TYMED_ISTREAM | TYMED_ISTORAGE);
    ASSERT_EQ(data->GetData(&fe, &m), S_OK) << name;
    EXPECT_EQ(m.tymed, DWORD{TYMED_ISTORAGE});
    EXPECT_EQ(DataObjRefCount(storage.Get()), storageRefs + 1);
    TComPtr<IEnumSTATSTG> elements;
    ASSERT_EQ(m.pstg->EnumElements(0, nullptr, 0, elements.Put()), S_OK);
    ASSERT_EQ(elements->Next(1, &st, nullptr), S_OK);
    EXPECT_STREQ(st.pwcsName, L"inner");
    CoTaskMemFree(st.pwcsName);
    elements.Reset();
    ReleaseStgMedium(&m);
    EXPECT_EQ(DataObjRefCount(storage.Get()), storageRefs);
  }
}

TEST_F(CustomFormats, BitmapsPalettesAndMetafilesGoOutAsCopies) {
  vcl::TUniqueBitmap bitmap(CreateBitmap(7, 5, 1, 32, nullptr));
  std::vector<unsigned char> buffer(sizeof(LOGPALETTE) + 2 * sizeof(PALETTEENTRY));
  auto* log = reinterpret_cast<LOGPALETTE*>(buffer.data());
  log->palVersion = 0x300;
  log->palNumEntries = 2;
  log->palPalEntry[1] = {10, 20, 30, 0};
  vcl::TUniquePalette palette(CreatePalette(log));
  HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  Rectangle(recorder, 0, 0, 10, 10);
  vcl::TUniqueEnhMetaFile metafile(CloseEnhMetaFile(recorder));
  ASSERT_TRUE(bitmap && palette && metafile);

  list().AddFormatEx(L"2", Pointer(bitmap.Get()), TYMED_GDI, 0);
  list().AddFormatEx(L"Kestrix Bitmap", Pointer(bitmap.Get()), TYMED_GDI, 0);
  list().AddFormatEx(L"9", Pointer(palette.Get()), TYMED_GDI, 0);
  list().AddFormatEx(L"14", Pointer(metafile.Get()), TYMED_ENHMF, 0);
  list().AddFormatEx(L"Kestrix Picture", Pointer(metafile.Get()), TYMED_ENHMF, 0);

  for (const wchar_t* name : {L"2", L"Kestrix Bitmap", L"9"}) {
    FORMATETC fe = Fe(static_cast<CLIPFORMAT>(ClipboardFormatFromString(name)), TYMED_GDI);
    STGMEDIUM m{};
    ASSERT_EQ(data->GetData(&fe, &m), S_OK) << name;
    EXPECT_EQ(m.tymed, DWORD{TYMED_GDI});
    EXPECT_NE(m.hBitmap, nullptr);
    EXPECT_NE(static_cast<HGDIOBJ>(m.hBitmap), bitmap.Get());
    EXPECT_NE(static_cast<HGDIOBJ>(m.hBitmap), palette.Get());
    if (std::wstring(name) == L"9") {
      PALETTEENTRY entry{};
      EXPECT_EQ(GetPaletteEntries(reinterpret_cast<HPALETTE>(m.hBitmap), 1, 1, &entry), 1u);
      EXPECT_EQ(entry.peGreen, 20);
    } else {
      BITMAP bm{};
      ASSERT_TRUE(GetObjectW(m.hBitmap, sizeof bm, &bm));
      EXPECT_EQ(bm.bmWidth, 7);
      EXPECT_EQ(bm.bmHeight, 5);
    }
    ReleaseStgMedium(&m);  // deletes the copy only
  }
  BITMAP bm{};
  EXPECT_TRUE(GetObjectW(bitmap.Get(), sizeof bm, &bm));
  EXPECT_EQ(GetPaletteEntries(palette.Get(), 0, 0, nullptr), 2u);

  for (const wchar_t* name : {L"14", L"Kestrix Picture"}) {
    FORMATETC fe = Fe(static_cast<CLIPFORMAT>(ClipboardFormatFromString(name)), TYMED_ENHMF);
    STGMEDIUM m{};
    ASSERT_EQ(data->GetData(&fe, &m), S_OK) << name;
    EXPECT_EQ(m.tymed, DWORD{TYMED_ENHMF});
    EXPECT_NE(m.hEnhMetaFile, metafile.Get());
    ENHMETAHEADER copy{}, original{};
    GetEnhMetaFileHeader(m.hEnhMetaFile, sizeof copy, &copy);
    ReleaseStgMedium(&m);
    ASSERT_TRUE(GetEnhMetaFileHeader(metafile.Get(), sizeof original, &original));
    EXPECT_EQ(copy.nRecords, original.nRecords);
  }
}

TEST_F(CustomFormats, HandlePathRefusesWhatHoldsNoUsableHandle) {
  vcl::TUniqueBitmap bitmap(CreateBitmap(2, 2, 1, 32, nullptr));
  TComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
  struct Case {
    const wchar_t* name;
    std::string content;
    LONG tymed;
  } cases[] = {
      {L"Kestrix Short", Pointer(bitmap.Get()).substr(0, sizeof(void*) - 1), TYMED_GDI},  // shorter than a pointer
      {L"Kestrix Empty", std::string(), TYMED_ISTREAM},
      {L"Kestrix Null", Pointer(nullptr), TYMED_ISTREAM},
      {L"Kestrix NotAStorage", Pointer(stream.Get()), TYMED_ISTORAGE},
      {L"Kestrix NotAMetafile", Pointer(bitmap.Get()), TYMED_ENHMF},
      {L"Kestrix NotABitmap", Pointer(reinterpret_cast<void*>(0x1234)), TYMED_GDI},
      {L"Kestrix File", Pointer(bitmap.Get()), TYMED_FILE},
      {L"Kestrix Pict", Pointer(bitmap.Get()), TYMED_MFPICT},
  };
  for (const Case& c : cases) list().AddFormatEx(c.name, c.content, c.tymed, 0);
  for (const Case& c : cases) {
    Got g = Get(data.Get(), Fe(Registered(c.name), static_cast<DWORD>(c.tymed)));
    EXPECT_EQ(g.hr, DV_E_FORMATETC) << c.name;
    EXPECT_EQ(g.tymed, DWORD{TYMED_NULL});
    EXPECT_TRUE(g.nullHandle);
  }
}

// ---- asynchronous operation -------------------------------------------------------------------------

TEST(TextDataObject, AsynchronousOperationReportsToTheComponent) {
  TKXTextSource source(nullptr);
  int started = 0, ended = 0;
  source.setOnStartAsyncOperation([&](TObject* s) { EXPECT_EQ(s, &source); ++started; });
  source.setOnEndAsyncOperation([&](TObject* s) { EXPECT_EQ(s, &source); ++ended; });
  auto data = Adopt(TTextDataObject::createEx(L"x", &source));
  auto async = data.As<IAsyncOperation>();
  ASSERT_TRUE(async);

  BOOL value = 5;
  EXPECT_EQ(async->GetAsyncMode(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(async->SetAsyncMode(1), S_OK);
  EXPECT_EQ(async->GetAsyncMode(&value), S_OK);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(async->InOperation(&value), S_OK);
  EXPECT_EQ(value, 0);

  EXPECT_EQ(async->StartOperation(nullptr), S_OK);
  EXPECT_EQ(async->InOperation(&value), S_OK);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(started, 1);
  EXPECT_EQ(ended, 0);
  EXPECT_EQ(async->EndOperation(E_FAIL, nullptr, DROPEFFECT_MOVE), S_OK);
  EXPECT_EQ(async->InOperation(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(source.getReturnedEffect(), deNone);  // the end's effect is not taken over
  EXPECT_EQ(async->SetAsyncMode(0), S_OK);
  EXPECT_EQ(async->GetAsyncMode(&value), S_OK);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(async->GetAsyncMode(nullptr), E_INVALIDARG);
}

TEST(TextDataObject, OutlivesItsComponentAndKeepsRenderingWhatItOffered) {
  TComPtr<IDataObject> text, custom;
  int ended = 0;
  {
    TKXTextSource textSource(nullptr), customSource(nullptr);
    textSource.setText(L"last words");
    text = Adopt(TTextDataObject::createEx(L"", &textSource));
    customSource.setOnEndAsyncOperation([&](TObject*) { ++ended; });
    customSource.getCustomFormatData()->AddFormat(L"Kestrix Test Format", std::string("kept"));
    custom = Adopt(TTextDataObject::createExWithFormats(customSource.getCustomFormatData(), &customSource));
    custom.As<IAsyncOperation>()->StartOperation(nullptr);
  }
  // The source is gone: the object neither reaches it nor stops answering.
  EXPECT_EQ(custom.As<IAsyncOperation>()->EndOperation(S_OK, nullptr, DROPEFFECT_COPY), S_OK);
  EXPECT_EQ(ended, 0);
  EXPECT_EQ(Get(custom.Get(), Fe(Registered(L"Kestrix Test Format"))).bytes, Bytes("kept\0"));
  EXPECT_EQ(Get(custom.Get(), Fe(CF_TEXT)).hr, DV_E_FORMATETC);
  EXPECT_EQ(Get(text.Get(), Fe(CF_TEXT)).bytes, Bytes("last words\0"));
}

TEST(TextDataObject, KeepsWhatOthersStoreThroughSetData) {
  kxtest::CheckSetDataProtocol(TTextDataObject::Create(L"own text"), CF_UNICODETEXT);
  TCustomFormatDataList list;
  list.AddFormat(L"Kestrix Own Format", "custom");
  kxtest::CheckSetDataProtocol(TTextDataObject::createWithFormats(&list),
                               static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Kestrix Own Format")));
}
