// TKXTextTarget bound to a real control, driven through the IDropTarget that OLE registered for
// the acceptor's window, with foreign data objects (test doubles of other applications).
#include <gtest/gtest.h>

#include <memory>

#include "formats/KXUtil.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "support/FakeDataObject.h"
#include "targets/KXTextTarget.h"

using namespace kestrix;
using kxtest::FakeDataObject;
using kxtest::MakeFake;
using vcl::TComPtr;

namespace {

struct Bound {
  vcl::TForm form{nullptr};
  vcl::TMemo* memo;
  TKXTextTarget* target;
  std::vector<std::pair<TDropEffect, vcl::TPoint>> enters;
  std::vector<std::wstring> drops;

  Bound() {
    form.SetBounds(100, 100, 400, 300);
    memo = new vcl::TMemo(&form);
    memo->SetParent(&form);
    memo->SetBounds(10, 20, 200, 100);
    target = new TKXTextTarget(&form);
    target->setAcceptorControl(memo);
    target->setOnDragEnter([this](TObject*, TDropEffect e, int x, int y) { enters.push_back({e, {x, y}}); });
    target->setOnDrop([this](TObject*, vcl::TWinControl*, const std::wstring& text, int, int) { drops.push_back(text); });
  }
  // The drop target as any OLE caller finds it: through the window's registration.
  TComPtr<IDropTarget> DropTarget() {
    return TComPtr<IDropTarget>(static_cast<IDropTarget*>(GetPropW(memo->Handle(), L"OleDropTargetInterface")));
  }
  POINTL ScreenPoint(int x, int y) {
    vcl::TPoint p = memo->ClientToScreen({x, y});
    return {p.X, p.Y};
  }
  DWORD Enter(IDataObject* data, DWORD keys, DWORD allowed) {
    DWORD effect = allowed;
    EXPECT_EQ(DropTarget()->DragEnter(data, keys, ScreenPoint(5, 6), &effect), S_OK);
    return effect;
  }
  // A whole drag: enter then drop; returns Drop's result and the effect it reported.
  std::pair<HRESULT, DWORD> DragAndDrop(IDataObject* data, DWORD keys = MK_LBUTTON, DWORD allowed = DROPEFFECT_COPY) {
    Enter(data, keys, allowed);
    DWORD effect = allowed;
    HRESULT hr = DropTarget()->Drop(data, keys, ScreenPoint(7, 8), &effect);
    return {hr, effect};
  }
};

std::string Ansi(const char* s) { return std::string(s) + '\0'; }
std::string Wide(const std::wstring& s) { return EncodedAnsiStringFromUnicodeString(s) + std::string(2, '\0'); }

}  // namespace

TEST(TextTarget, Defaults) {
  Bound b;
  EXPECT_TRUE(b.target->getRegistered());
  EXPECT_EQ(b.target->getAcceptTextFormats(), TDropTextFormats{dtfText});
  EXPECT_TRUE(b.target->getAcceptText());
  EXPECT_FALSE(b.target->getAcceptURL());
  for (TDropEffect e : {deNone, deCopy, deMove, deLink, deScroll}) EXPECT_EQ(b.target->GetOverrideDropEffect(e), e);
  EXPECT_EQ(b.target->getText(), L"");
  EXPECT_EQ(b.target->getDroppedTextFormat(), dtfURL);
  EXPECT_EQ(b.target->getCustomFormatIndex(), 0);
  EXPECT_EQ(b.target->getDropEffect(), deNone);
  EXPECT_FALSE(b.target->getDataObject());
  EXPECT_EQ(b.target->getAvailableTextFormats(), TDropTextFormats{});
  EXPECT_EQ(b.target->DataObjectRefCount(), 0);
  std::unique_ptr<vcl::TStringList> list(b.target->DataObjectFormatList());
  EXPECT_EQ(list->Count(), 0);

  b.target->setAcceptURL(true);
  EXPECT_EQ(b.target->getAcceptTextFormats(), (TDropTextFormats{dtfURL, dtfText}));
  b.target->setAcceptTextFormats({});
  EXPECT_FALSE(b.target->getAcceptText() || b.target->getAcceptURL() || b.target->getAcceptFiles() ||
               b.target->getAcceptCustom() || b.target->getAcceptIEHTML() || b.target->getAcceptRichText());
}

