// TGraphicDataObject through its interfaces, as a foreign drop target uses it.
#include <gtest/gtest.h>

#include <cstring>

#include "PictureTestSupport.h"
#include "formats/KXUtil.h"
#include "framework/ComObj.h"
#include "sources/KXGraphicDataObject.h"
#include "sources/KXGraphicSource.h"
#include "support/SetDataChecks.h"

using namespace kestrix;
using namespace pictest;
using vcl::TComPtr;

namespace {

FORMATETC Fe(CLIPFORMAT cf, DWORD tymed, DWORD aspect = DVASPECT_CONTENT) {
  return {cf, nullptr, aspect, -1, tymed};
}

TComPtr<IDataObject> Adopt(TGraphicDataObject* created) {
  return TComPtr<IDataObject>::Attach(static_cast<IDataObject*>(created));
}

// One GetData, with what the medium held read out and the medium released.
struct Got {
  HRESULT hr = E_FAIL;
  DWORD tymed = 0xFFFF;
  bool cleared = false;  // handle and pUnkForRelease null
  SIZE_T blockSize = 0;
  bool fixedBlock = false;
  std::string bytes;  // as kxtest::RawRead captures them
  HGDIOBJ handle = nullptr;
};

Got Get(IDataObject* d, FORMATETC fe) {
  const kxtest::PoisonedGet got(d, fe);
  const STGMEDIUM& m = got.m;
  Got g{got.hr, m.tymed};
  g.cleared = m.hGlobal == nullptr && m.pUnkForRelease == nullptr;
  if (FAILED(g.hr)) return g;
  EXPECT_EQ(m.pUnkForRelease, nullptr);
  g.handle = m.hGlobal;
  switch (m.tymed) {
    case TYMED_HGLOBAL:
    case TYMED_MFPICT:
      g.blockSize = GlobalSize(m.hGlobal);
      g.fixedBlock = GlobalLock(m.hGlobal) == static_cast<void*>(m.hGlobal);
      GlobalUnlock(m.hGlobal);
      if (m.tymed == TYMED_HGLOBAL) g.bytes = GetHandleDataToString(m.hGlobal);
      break;
    default:
      break;
  }
  switch (m.tymed) {
    case TYMED_GDI: g.bytes = kxtest::BitmapPixels32(m.hBitmap); break;
    case TYMED_ENHMF: g.bytes = kxtest::EnhMetaFileBytes(m.hEnhMetaFile); break;
    case TYMED_MFPICT: {
      METAFILEPICT pict{};
      std::memcpy(&pict, GlobalLock(m.hMetaFilePict), sizeof pict);
      GlobalUnlock(m.hMetaFilePict);
      const LONG head[3] = {pict.mm, pict.xExt, pict.yExt};
      g.bytes.assign(reinterpret_cast<const char*>(head), sizeof head);
      g.bytes += kxtest::MetaFileBytes(pict.hMF);
      g.handle = pict.hMF;
      break;
    }
    default: break;
  }
  return g;
}

std::vector<std::pair<CLIPFORMAT, DWORD>> Enumerated(IDataObject* d) {
  std::vector<std::pair<CLIPFORMAT, DWORD>> out;
  TComPtr<IEnumFORMATETC> e;
  EXPECT_EQ(d->EnumFormatEtc(DATADIR_GET, e.Put()), S_OK);
  FORMATETC fe;
  while (e && e->Next(1, &fe, nullptr) == S_OK) {
    EXPECT_EQ(fe.ptd, nullptr);
    EXPECT_EQ(fe.dwAspect, DWORD{DVASPECT_CONTENT});
    EXPECT_EQ(fe.lindex, -1);
    out.emplace_back(fe.cfFormat, fe.tymed);
  }
  return out;
}

LONG MetafilePictHead(const std::string& bytes, int field) {
  LONG v = 0;
  std::memcpy(&v, bytes.data() + field * 4, 4);
  return v;
}

ULONG RefCount(IUnknown* u) {
  u->AddRef();
  return u->Release();
}

}  // namespace

