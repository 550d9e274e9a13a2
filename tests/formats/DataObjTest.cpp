// Format and medium names, format lists and single formats of data objects that may lie.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "formats/KXUtil.h"
#include "formats/PeerDataObject.h"
#include "framework/Handles.h"
#include "vocabulary/KXEnum.h"

using namespace kestrix;
using kxtest::TReleaseCounter;
using kxtest::TScriptedDataObject;
using vcl::TComPtr;

namespace {

const wchar_t* const kTestFormat = L"Kestrix Test Format";

std::vector<std::wstring> Lines(vcl::TStringList* list) {
  std::unique_ptr<vcl::TStringList> owned(list);
  std::vector<std::wstring> lines;
  for (int i = 0; i < owned->Count(); ++i) lines.push_back(owned->Strings(i));
  return lines;
}

FORMATETC Fe(UINT cf, DWORD tymed = TYMED_HGLOBAL, LONG lindex = -1, DWORD aspect = DVASPECT_CONTENT) {
  return {static_cast<CLIPFORMAT>(cf), nullptr, aspect, lindex, tymed};
}

TComPtr<TScriptedDataObject> NewObject() { return TComPtr<TScriptedDataObject>::Attach(new TScriptedDataObject); }

// A data object that enumerates exactly these entries.
TComPtr<TScriptedDataObject> Offering(std::vector<FORMATETC> entries) {
  auto object = NewObject();
  object->OnEnumFormatEtc = [entries](IEnumFORMATETC** result) {
    auto* e = new TKXEnumFormatEtc();
    for (const auto& fe : entries) e->addFormatEtc(fe);
    return e->QueryInterface(IID_IEnumFORMATETC, reinterpret_cast<void**>(result));
  };
  return object;
}

// Answers every GetData with the given medium (released through counter) and hr. A stream or
// storage comes with a reference of its own, as ReleaseStgMedium releases it in any case.
TComPtr<TScriptedDataObject> Answering(STGMEDIUM medium, TReleaseCounter& counter, HRESULT hr = S_OK) {
  auto object = NewObject();
  medium.pUnkForRelease = &counter;
  object->OnGetData = [medium, hr](const FORMATETC&, STGMEDIUM& out) {
    out = medium;
    if ((medium.tymed == TYMED_ISTREAM || medium.tymed == TYMED_ISTORAGE) && medium.pstm) medium.pstm->AddRef();
    return hr;
  };
  return object;
}

STGMEDIUM Medium(DWORD tymed, void* handle) {
  STGMEDIUM m{};
  m.tymed = tymed;
  m.hGlobal = static_cast<HGLOBAL>(handle);  // the union's members share their storage
  return m;
}

void ExpectOneShotReset() {
  EXPECT_EQ(DataObjectTymed, TYMED_HGLOBAL);
  EXPECT_EQ(DataObjectLindex, -1);
}

}  // namespace

TEST(FormatNames, StandardRegisteredAndUnknownIds) {
  UINT registered = RegisterClipboardFormatW(kTestFormat);
  std::wstring longName(255, L'k');
  UINT longId = RegisterClipboardFormatW(longName.c_str());
  const struct {
    int id;
    std::wstring name;
  } cases[] = {
      {1, L"CF_TEXT"},          {2, L"CF_BITMAP"},     {3, L"CF_METAFILEPICT"}, {8, L"CF_DIB"},
      {13, L"CF_UNICODETEXT"},  {14, L"CF_ENHMETAFILE"}, {15, L"CF_HDROP"},     {16, L"CF_LOCALE"},
      {17, L""},                {0, L""},              {-3, L""},               {CF_DSPTEXT, L""},
      {int(registered), kTestFormat}, {int(longId), longName},  // a name at the atom limit stays whole
  };
  for (const auto& c : cases) EXPECT_EQ(ClipboardFormatDisplayName(c.id), c.name) << c.id;
  EXPECT_EQ(ClipboardFormatFromString(ClipboardFormatDisplayName(int(longId))), longId);
}