TEST(TextTarget, EffectFromKeysAndAllowedEffects) {
  struct Case {
    DWORD keys, allowed, effect;
    TDropEffect reported;
  };
  const Case cases[] = {
      {MK_LBUTTON, DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_MOVE, deMove},
      {MK_LBUTTON | MK_CONTROL, DROPEFFECT_MOVE, 0, deNone},
      {MK_CONTROL | MK_SHIFT, DROPEFFECT_LINK | DROPEFFECT_COPY, DROPEFFECT_LINK, deLink},
      {MK_CONTROL | MK_SHIFT, DROPEFFECT_COPY | DROPEFFECT_MOVE, 0, deNone},
      {MK_ALT, DROPEFFECT_COPY, DROPEFFECT_COPY, deCopy},
      {0, DROPEFFECT_LINK, DROPEFFECT_LINK, deLink},
      {MK_SHIFT, DROPEFFECT_MOVE | DROPEFFECT_COPY, DROPEFFECT_MOVE, deMove},
      {0, 0, 0, deNone},
  };
  for (const Case& c : cases) {
    Bound b;
    auto data = MakeFake();
    data->Offer(CF_TEXT, Ansi("x"));
    EXPECT_EQ(b.Enter(data.Get(), c.keys, c.allowed), c.effect) << c.keys << " " << c.allowed;
    ASSERT_EQ(b.enters.size(), 1u);
    EXPECT_EQ(b.enters[0].first, c.reported);
    EXPECT_EQ(b.enters[0].second, (vcl::TPoint{5, 6}));  // client coordinates of the acceptor
    EXPECT_EQ(b.target->getDropEffect(), c.reported);
  }
}

TEST(TextTarget, OverridesReplaceTheChosenEffectWithinWhatTheSourceAllows) {
  struct Case {
    TDropEffect from, to;
    DWORD allowed;
    bool offersText;
    DWORD effect;
  };
  const Case cases[] = {
      {deMove, deCopy, DROPEFFECT_COPY | DROPEFFECT_MOVE, true, DROPEFFECT_COPY},
      {deMove, deCopy, DROPEFFECT_MOVE, true, 0},
      {deNone, deCopy, DROPEFFECT_COPY, false, DROPEFFECT_COPY},  // feedback only: Drop still refuses
      {deMove, deNone, DROPEFFECT_MOVE, true, 0},
  };
  for (const Case& c : cases) {
    Bound b;
    b.target->SetOverrideDropEffect(c.from, c.to);
    auto data = MakeFake();
    if (c.offersText) data->Offer(CF_TEXT, Ansi("x"));
    else data->Offer(CF_HDROP, kxtest::HDropBytes({L"C:\\a"}));
    EXPECT_EQ(b.Enter(data.Get(), 0, c.allowed), c.effect);
    DWORD effect = c.allowed;
    b.DropTarget()->Drop(data.Get(), 0, b.ScreenPoint(1, 1), &effect);
    if (!c.offersText) {
      EXPECT_EQ(effect, 0u);
      EXPECT_TRUE(b.drops.empty());
    }
  }
}

TEST(TextTarget, AcceptanceFollowsTheAcceptedKinds) {
  Bound b;
  auto data = MakeFake();
  data->Offer(CF_TEXT, Ansi("x"));
  b.target->setAcceptTextFormats({dtfURL, dtfFiles});
  EXPECT_EQ(b.Enter(data.Get(), 0, DROPEFFECT_COPY), 0u);
  // Changing the accepted kinds during a drag re-evaluates the current data object at once.
  b.target->setAcceptText(true);
  DWORD effect = DROPEFFECT_COPY;
  b.DropTarget()->DragOver(0, b.ScreenPoint(1, 1), &effect);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
  // Accepting everything for the rest of the drag.
  auto files = MakeFake();
  files->Offer(CF_HDROP, kxtest::HDropBytes({L"C:\\a"}));
  b.target->setAcceptTextFormats({dtfText});
  EXPECT_EQ(b.Enter(files.Get(), 0, DROPEFFECT_COPY), 0u);
  b.target->SetAcceptAllFormatsQuery(true);
  effect = DROPEFFECT_COPY;
  b.DropTarget()->DragOver(0, b.ScreenPoint(1, 1), &effect);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
  b.DropTarget()->DragLeave();
  EXPECT_FALSE(b.target->getDataObject());
}