TEST(GraphicDataObject, OffersTheFormatsOfItsPicturesKind) {
  auto bitmap = QuarteredBitmap(4, 4, vcl::pf24bit);
  auto metafile = FilledMetafileGraphic(100, 100, RGB(1, 1, 1));
  vcl::TIcon icon;
  icon.SetHandle(QuarteredIcon(16));
  vcl::TBitmap emptyBitmap;
  struct Case {
    const char* name;
    vcl::TGraphic* graphic;
    std::vector<std::pair<CLIPFORMAT, DWORD>> formats;
  } cases[] = {
      {"bitmap", bitmap.get(), {{CF_DIB, TYMED_HGLOBAL}, {CF_BITMAP, TYMED_GDI}}},
      {"metafile", metafile.get(), {{CF_ENHMETAFILE, TYMED_ENHMF}, {CF_METAFILEPICT, TYMED_MFPICT}}},
      {"icon", &icon, {}},
      {"empty bitmap", &emptyBitmap, {}},
      {"nothing", nullptr, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto picture = PictureOf(c.graphic);
    auto data = Adopt(TGraphicDataObject::Create(picture.get()));
    EXPECT_EQ(Enumerated(data.Get()), c.formats);
    // QueryGetData agrees with the list, for each offered format and its medium only.
    for (CLIPFORMAT cf : {CF_DIB, CF_BITMAP, CF_ENHMETAFILE, CF_METAFILEPICT, CF_TEXT}) {
      for (DWORD tymed : {DWORD{TYMED_HGLOBAL}, DWORD{TYMED_GDI}, DWORD{TYMED_ENHMF}, DWORD{TYMED_MFPICT}, DWORD{TYMED_ISTREAM}}) {
        const bool offered = std::find(c.formats.begin(), c.formats.end(), std::make_pair(cf, tymed)) != c.formats.end();
        FORMATETC fe = Fe(cf, tymed | (offered ? TYMED_FILE : 0));  // other bits beside the medium do not matter
        EXPECT_EQ(data->QueryGetData(&fe), offered ? S_OK : S_FALSE) << cf << ":" << tymed;
        fe.dwAspect = DVASPECT_ICON;
        EXPECT_EQ(data->QueryGetData(&fe), S_FALSE);
      }
    }
  }
}

TEST(GraphicDataObject, DibIsTheBitmapFileWithoutItsFileHeader) {
  for (vcl::TPixelFormat format : {vcl::pf1bit, vcl::pf4bit, vcl::pf8bit, vcl::pf16bit, vcl::pf24bit, vcl::pf32bit, vcl::pfDevice}) {
    SCOPED_TRACE(format);
    auto bitmap = QuarteredBitmap(13, 7, format);
    const std::string file = BmpFileOf(*bitmap);
    auto data = Adopt(TGraphicDataObject::Create(PictureOf(bitmap.get()).get()));

    // The medium asked for is not examined: a stream request still gets global memory.
    for (DWORD tymed : {DWORD{TYMED_HGLOBAL}, DWORD{TYMED_ISTREAM}}) {
      Got g = Get(data.Get(), Fe(CF_DIB, tymed));
      ASSERT_EQ(g.hr, S_OK);
      EXPECT_EQ(g.tymed, DWORD{TYMED_HGLOBAL});
      EXPECT_TRUE(g.fixedBlock);
      EXPECT_EQ(g.blockSize, file.size() - 14);
      EXPECT_EQ(g.bytes, file.substr(14));
      EXPECT_EQ(MetafilePictHead(g.bytes, 0), 40);  // biSize of a BITMAPINFOHEADER
    }

    // A receiver that puts the file header back gets the donor's pixels.
    vcl::TBitmap received;
    vcl::TStringStream rebuilt(file.substr(0, 14) + Get(data.Get(), Fe(CF_DIB, TYMED_HGLOBAL)).bytes);
    received.LoadFromStream(rebuilt);
    EXPECT_EQ(kxtest::BitmapPixels32(received.Handle()), kxtest::BitmapPixels32(bitmap->Handle()));
  }
}

TEST(GraphicDataObject, BitmapAndEnhancedMetafileAreCopiesForTheReceiver) {
  auto bitmap = QuarteredBitmap(9, 5, vcl::pf8bit);
  auto bitmapData = Adopt(TGraphicDataObject::Create(PictureOf(bitmap.get()).get()));
  Got b = Get(bitmapData.Get(), Fe(CF_BITMAP, TYMED_GDI | TYMED_HGLOBAL));
  ASSERT_EQ(b.hr, S_OK);
  EXPECT_EQ(b.tymed, DWORD{TYMED_GDI});
  EXPECT_EQ(b.bytes, kxtest::BitmapPixels32(bitmap->Handle()));
  EXPECT_NE(b.handle, bitmap->Handle());
  EXPECT_EQ(GetObjectType(b.handle), 0u) << "released with the medium";

  auto metafile = FilledMetafileGraphic(700, 300, RGB(0, 0, 200));
  auto metafileData = Adopt(TGraphicDataObject::Create(PictureOf(metafile.get()).get()));
  Got m = Get(metafileData.Get(), Fe(CF_ENHMETAFILE, TYMED_ENHMF));
  ASSERT_EQ(m.hr, S_OK);
  EXPECT_EQ(m.tymed, DWORD{TYMED_ENHMF});
  EXPECT_EQ(m.bytes, kxtest::EnhMetaFileBytes(metafile->Handle()));
  EXPECT_NE(m.handle, metafile->Handle());
  EXPECT_EQ(GetObjectType(m.handle), 0u);
}

TEST(GraphicDataObject, MetafilePictCarriesTheSizeOnlyWhenTheComponentAsks) {
  static_assert(sizeof(METAFILEPICT) == (sizeof(void*) == 8 ? 24 : 16));
  auto metafile = FilledMetafileGraphic(1234, 567, RGB(0, 90, 0));
  auto picture = PictureOf(metafile.get());
  auto source = std::make_unique<TKXGraphicSource>(nullptr);
  auto withComponent = Adopt(TGraphicDataObject::createEx(picture.get(), source.get()));
  vcl::TForm form(nullptr);
  auto withoutComponent = Adopt(TGraphicDataObject::createWithOwner(picture.get(), &form));

  struct Case {
    const char* name;
    IDataObject* data;
    bool useActualSizes;
    LONG xExt, yExt;
  } cases[] = {
      {"component, sizes off", withComponent.Get(), false, 0, 0},
      {"component, sizes on", withComponent.Get(), true, 1234, 567},
      {"no component", withoutComponent.Get(), true, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    source->setUseActualMetafileSizes(c.useActualSizes);
    Got g = Get(c.data, Fe(CF_METAFILEPICT, TYMED_MFPICT));
    ASSERT_EQ(g.hr, S_OK);
    EXPECT_EQ(g.tymed, DWORD{TYMED_MFPICT});
    EXPECT_EQ(g.blockSize, sizeof(METAFILEPICT));
    EXPECT_TRUE(g.fixedBlock);
    EXPECT_EQ(MetafilePictHead(g.bytes, 0), MM_ANISOTROPIC);
    EXPECT_EQ(MetafilePictHead(g.bytes, 1), c.xExt);
    EXPECT_EQ(MetafilePictHead(g.bytes, 2), c.yExt);
    EXPECT_GT(g.bytes.size(), 12u + 18u) << "a Windows metafile with records";
    EXPECT_EQ(GetObjectType(g.handle), 0u) << "released with the medium";
  }

  // A target may keep the object after the component is gone: it goes on with the last setting.
  source.reset();
  Got g = Get(withComponent.Get(), Fe(CF_METAFILEPICT, TYMED_MFPICT));
  ASSERT_EQ(g.hr, S_OK);
  EXPECT_EQ(MetafilePictHead(g.bytes, 1), 1234);
}

TEST(GraphicDataObject, RendersThePictureAsItWasWhenMade) {
  auto bitmap = QuarteredBitmap(6, 6, vcl::pf24bit);
  const std::string before = kxtest::BitmapPixels32(bitmap->Handle());
  auto picture = PictureOf(bitmap.get());
  auto data = Adopt(TGraphicDataObject::Create(picture.get()));
  picture->Bitmap()->Canvas()->FillRect({0, 0, 6, 6}, RGB(0, 255, 0));
  picture->Metafile();  // even another kind
  EXPECT_EQ(Get(data.Get(), Fe(CF_BITMAP, TYMED_GDI)).bytes, before);
  EXPECT_EQ(Enumerated(data.Get()).size(), 2u);
}

TEST(GraphicDataObject, RefusesWhatItDoesNotOfferAndLeavesTheMediumCleared) {
  auto bitmap = QuarteredBitmap(4, 4, vcl::pf24bit);
  auto metafile = FilledMetafileGraphic(100, 100, RGB(1, 1, 1));
  auto bitmapData = Adopt(TGraphicDataObject::Create(PictureOf(bitmap.get()).get()));
  auto metafileData = Adopt(TGraphicDataObject::Create(PictureOf(metafile.get()).get()));
  struct Case {
    const char* name;
    IDataObject* data;
    FORMATETC fe;
  } cases[] = {
      {"bitmap on global memory", bitmapData.Get(), Fe(CF_BITMAP, TYMED_HGLOBAL)},
      {"dib as an icon", bitmapData.Get(), Fe(CF_DIB, TYMED_HGLOBAL, DVASPECT_ICON)},
      {"metafile of a bitmap", bitmapData.Get(), Fe(CF_ENHMETAFILE, TYMED_ENHMF)},
      {"dib of a metafile", metafileData.Get(), Fe(CF_DIB, TYMED_HGLOBAL)},
      {"enhanced metafile on global memory", metafileData.Get(), Fe(CF_ENHMETAFILE, TYMED_HGLOBAL)},
      {"metafile picture as a file", metafileData.Get(), Fe(CF_METAFILEPICT, TYMED_FILE)},
      {"text", metafileData.Get(), Fe(CF_TEXT, TYMED_HGLOBAL)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Got g = Get(c.data, c.fe);
    EXPECT_EQ(g.hr, DV_E_FORMATETC);
    EXPECT_EQ(g.tymed, DWORD{TYMED_NULL});
    EXPECT_TRUE(g.cleared);
  }
  FORMATETC fe = Fe(CF_DIB, TYMED_HGLOBAL);
  STGMEDIUM m{};
  EXPECT_EQ(bitmapData->GetData(nullptr, &m), E_INVALIDARG);
  EXPECT_EQ(bitmapData->GetData(&fe, nullptr), E_INVALIDARG);
  EXPECT_EQ(bitmapData->QueryGetData(nullptr), E_INVALIDARG);
}

TEST(GraphicDataObject, AnswersTheRestOfIDataObjectAsDocumented) {
  auto data = Adopt(TGraphicDataObject::Create(PictureOf(QuarteredBitmap(2, 2, vcl::pf24bit).get()).get()));
  FORMATETC fe = Fe(CF_DIB, TYMED_HGLOBAL), out{};
  STGMEDIUM m{};
  EXPECT_EQ(data->GetDataHere(&fe, &m), DV_E_FORMATETC);
  EXPECT_EQ(data->GetCanonicalFormatEtc(&fe, &out), E_NOTIMPL);
  EXPECT_EQ(data->SetData(&fe, &m, FALSE), DV_E_FORMATETC);  // its own format
  DWORD connection = 0;
  EXPECT_EQ(data->DAdvise(&fe, 0, nullptr, &connection), E_NOTIMPL);
  EXPECT_EQ(data->DUnadvise(0), E_NOTIMPL);
  auto* advise = reinterpret_cast<IEnumSTATDATA*>(0x1);
  EXPECT_EQ(data->EnumDAdvise(&advise), E_NOTIMPL);
  EXPECT_EQ(advise, nullptr);
  for (DWORD direction : {DWORD{DATADIR_SET}, DWORD{3}}) {
    auto* e = reinterpret_cast<IEnumFORMATETC*>(0x1);
    EXPECT_EQ(data->EnumFormatEtc(direction, &e), direction == DATADIR_SET ? E_NOTIMPL : E_INVALIDARG);
    EXPECT_EQ(e, nullptr);
  }
}

TEST(GraphicDataObject, CountsReferencesAndFreesItsCopyWithTheLastOne) {
  const LONG live = TGraphicDataObject::LiveCount();
  auto bitmap = QuarteredBitmap(512, 512, vcl::pf32bit);  // 1 MiB: a leaked copy would show
  auto picture = PictureOf(bitmap.get());
  TGraphicDataObject* created = TGraphicDataObject::Create(picture.get());
  IDataObject* data = created;
  EXPECT_EQ(RefCount(data), 1u);  // the creator's
  EXPECT_EQ(TGraphicDataObject::LiveCount(), live + 1);
  {
    TComPtr<IUnknown> unknown;
    ASSERT_EQ(data->QueryInterface(IID_IUnknown, unknown.PutVoid()), S_OK);
    EXPECT_EQ(RefCount(data), 2u);
    TComPtr<IEnumFORMATETC> e;
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, e.Put()), S_OK);
    EXPECT_EQ(RefCount(data), 2u);  // the enumerator holds a copy of the list, not the object
    TComPtr<IDropTarget> none;
    EXPECT_EQ(data->QueryInterface(IID_IDropTarget, none.PutVoid()), E_NOINTERFACE);
  }
  EXPECT_EQ(data->Release(), 0u);
  EXPECT_EQ(TGraphicDataObject::LiveCount(), live);

  // Made, rendered in every form and released many times, nothing stays behind.
  auto metafile = PictureOf(FilledMetafileGraphic(20000, 20000, RGB(3, 3, 3)).get());
  auto renderAll = [&] {
    for (vcl::TPicture* p : {picture.get(), metafile.get()}) {
      auto d = Adopt(TGraphicDataObject::Create(p));
      for (auto [cf, tymed] : Enumerated(d.Get())) EXPECT_EQ(Get(d.Get(), Fe(cf, tymed)).hr, S_OK);
    }
  };
  renderAll();  // the allocators' first growth
  const size_t before = CommittedPrivateBytes();
  const DWORD gdiBefore = GdiObjectCount();
  {
    vcl::TUniqueBitmap probe(CreateBitmap(1, 1, 1, 1, nullptr));
    ASSERT_EQ(GdiObjectCount(), gdiBefore + 1) << "the count sees an object come";
  }
  ASSERT_EQ(GdiObjectCount(), gdiBefore) << "and go";
  for (int i = 0; i < 20; ++i) renderAll();
  EXPECT_LT(CommittedPrivateBytes(), before + 4 * 1024 * 1024) << "20 leaked copies would take 20 MiB";
  EXPECT_EQ(GdiObjectCount(), gdiBefore) << "bitmaps, metafiles or screen DCs left behind";
  EXPECT_EQ(TGraphicDataObject::LiveCount(), live);
}

TEST(GraphicDataObject, ADibThatCannotBeAllocatedIsOutOfMemory) {
  if (sizeof(void*) == 8) GTEST_SKIP() << "only the 32-bit address space runs out at a size a test can afford";
  // 400 MiB of pixels, twice (the picture and the data object's copy), leave no room in the
  // address space for the two more that rendering the DIB takes (the BMP file and the block).
  vcl::TPicture picture;
  try {
    picture.Bitmap()->SetPixelFormat(vcl::pf32bit);
    picture.Bitmap()->SetSize(1024, 102400);
  } catch (const vcl::EOutOfMemory&) {
    GTEST_SKIP() << "the address space is too fragmented for the picture itself";
  }
  TComPtr<IDataObject> data;
  try {
    data = Adopt(TGraphicDataObject::Create(&picture));
  } catch (const vcl::EOutOfMemory&) {
    GTEST_SKIP() << "the address space is too fragmented for the data object's copy";
  }
  Got g = Get(data.Get(), Fe(CF_DIB, TYMED_HGLOBAL));
  EXPECT_EQ(g.hr, E_OUTOFMEMORY);
  EXPECT_EQ(g.tymed, DWORD{TYMED_NULL});
  EXPECT_TRUE(g.cleared);
}

TEST(GraphicDataObject, KeepsWhatOthersStoreThroughSetData) {
  kxtest::CheckSetDataProtocol(TGraphicDataObject::Create(PictureOf(QuarteredBitmap(2, 2, vcl::pf24bit).get()).get()), CF_DIB);
}