TEST(FormatNames, StorageMedia) {
  const struct {
    int tymed;
    const wchar_t* name;
  } cases[] = {
      {0, L"TYMED_NULL"},
      {1, L"TYMED_HGLOBAL"},
      {5, L"TYMED_HGLOBAL+TYMED_ISTREAM"},
      {96, L"TYMED_MFPICT+TYMED_ENHMF"},
      {129, L"TYMED_HGLOBAL"},  // bits above the seven are ignored when a known bit is set
      {128, L"128"},
      {256, L"256"},
      {127, L"TYMED_HGLOBAL+TYMED_FILE+TYMED_ISTREAM+TYMED_ISTORAGE+TYMED_GDI+TYMED_MFPICT+TYMED_ENHMF"},
      {-1, L"TYMED_HGLOBAL+TYMED_FILE+TYMED_ISTREAM+TYMED_ISTORAGE+TYMED_GDI+TYMED_MFPICT+TYMED_ENHMF"},
      {-128, L"-128"},
  };
  for (const auto& c : cases) EXPECT_EQ(StorageMediumDisplayName(c.tymed), c.name) << c.tymed;
}

TEST(FormatLists, LinesFollowTheEnumeratorAndTheFormatListStopsAtIdZero) {
  UINT registered = RegisterClipboardFormatW(kTestFormat);
  auto object = Offering({Fe(CF_UNICODETEXT), Fe(registered, TYMED_HGLOBAL | TYMED_ISTREAM, 0), Fe(CF_HDROP),
                          Fe(CF_UNICODETEXT, TYMED_ISTREAM, 2, DVASPECT_THUMBNAIL), Fe(CF_DSPTEXT), Fe(0, 0),
                          Fe(CF_TEXT)});
  EXPECT_EQ(Lines(DataObjFormatList(object.Get())),
            (std::vector<std::wstring>{L"13", kTestFormat, L"15", L"13", L""}));
  EXPECT_EQ(Lines(DataObjFormatEtcList(object.Get())),
            (std::vector<std::wstring>{
                L"\"CF_UNICODETEXT\",13,TYMED_HGLOBAL,1,-1",
                L"\"" + std::wstring(kTestFormat) + L"\"," + std::to_wstring(registered) +
                    L",TYMED_HGLOBAL+TYMED_ISTREAM,1,0",
                L"\"CF_HDROP\",15,TYMED_HGLOBAL,1,-1",
                L"\"CF_UNICODETEXT\",13,TYMED_ISTREAM,2,2",
                L"\"\",129,TYMED_HGLOBAL,1,-1",
                L"\"\",0,TYMED_NULL,1,-1",
                L"\"CF_TEXT\",1,TYMED_HGLOBAL,1,-1",
            }));
}

TEST(FormatLists, NoEnumeratorGivesEmptyLists) {
  auto failing = NewObject();
  failing->OnEnumFormatEtc = [](IEnumFORMATETC**) { return E_FAIL; };
  auto nullEnumerator = NewObject();
  nullEnumerator->OnEnumFormatEtc = [](IEnumFORMATETC** result) {
    *result = nullptr;
    return S_OK;
  };
  auto nothingFetched = NewObject();  // S_OK, yet it says it fetched nothing
  nothingFetched->OnEnumFormatEtc = [](IEnumFORMATETC** result) {
    *result = new kxtest::TEndlessEnum(Fe(CF_TEXT), 0);
    (*result)->AddRef();
    return S_OK;
  };
  for (IDataObject* object : {static_cast<IDataObject*>(nullptr), static_cast<IDataObject*>(failing.Get()),
                              static_cast<IDataObject*>(nullEnumerator.Get()),
                              static_cast<IDataObject*>(nothingFetched.Get())}) {
    EXPECT_TRUE(Lines(DataObjFormatList(object)).empty());
    EXPECT_TRUE(Lines(DataObjFormatEtcList(object)).empty());
  }
}

TEST(FormatLists, AnEnumeratorThatNeverEndsIsCutOffAtTenThousand) {
  auto endless = TComPtr<kxtest::TEndlessEnum>(new kxtest::TEndlessEnum(Fe(CF_TEXT)));
  auto object = NewObject();
  object->OnEnumFormatEtc = [&endless](IEnumFORMATETC** result) {
    *result = endless.Get();
    endless->AddRef();
    return S_OK;
  };
  EXPECT_EQ(Lines(DataObjFormatList(object.Get())).size(), 10000u);
  EXPECT_EQ(endless->Calls, 10000);
  EXPECT_EQ(Lines(DataObjFormatEtcList(object.Get())).size(), 10000u);
  EXPECT_EQ(DataObjRefCount(endless.Get()), 1);  // both walks released the enumerator
  EXPECT_EQ(DataObjRefCount(nullptr), 0);
}