TEST(TextTarget, AvailableTextFormats) {
  struct Case {
    std::vector<UINT> formats;
    TDropTextFormats expected;
  };
  const UINT url = RegisterClipboardFormatW(L"UniformResourceLocator");
  const UINT bookmark = RegisterClipboardFormatW(L"Netscape Bookmark");
  const UINT html = RegisterClipboardFormatW(L"HTML Format");
  const UINT rtf = RegisterClipboardFormatW(L"Rich Text Format");
  const UINT other = RegisterClipboardFormatW(L"Kestrix Private");
  const UINT urlW = RegisterClipboardFormatW(L"UniformResourceLocatorW");
  const UINT textHtml = RegisterClipboardFormatW(L"text/html");
  const Case cases[] = {
      {{url, bookmark, CF_TEXT}, {dtfURL, dtfText, dtfCustom}},  // one counted test for both URL kinds
      {{urlW, url}, {dtfURL, dtfCustom}},                          // and for the Unicode one
      {{textHtml}, {dtfIEHTML}},
      {{html, textHtml}, {dtfIEHTML, dtfCustom}},
      {{CF_TEXT, CF_UNICODETEXT}, {dtfText}},
      {{CF_HDROP, html, rtf}, {dtfFiles, dtfIEHTML, dtfRichText}},
      {{other}, {dtfCustom}},
  };
  for (const Case& c : cases) {
    Bound b;
    auto data = MakeFake();
    for (UINT f : c.formats) data->Offer(f, "x");
    b.Enter(data.Get(), 0, DROPEFFECT_COPY);
    EXPECT_EQ(b.target->getAvailableTextFormats(), c.expected);
    EXPECT_GE(b.target->DataObjectRefCount(), 2);
    b.DropTarget()->DragLeave();
  }
}

