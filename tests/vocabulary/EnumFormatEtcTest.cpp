// TKXEnumFormatEtc, used only through IEnumFORMATETC as OLE and drop targets use it.
#include <gtest/gtest.h>

#include "framework/ComObj.h"
#include "vocabulary/KXEnum.h"

using namespace kestrix;
using vcl::TComPtr;

namespace {

FORMATETC Fe(CLIPFORMAT cf, DWORD tymed = TYMED_HGLOBAL) { return {cf, nullptr, DVASPECT_CONTENT, -1, tymed}; }

TComPtr<IEnumFORMATETC> MakeEnum(std::initializer_list<FORMATETC> entries) {
  auto* e = new TKXEnumFormatEtc();
  for (const auto& fe : entries) e->addFormatEtc(fe);
  return TComPtr<IEnumFORMATETC>(e);
}

struct Fetch {
  HRESULT hr;
  ULONG fetched;
  FORMATETC fe;
};

Fetch Next(IEnumFORMATETC* e, ULONG celt = 1) {
  Fetch f{};
  f.fetched = 99;
  FORMATETC buf[2] = {};
  buf[0].cfFormat = 0xFFFF;
  f.hr = e->Next(celt, buf, &f.fetched);
  f.fe = buf[0];
  return f;
}

}  // namespace

TEST(EnumFormatEtc, EmptyEnumeratorRunsOutAtOnce) {
  auto e = MakeEnum({});
  Fetch f = Next(e.Get());
  EXPECT_EQ(f.hr, S_FALSE);
  EXPECT_EQ(f.fetched, 0u);
  EXPECT_EQ(e->Skip(0), S_FALSE);
  EXPECT_EQ(e->Next(1, nullptr, nullptr), S_FALSE);
}

TEST(EnumFormatEtc, NextGivesEntriesInOrderOneAtATime) {
  auto e = MakeEnum({Fe(CF_TEXT), Fe(CF_UNICODETEXT, TYMED_ISTREAM)});
  Fetch first = Next(e.Get());
  EXPECT_EQ(first.hr, S_OK);
  EXPECT_EQ(first.fetched, 1u);
  EXPECT_EQ(first.fe.cfFormat, CF_TEXT);
  Fetch second = Next(e.Get());
  EXPECT_EQ(second.hr, S_OK);
  EXPECT_EQ(second.fe.cfFormat, CF_UNICODETEXT);
  EXPECT_EQ(second.fe.tymed, DWORD(TYMED_ISTREAM));
  EXPECT_EQ(second.fe.lindex, -1);
  Fetch third = Next(e.Get());
  EXPECT_EQ(third.hr, S_FALSE);
  EXPECT_EQ(third.fetched, 0u);
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(Next(e.Get()).fe.cfFormat, CF_TEXT);
}

TEST(EnumFormatEtc, AskingForTwoAtOnceGivesNothingAndKeepsPosition) {
  auto e = MakeEnum({Fe(CF_TEXT), Fe(CF_UNICODETEXT)});
  Fetch f = Next(e.Get(), 2);
  EXPECT_EQ(f.hr, S_FALSE);
  EXPECT_EQ(f.fetched, 0u);
  EXPECT_EQ(f.fe.cfFormat, 0xFFFF);
  EXPECT_EQ(Next(e.Get()).fe.cfFormat, CF_TEXT);
}

TEST(EnumFormatEtc, SkipToTheEndCountsAsRunningOut) {
  auto e = MakeEnum({Fe(CF_TEXT), Fe(CF_UNICODETEXT)});
  EXPECT_EQ(e->Skip(2), S_FALSE);
  EXPECT_EQ(Next(e.Get()).fe.cfFormat, CF_TEXT);  // position stayed at 0
  e->Reset();
  EXPECT_EQ(e->Skip(1), S_OK);
  EXPECT_EQ(Next(e.Get()).fe.cfFormat, CF_UNICODETEXT);
  EXPECT_EQ(e->Skip(0xFFFFFFFFu), S_FALSE);  // no overflow into a small position
}

TEST(EnumFormatEtc, CloneWalksIndependently) {
  auto e = MakeEnum({Fe(CF_TEXT), Fe(CF_UNICODETEXT), Fe(CF_HDROP)});
  Next(e.Get());
  TComPtr<IEnumFORMATETC> clone;
  ASSERT_EQ(e->Clone(clone.Put()), S_OK);
  ASSERT_TRUE(clone);
  EXPECT_EQ(Next(clone.Get()).fe.cfFormat, CF_UNICODETEXT);
  EXPECT_EQ(Next(clone.Get()).fe.cfFormat, CF_HDROP);
  EXPECT_EQ(Next(e.Get()).fe.cfFormat, CF_UNICODETEXT);  // the original did not move
  e.Reset();  // the clone outlives the original
  EXPECT_EQ(Next(clone.Get()).hr, S_FALSE);
  EXPECT_EQ(e.Get(), nullptr);
}

TEST(EnumFormatEtc, ReferenceCountingAndInterfaces) {
  auto e = MakeEnum({Fe(CF_TEXT)});
  TComPtr<IUnknown> unk = e.As<IUnknown>();
  ASSERT_TRUE(unk);
  EXPECT_FALSE(e.As<IDataObject>());
  EXPECT_EQ(e->AddRef(), 3u);
  EXPECT_EQ(e->Release(), 2u);
  EXPECT_EQ(e->Clone(nullptr), E_POINTER);
}