// Every path of both functions leaves the one-shot settings at TYMED_HGLOBAL and -1.
TEST(OneShot, SettingsAreResetOnEveryPath) {
  auto answering = NewObject();
  answering->OnQueryGetData = [](const FORMATETC&) { return S_OK; };
  answering->OnGetData = [](const FORMATETC&, STGMEDIUM& m) {
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = SetHandleDataFromString("x");
    return S_OK;
  };
  auto refusing = NewObject();  // the default answers: DV_E_FORMATETC
  const struct {
    const char* path;
    IDataObject* object;
    const wchar_t* name;
  } cases[] = {
      {"null object", nullptr, L"1"},
      {"empty name", answering.Get(), L""},
      {"refused", refusing.Get(), L"1"},
      {"answered", answering.Get(), L"1"},
  };
  for (const auto& c : cases) {
    DataObjectTymed = TYMED_ISTREAM;
    DataObjectLindex = 7;
    DataObjHasFormat(c.object, c.name);
    SCOPED_TRACE(c.path);
    ExpectOneShotReset();
    DataObjectTymed = TYMED_ISTREAM;
    DataObjectLindex = 7;
    DataObjGetFormat(c.object, c.name);
    ExpectOneShotReset();
  }
}

TEST(OneShot, SettingsReachTheRequestOnce) {
  auto object = NewObject();
  object->OnQueryGetData = [](const FORMATETC&) { return S_OK; };
  DataObjectTymed = TYMED_ISTREAM | TYMED_HGLOBAL;
  DataObjectLindex = 3;
  EXPECT_TRUE(DataObjHasFormat(object.Get(), kTestFormat));
  EXPECT_EQ(object->LastRequest.cfFormat, RegisterClipboardFormatW(kTestFormat));
  EXPECT_EQ(object->LastRequest.tymed, DWORD(TYMED_ISTREAM | TYMED_HGLOBAL));
  EXPECT_EQ(object->LastRequest.lindex, 3);
  EXPECT_EQ(object->LastRequest.dwAspect, DWORD(DVASPECT_CONTENT));
  EXPECT_EQ(object->LastRequest.ptd, nullptr);
  DataObjGetFormat(object.Get(), L"13");
  EXPECT_EQ(object->LastRequest.cfFormat, CF_UNICODETEXT);
  EXPECT_EQ(object->LastRequest.tymed, DWORD(TYMED_HGLOBAL));
  EXPECT_EQ(object->LastRequest.lindex, -1);
  DataObjectTymed = 0;  // counts as TYMED_HGLOBAL
  DataObjHasFormat(object.Get(), L"13");
  EXPECT_EQ(object->LastRequest.tymed, DWORD(TYMED_HGLOBAL));
}

TEST(OneShot, SettingsAreResetWhenAnExceptionEscapes) {
  auto object = NewObject();
  object->OnGetData = [](const FORMATETC&, STGMEDIUM&) -> HRESULT { throw vcl::EOutOfMemory(L"out of memory"); };
  object->OnQueryGetData = [](const FORMATETC&) -> HRESULT { throw vcl::EOutOfMemory(L"out of memory"); };
  DataObjectTymed = TYMED_GDI;
  DataObjectLindex = 2;
  EXPECT_THROW(DataObjGetFormat(object.Get(), L"2"), vcl::EOutOfMemory);
  ExpectOneShotReset();
  DataObjectTymed = TYMED_GDI;
  DataObjectLindex = 2;
  EXPECT_THROW(DataObjHasFormat(object.Get(), L"2"), vcl::EOutOfMemory);
  ExpectOneShotReset();
}

TEST(HasFormat, OnlyExactlySOkCounts) {
  for (HRESULT answer : {S_OK, S_FALSE, DV_E_FORMATETC, DV_E_TYMED, E_UNEXPECTED}) {
    auto object = NewObject();
    object->OnQueryGetData = [answer](const FORMATETC&) { return answer; };
    EXPECT_EQ(DataObjHasFormat(object.Get(), L"1"), answer == S_OK) << std::hex << answer;
  }
}