TEST(TextTarget, DropTakesTheFirstAcceptedFormatInOrder) {
  const UINT url = RegisterClipboardFormatW(L"UniformResourceLocator");
  const UINT bookmark = RegisterClipboardFormatW(L"Netscape Bookmark");
  const UINT fgd = RegisterClipboardFormatW(L"FileGroupDescriptor");
  const UINT html = RegisterClipboardFormatW(L"HTML Format");
  struct Case {
    const char* name;
    TDropTextFormats accepted;
    std::function<void(FakeDataObject&)> offer;
    std::wstring text;
    TDropTextFormat kind;
    std::string title;
  };
  const Case cases[] = {
      {"unicode before ansi", {dtfText},
       [](FakeDataObject& d) { d.Offer(CF_TEXT, Ansi("ansi")).Offer(CF_UNICODETEXT, Wide(L"caf\u00E9 \u4E2D")); },
       L"caf\u00E9 \u4E2D", dtfText, ""},
      {"ansi text cut at its terminator", {dtfText},
       [](FakeDataObject& d) { d.Offer(CF_TEXT, std::string("a\r\nb\0slack", 10)); }, L"a\r\nb", dtfText, ""},
      {"browser link with its title", {dtfURL, dtfText},
       [&](FakeDataObject& d) {
         d.Offer(url, Ansi("http://example.test/")).Offer(fgd, kxtest::FileGroupDescriptorA("Page title.url")).Offer(CF_TEXT, Ansi("t"));
       },
       L"http://example.test/", dtfURL, "Page title"},
      {"bookmark drops its shortcut prefix", {dtfURL},
       [&](FakeDataObject& d) { d.Offer(bookmark, Ansi("http://b.test/")).Offer(fgd, kxtest::FileGroupDescriptorA("Shortcut to Page title.URL")); },
       L"http://b.test/", dtfURL, "Page title"},
      {"a link keeps the words Shortcut to", {dtfURL},
       [&](FakeDataObject& d) { d.Offer(url, Ansi("http://c.test/")).Offer(fgd, kxtest::FileGroupDescriptorA("Shortcut to Page title.URL")); },
       L"http://c.test/", dtfURL, "Shortcut to Page title"},
      {"a descriptor too short for a name gives no title", {dtfURL},
       [&](FakeDataObject& d) { d.Offer(url, Ansi("http://d.test/")).Offer(fgd, std::string(75, '\1')); },
       L"http://d.test/", dtfURL, ""},
      {"a title without terminator ends with the block", {dtfURL},
       [&](FakeDataObject& d) {
         std::string block(4 + 72, '\0');
         block[0] = 1;
         d.Offer(url, Ansi("http://e.test/")).Offer(fgd, block + "Title.url");
       },
       L"http://e.test/", dtfURL, "Title"},
      {"html is utf-8", {dtfIEHTML, dtfText},
       [&](FakeDataObject& d) { d.Offer(html, Ansi("<p>caf\xC3\xA9 \xE4\xB8\xAD</p>")).Offer(CF_TEXT, Ansi("t")); },
       L"<p>caf\u00E9 \u4E2D</p>", dtfIEHTML, ""},
      {"html ends where its header says", {dtfIEHTML},
       [&](FakeDataObject& d) { d.Offer(html, Ansi("Version:0.9\r\nStartHTML:39\r\nEndHTML:47\r\n<p>x</p>junk")); },
       L"Version:0.9\r\nStartHTML:39\r\nEndHTML:47\r\n<p>x</p>", dtfIEHTML, ""},
      {"files one per line", {dtfFiles, dtfText},
       [](FakeDataObject& d) { d.Offer(CF_HDROP, kxtest::HDropBytes({L"C:\\one.txt", L"C:\\two.txt"})).Offer(CF_TEXT, Ansi("t")); },
       L"C:\\one.txt\r\nC:\\two.txt", dtfFiles, ""},
      {"an HDROP without names", {dtfFiles}, [](FakeDataObject& d) { d.Offer(CF_HDROP, kxtest::HDropBytes({})); }, L"",
       dtfFiles, ""},
      {"an HDROP whose list runs past the block", {dtfFiles},
       [](FakeDataObject& d) { std::string h = kxtest::HDropBytes({L"C:\\x"}); d.Offer(CF_HDROP, h.substr(0, h.size() - 3)); },
       L"", dtfFiles, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bound b;
    b.target->setAcceptTextFormats(c.accepted);
    auto data = MakeFake();
    c.offer(*data);
    auto [hr, effect] = b.DragAndDrop(data.Get());
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
    EXPECT_EQ(b.target->getText(), c.text);
    EXPECT_EQ(b.target->getDroppedTextFormat(), c.kind);
    EXPECT_EQ(b.target->getURLTitle(), c.title);
    EXPECT_EQ(b.drops, std::vector<std::wstring>{c.text});
    EXPECT_EQ(b.target->getCustomFormatIndex(), -1);
    EXPECT_FALSE(b.target->getDataObject());  // the drop ended the drag
    EXPECT_EQ(FakeDataObject::OutstandingMedia(), 0);
  }
}

TEST(TextTarget, CustomFormats) {
  Bound b;
  b.target->setAcceptTextFormats({dtfCustom, dtfText});
  b.target->getCustomFormats()->Add(L"Kestrix First");
  b.target->getCustomFormats()->AddInteger(L"Kestrix Second", TYMED_HGLOBAL);
  auto data = MakeFake();
  data->Offer(L"Kestrix Second", std::string("raw\0bytes", 9)).Offer(CF_TEXT, Ansi("t"));
  b.DragAndDrop(data.Get());
  EXPECT_EQ(b.target->getCustomFormatIndex(), 1);
  EXPECT_EQ(b.target->getDroppedTextFormat(), dtfCustom);
  EXPECT_EQ(b.target->getText(), std::wstring(L"raw\0bytes", 9));  // custom formats keep every byte

  // A custom entry naming a standard format is fetched before the text rows and reports its kind.
  Bound n;
  n.target->setAcceptTextFormats({dtfCustom});
  n.target->getCustomFormats()->Add(L"13");
  auto unicode = MakeFake();
  unicode->Offer(CF_UNICODETEXT, Wide(L"wide"));
  n.DragAndDrop(unicode.Get());
  EXPECT_EQ(n.target->getDroppedTextFormat(), dtfText);
  EXPECT_EQ(n.target->getCustomFormatIndex(), 0);
  EXPECT_EQ(n.target->getText().substr(0, 4), L"wide");

  // A custom entry on another medium: probed with it, dropped with an empty text.
  Bound s;
  s.target->setAcceptTextFormats({dtfCustom});
  s.target->getCustomFormats()->AddInteger(L"Kestrix Stream", TYMED_ISTREAM);
  auto streamed = MakeFake();
  streamed->OfferRendered(RegisterClipboardFormatW(L"Kestrix Stream"), TYMED_ISTREAM, [](const FORMATETC&, STGMEDIUM& m) {
    m.tymed = TYMED_ISTREAM;
    return CreateStreamOnHGlobal(nullptr, TRUE, &m.pstm);
  });
  EXPECT_EQ(s.Enter(streamed.Get(), 0, DROPEFFECT_COPY), DWORD(DROPEFFECT_COPY));
  s.DropTarget()->DragLeave();
  s.DragAndDrop(streamed.Get());
  EXPECT_EQ(s.drops, std::vector<std::wstring>{L""});
  EXPECT_EQ(s.target->getCustomFormatIndex(), 0);
  EXPECT_EQ(FakeDataObject::OutstandingMedia(), 0);
}

TEST(TextTarget, RefusedAndFailedDropsLeaveTheLastDropAlone) {
  Bound b;
  auto good = MakeFake();
  good->Offer(CF_TEXT, Ansi("first"));
  b.DragAndDrop(good.Get());
  ASSERT_EQ(b.target->getText(), L"first");

  // Refused by the effect choice: Ctrl over a move-only source.
  auto [hr, effect] = b.DragAndDrop(good.Get(), MK_CONTROL, DROPEFFECT_MOVE);
  EXPECT_EQ(hr, static_cast<HRESULT>(0xFFFFFFFF));
  EXPECT_EQ(effect, 0u);

  // Claimed at DragEnter, then GetData fails.
  auto liar = MakeFake();
  liar->OfferBroken(CF_TEXT, E_OUTOFMEMORY);
  std::tie(hr, effect) = b.DragAndDrop(liar.Get());
  EXPECT_EQ(hr, E_OUTOFMEMORY);
  EXPECT_EQ(effect, 0u);

  // A medium other than the block asked for, and a null block: empty text, still a drop.
  auto odd = MakeFake();
  odd->OfferRendered(CF_TEXT, TYMED_HGLOBAL, [](const FORMATETC&, STGMEDIUM& m) {
    m.tymed = TYMED_ISTREAM;
    return CreateStreamOnHGlobal(nullptr, TRUE, &m.pstm);
  });
  std::tie(hr, effect) = b.DragAndDrop(odd.Get());
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(b.target->getText(), L"");
  auto null = MakeFake();
  null->OfferRendered(CF_TEXT, TYMED_HGLOBAL, [](const FORMATETC&, STGMEDIUM& m) {
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = nullptr;
    return S_OK;
  });
  std::tie(hr, effect) = b.DragAndDrop(null.Get());
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(b.drops.back(), L"");
  EXPECT_EQ(b.drops.size(), 3u);
  EXPECT_EQ(FakeDataObject::OutstandingMedia(), 0);

  // An override to an effect the source does not allow: reported as none, yet the data arrives.
  b.target->SetOverrideDropEffect(deCopy, deLink);
  auto more = MakeFake();
  more->Offer(CF_TEXT, Ansi("second"));
  std::tie(hr, effect) = b.DragAndDrop(more.Get(), 0, DROPEFFECT_COPY);
  EXPECT_EQ(effect, 0u);
  EXPECT_EQ(b.target->getText(), L"second");

  // A handler that fails: its exception goes to the application and the drop reports no effect,
  // so that a source offering move keeps its data.
  b.target->SetOverrideDropEffect(deCopy, deCopy);
  std::vector<std::string> handled;
  const vcl::TExceptionEvent saved = vcl::Application->OnException();
  vcl::Application->SetOnException([&](vcl::TObject*, std::exception_ptr) { handled.push_back("raised"); });
  b.target->setOnDrop([](TObject*, vcl::TWinControl*, const std::wstring&, int, int) { throw vcl::Exception(L"handler failed"); });
  std::tie(hr, effect) = b.DragAndDrop(more.Get(), 0, DROPEFFECT_COPY | DROPEFFECT_MOVE);
  vcl::Application->SetOnException(saved);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(effect, 0u);
  EXPECT_EQ(handled.size(), 1u);
}

TEST(TextTarget, DroppedLinesAndTitlesOutliveLaterDrops) {
  Bound b;
  b.target->setAcceptTextFormats({dtfURL, dtfText});
  auto link = MakeFake();
  link->Offer(RegisterClipboardFormatW(L"UniformResourceLocator"), Ansi("http://x.test/"))
      .Offer(RegisterClipboardFormatW(L"FileGroupDescriptor"), kxtest::FileGroupDescriptorA("Kept.url"));
  b.DragAndDrop(link.Get());
  auto text = MakeFake();
  text->Offer(CF_TEXT, Ansi("one\r\ntwo"));
  b.DragAndDrop(text.Get());
  EXPECT_EQ(b.target->getURLTitle(), "Kept");
  vcl::TStrings* lines = b.target->getDroppedLines();
  ASSERT_EQ(lines->Count(), 2);
  EXPECT_EQ(lines->Strings(1), L"two");
}
