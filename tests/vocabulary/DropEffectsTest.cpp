// The conversions between effect sets and the OLE DROPEFFECT mask, one table per function.
#include <gtest/gtest.h>

#include "vocabulary/KXComps.h"

using namespace kestrix;

TEST(DropEffects, SetByteValuesFollowOrdinals) {
  EXPECT_EQ(TDropEffects({deNone}).Byte(), 1);
  EXPECT_EQ(TDropEffects({deCopy}).Byte(), 2);
  EXPECT_EQ(TDropEffects({deCopy, deMove}).Byte(), 6);
  EXPECT_EQ(sizeof(TDropEffects), 1u);
  EXPECT_EQ(TDropTextFormats({dtfURL, dtfCustom}).Byte(), 0x21);
  EXPECT_EQ(TDropGraphicFormats({dgfBitmap}).Byte(), 2);
}

TEST(DropEffects, DropEffectFromEnum) {
  const std::pair<TDropEffect, DWORD> cases[] = {{deNone, 0}, {deCopy, 1}, {deMove, 2}, {deLink, 4}, {deScroll, 8}};
  for (auto [e, mask] : cases) EXPECT_EQ(dropEffectFromEnum(e), mask) << int(e);
}

TEST(DropEffects, DropEffectFromSet) {
  const std::pair<TDropEffects, DWORD> cases[] = {
      {{deCopy, deMove, deLink}, 7}, {{deScroll}, 8}, {{deNone}, 0}, {{}, 0}, {{deNone, deLink}, 4},
  };
  for (auto [s, mask] : cases) EXPECT_EQ(dropEffectFromSet(s), mask) << stringFromDropEffects(s).c_str();
}

TEST(DropEffects, SetFromDropEffect) {
  const std::pair<DWORD, TDropEffects> cases[] = {
      {0, {deNone}},
      {7, {deCopy, deMove, deLink}},
      {DROPEFFECT_SCROLL | DROPEFFECT_COPY, {deCopy}},
      {DROPEFFECT_SCROLL, {}},
      {8, {}},
      {DROPEFFECT_LINK, {deLink}},
  };
  for (auto [mask, s] : cases) EXPECT_EQ(setFromDropEffect(mask), s) << std::hex << mask;
}

TEST(DropEffects, EnumFromDropEffect) {
  const std::pair<DWORD, TDropEffect> cases[] = {
      {0, deNone}, {1, deCopy}, {3, deMove}, {5, deLink}, {7, deLink}, {DROPEFFECT_SCROLL, deCopy}, {8, deCopy},
  };
  for (auto [mask, e] : cases) EXPECT_EQ(EnumFromDropEffect(mask), e) << std::hex << mask;
}

TEST(DropEffects, SingleEffectFromSet) {
  const std::pair<TDropEffects, TDropEffect> cases[] = {
      {{}, deNone}, {{deMove, deLink}, deMove}, {{deCopy, deMove}, deCopy}, {{deNone, deLink}, deNone}, {{deScroll}, deScroll},
  };
  for (auto [s, e] : cases) EXPECT_EQ(singleEffectFromSet(s), e);
}

TEST(DropEffects, StringFromDropEffects) {
  const std::pair<TDropEffects, const wchar_t*> cases[] = {
      {{deCopy, deMove}, L"[deCopy,deMove]"},
      {{}, L"[]"},
      {{deNone, deScroll}, L"[deNone,deScroll]"},
      {{deLink}, L"[deLink]"},
  };
  for (auto [s, text] : cases) EXPECT_EQ(stringFromDropEffects(s), text);
}

TEST(DropEffects, OleStdGetDropEffect) {
  const std::pair<DWORD, DWORD> cases[] = {
      {MK_LBUTTON, DROPEFFECT_NONE},
      {MK_LBUTTON | MK_SHIFT | MK_CONTROL, DROPEFFECT_LINK},
      {MK_CONTROL, DROPEFFECT_COPY},
      {MK_SHIFT | MK_RBUTTON, DROPEFFECT_MOVE},
      {0, DROPEFFECT_NONE},
      {MK_ALT, DROPEFFECT_NONE},
  };
  for (auto [keys, effect] : cases) EXPECT_EQ(OleStdGetDropEffect(keys), effect) << keys;
}

TEST(DropEffects, MouseButtonFlags) {
  EXPECT_EQ(MK_XButtonFromTMouseButton(vcl::mbLeft), DWORD(MK_LBUTTON));
  EXPECT_EQ(MK_XButtonFromTMouseButton(vcl::mbRight), DWORD(MK_RBUTTON));
  EXPECT_EQ(MK_XButtonFromTMouseButton(vcl::mbMiddle), 16u);
  EXPECT_EQ(MK_XButtonFromTMouseButton(static_cast<vcl::TMouseButton>(7)), DWORD(MK_LBUTTON));
}