TEST(GetFormat, GlobalMemoryGivesAllBytesOfTheBlock) {
  vcl::TUniqueGlobal block(vcl::GlobalFromBytes(GMEM_MOVEABLE, "a\0b", 3, 3));
  TReleaseCounter counter;
  auto object = Answering(Medium(TYMED_HGLOBAL, block.Get()), counter);
  EXPECT_EQ(DataObjGetFormat(object.Get(), kTestFormat), std::string("a\0b", 3));
  EXPECT_EQ(counter.Releases, 1);
}

// Lies and refusals: the result is empty and the medium, when one came back, is released once.
TEST(GetFormat, LyingObjectsGiveNothingAndTheirMediumIsReleased) {
  vcl::TUniqueGlobal unlockable(GlobalAlloc(GMEM_MOVEABLE, 0));  // a discarded block cannot be locked
  ASSERT_TRUE(unlockable);
  ASSERT_EQ(GlobalLock(unlockable.Get()), nullptr);
  TComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
  vcl::TUniqueGlobal smallPict(vcl::GlobalFromBytes(GMEM_MOVEABLE, "\x08\0\0\0", 4, 4));
  vcl::TUniqueBitmap bitmap(CreateBitmap(2, 2, 1, 32, nullptr));
  const struct {
    const char* lie;
    const wchar_t* format;
    DWORD asked;
    STGMEDIUM medium;
    HRESULT hr;
    int releases;
  } cases[] = {
      {"null global handle", L"1", TYMED_HGLOBAL, Medium(TYMED_HGLOBAL, nullptr), S_OK, 1},
      {"unlockable block", L"1", TYMED_HGLOBAL, Medium(TYMED_HGLOBAL, unlockable.Get()), S_OK, 1},
      {"stream for a global", L"1", TYMED_HGLOBAL, Medium(TYMED_ISTREAM, stream.Get()), S_OK, 1},
      {"bitmap for a stream", L"2", TYMED_ISTREAM, Medium(TYMED_GDI, bitmap.Get()), S_OK, 1},
      {"two media at once", L"1", TYMED_HGLOBAL | TYMED_ISTREAM,
       Medium(TYMED_HGLOBAL | TYMED_ISTREAM, smallPict.Get()), S_OK, 1},
      {"null stream", L"1", TYMED_ISTREAM, Medium(TYMED_ISTREAM, nullptr), S_OK, 1},
      {"null storage", L"1", TYMED_ISTORAGE, Medium(TYMED_ISTORAGE, nullptr), S_OK, 1},
      {"file medium", L"1", TYMED_FILE, Medium(TYMED_FILE, nullptr), S_OK, 1},
      {"null bitmap", L"2", TYMED_GDI, Medium(TYMED_GDI, nullptr), S_OK, 1},
      {"bitmap as another format", L"8", TYMED_GDI, Medium(TYMED_GDI, bitmap.Get()), S_OK, 1},
      {"null enhanced metafile", L"14", TYMED_ENHMF, Medium(TYMED_ENHMF, nullptr), S_OK, 1},
      {"short metafile picture", L"3", TYMED_MFPICT, Medium(TYMED_MFPICT, smallPict.Get()), S_OK, 1},
      {"null metafile picture", L"3", TYMED_MFPICT, Medium(TYMED_MFPICT, nullptr), S_OK, 1},
      {"failure with a medium", L"1", TYMED_HGLOBAL, Medium(TYMED_HGLOBAL, smallPict.Get()), E_FAIL, 0},
  };
  int streamReferences = DataObjRefCount(stream.Get());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lie);
    TReleaseCounter counter;
    auto object = Answering(c.medium, counter, c.hr);
    DataObjectTymed = static_cast<LONG>(c.asked);
    EXPECT_EQ(DataObjGetFormat(object.Get(), c.format), "");
    EXPECT_EQ(counter.Releases, c.releases);
    ExpectOneShotReset();
  }
  EXPECT_EQ(DataObjRefCount(stream.Get()), streamReferences);  // none was kept for the caller
}

