// Custom format items and their owning list.
#include <gtest/gtest.h>

#include "formats/KXUtil.h"
#include "vocabulary/KXCustomFormats.h"

using namespace kestrix;

TEST(CustomFormats, AddFormatMakesAGlobalMemoryItemOfTheRegisteredFormat) {
  TCustomFormatDataList list;
  list.AddFormat(L"HTML Format", std::wstring(L"<b>x</b>"));
  ASSERT_EQ(list.Count(), 1);
  TCustomFormatData* item = list.Items(0);
  EXPECT_EQ(item->getTymed(), TYMED_HGLOBAL);
  EXPECT_EQ(item->getlIndex(), 0);
  EXPECT_TRUE(item->getAllowTrailingNull());
  EXPECT_EQ(item->getContent(), "<b>x</b>");
  FORMATETC fe = item->getFormatEtc();
  EXPECT_EQ(fe.cfFormat, RegisterClipboardFormatW(L"HTML Format"));
  EXPECT_EQ(fe.ptd, nullptr);
  EXPECT_EQ(fe.dwAspect, DWORD(DVASPECT_CONTENT));
  EXPECT_EQ(fe.lindex, 0);
  EXPECT_EQ(fe.tymed, DWORD(TYMED_HGLOBAL));
}

TEST(CustomFormats, TymedAndTrailingNullRules) {
  TCustomFormatDataList list;
  list.AddFormatEx(L"2", std::string(), 0, 3);
  list.AddFormatEx(L"17", std::wstring(L"x"), TYMED_HGLOBAL | TYMED_ISTREAM, -1);
  EXPECT_EQ(list.Items(0)->getTymed(), TYMED_HGLOBAL);  // 0 reads back as HGLOBAL
  EXPECT_EQ(list.Items(0)->getFormatEtc().cfFormat, CF_BITMAP);
  EXPECT_EQ(list.Items(0)->getFormatEtc().lindex, 3);
  EXPECT_FALSE(list.Items(1)->getAllowTrailingNull());  // not exactly HGLOBAL
  EXPECT_EQ(list.Items(1)->getFormatEtc().cfFormat, RegisterClipboardFormatW(L"17"));
  list.Items(1)->setTymed(TYMED_HGLOBAL);
  EXPECT_TRUE(list.Items(1)->getAllowTrailingNull());
  list.Items(1)->setAllowTrailingNull(false);
  EXPECT_FALSE(list.Items(1)->getAllowTrailingNull());
  list.Items(1)->setName(L"");
  EXPECT_EQ(list.Items(1)->getFormatEtc().cfFormat, 0);
}

TEST(CustomFormats, UnicodeContentIsStoredInTheAnsiCodePage) {
  TCustomFormatDataList list;
  list.AddFormat(L"Kestrix Test Format", std::wstring(L"caf\u00E9 \u4E2D"));
  EXPECT_EQ(list.Items(0)->getContent(), "caf\xE9 ?");  // code page 1252 in the test prefix
}

namespace {
int liveItems = 0;
struct CountedItem : TCustomFormatData {
  CountedItem() { ++liveItems; }
  ~CountedItem() override { --liveItems; }
};
}  // namespace

TEST(CustomFormats, ListOwnsItsItems) {
  {
    TCustomFormatDataList list;
    list.Clear();  // empty: nothing happens
    list.Add(new CountedItem);
    list.Add(new CountedItem);
    EXPECT_EQ(liveItems, 2);
    list.Clear();
    EXPECT_EQ(liveItems, 0);
    EXPECT_EQ(list.Count(), 0);
    list.Add(new CountedItem);
    auto* spare = new CountedItem;
    TCustomFormatData* replaced = list.Items(0);
    list.SetItem(0, spare);  // replacing frees nothing
    EXPECT_EQ(liveItems, 2);
    delete replaced;
  }
  EXPECT_EQ(liveItems, 0);  // destroying the list freed the remaining item
}

TEST(CustomFormats, ItemsOutsideTheListRaiseTheListError) {
  TCustomFormatDataList list;
  list.AddFormat(L"1", std::string("a"));
  EXPECT_THROW(list.Items(1), vcl::EListError);
  EXPECT_THROW(list.Items(-1), vcl::EListError);
  EXPECT_THROW(list.SetItem(4, nullptr), vcl::EListError);
}