TEST(GetFormat, StreamsAndStoragesComeWithAReferenceForTheCaller) {
  TComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()), S_OK);
  TComPtr<IStorage> storage;
  ASSERT_EQ(StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DELETEONRELEASE,
                             0, storage.Put()),
            S_OK);
  const struct {
    DWORD tymed;
    IUnknown* object;
  } cases[] = {{TYMED_ISTREAM, stream.Get()}, {TYMED_ISTORAGE, storage.Get()}};
  for (const auto& c : cases) {
    TReleaseCounter counter;
    auto object = Answering(Medium(c.tymed, c.object), counter);
    int before = DataObjRefCount(c.object);
    DataObjectTymed = static_cast<LONG>(c.tymed);
    std::string bytes = DataObjGetFormat(object.Get(), kTestFormat);
    ASSERT_EQ(bytes.size(), sizeof(void*));
    EXPECT_EQ(DecodePointerFromString(bytes), static_cast<void*>(c.object));
    EXPECT_EQ(DataObjRefCount(c.object), before + 1);
    EXPECT_EQ(counter.Releases, 1);
    static_cast<IUnknown*>(*DecodePointerFromString(bytes))->Release();
  }
}

TEST(GetFormat, GdiMediaGiveCopiesTheCallerOwns) {
  vcl::TUniqueBitmap bitmap(CreateBitmap(3, 2, 1, 32, nullptr));
  HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  Rectangle(recorder, 1, 1, 20, 20);
  vcl::TUniqueEnhMetaFile enhanced(CloseEnhMetaFile(recorder));
  HDC oldRecorder = CreateMetaFileW(nullptr);
  Rectangle(oldRecorder, 1, 1, 20, 20);
  vcl::TUniqueMetaFile metafile(CloseMetaFile(oldRecorder));
  METAFILEPICT pict{MM_ANISOTROPIC, 2540, 1270, metafile.Get()};
  vcl::TUniqueGlobal pictBlock(vcl::GlobalFromBytes(GMEM_MOVEABLE, &pict, sizeof pict, sizeof pict));

  TReleaseCounter counter;
  DataObjectTymed = TYMED_GDI;
  std::string bitmapBytes = DataObjGetFormat(Answering(Medium(TYMED_GDI, bitmap.Get()), counter).Get(), L"2");
  ASSERT_EQ(bitmapBytes.size(), sizeof(void*));
  vcl::TUniqueBitmap bitmapCopy(static_cast<HBITMAP>(*DecodePointerFromString(bitmapBytes)));
  EXPECT_NE(bitmapCopy.Get(), bitmap.Get());
  BITMAP info{};
  ASSERT_NE(GetObjectW(bitmapCopy.Get(), sizeof info, &info), 0);
  EXPECT_EQ(info.bmWidth, 3);
  EXPECT_EQ(info.bmHeight, 2);

  DataObjectTymed = TYMED_ENHMF;
  std::string enhancedBytes = DataObjGetFormat(Answering(Medium(TYMED_ENHMF, enhanced.Get()), counter).Get(), L"14");
  ASSERT_EQ(enhancedBytes.size(), sizeof(void*));
  vcl::TUniqueEnhMetaFile enhancedCopy(static_cast<HENHMETAFILE>(*DecodePointerFromString(enhancedBytes)));
  EXPECT_NE(enhancedCopy.Get(), enhanced.Get());
  EXPECT_EQ(GetEnhMetaFileBits(enhancedCopy.Get(), 0, nullptr), GetEnhMetaFileBits(enhanced.Get(), 0, nullptr));

  DataObjectTymed = TYMED_MFPICT;
  std::string pictBytes = DataObjGetFormat(Answering(Medium(TYMED_MFPICT, pictBlock.Get()), counter).Get(), L"3");
  ASSERT_EQ(pictBytes.size(), sizeof(METAFILEPICT));  // 16 bytes in the 32-bit build, 24 in the 64-bit one
  METAFILEPICT received;
  std::memcpy(&received, pictBytes.data(), sizeof received);
  vcl::TUniqueMetaFile metafileCopy(received.hMF);
  EXPECT_EQ(received.mm, MM_ANISOTROPIC);
  EXPECT_EQ(received.xExt, 2540);
  EXPECT_EQ(received.yExt, 1270);
  EXPECT_NE(received.hMF, metafile.Get());
  EXPECT_EQ(GetMetaFileBitsEx(received.hMF, 0, nullptr), GetMetaFileBitsEx(metafile.Get(), 0, nullptr));

  EXPECT_EQ(counter.Releases, 3);
}
