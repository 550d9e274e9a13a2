// Real drags onto text targets, driven by synthesized mouse input: from a Kestrix source into a
// Kestrix target in another process, and from foreign data objects (the shell's own for files, a
// browser-like link, HTML) into a target in this process.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "formats/KXHTMLBlock.h"
#include "formats/KXUtil.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "peers/DragDropHelperRegistration.h"
#include "sources/KXTextSource.h"
#include "support/DragDriver.h"
#include "support/FakeDataObject.h"
#include "support/PeerProcess.h"
#include "support/RawDragSource.h"
#include "support/RawDropTarget.h"
#include "support/TestSupport.h"
#include "targets/KXTextTarget.h"

using namespace kestrix;
using vcl::TComPtr;
using namespace std::string_literals;

namespace {

// A form with a memo bound to a text target, on the screen.
struct TargetForm {
  vcl::TForm form{nullptr};
  vcl::TMemo* memo;
  TKXTextTarget* target;
  int drops = 0;
  vcl::TPoint at;

  explicit TargetForm(TDropTextFormats accepted) {
    form.SetText(L"kestrix text target");
    form.SetBounds(560, 120, 320, 220);
    memo = new vcl::TMemo(&form);
    memo->SetParent(&form);
    memo->SetBounds(10, 10, 280, 150);
    target = new TKXTextTarget(&form);
    target->setAcceptTextFormats(accepted);
    target->setAcceptorControl(memo);
    target->setOnDrop([this](TObject*, vcl::TWinControl*, const std::wstring&, int x, int y) {
      ++drops;
      at = {x, y};
    });
    ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
    kxtest::PumpMessages(200);
  }
};

// Drags a foreign data object from a plain source window onto the memo; returns DoDragDrop's result.
HRESULT DragOnto(IDataObject* data, vcl::TMemo* memo, DWORD allowed, DWORD* effect) {
  kxtest::TestWindow source(L"foreign source", {60, 120, 260, 320});
  kxtest::DragDriver driver;
  if (!driver.Press(source.Handle(), source.Centre())) return E_FAIL;
  driver.Run(kxtest::DropOn(memo->Handle(), {60, 40}));
  auto* dropSource = new kxtest::RawDropSource();
  HRESULT hr = DoDragDrop(data, dropSource, allowed, effect);
  dropSource->Release();
  EXPECT_TRUE(driver.Wait());
  return hr;
}

std::string Ansi(const std::string& s) { return s + '\0'; }

// Starts the Kestrix text target peer with its window at Rect; its window, or null.
HWND StartTextTargetPeer(kxtest::PeerProcess& peer, const std::wstring& title, const std::wstring& rect) {
  if (!peer.Start(L"kx_peer_texttarget.exe", {L"--title", title, L"--rect", rect}) || !peer.WaitReady()) return nullptr;
  return kxtest::FindPeerWindow(title);
}

}  // namespace

TEST(TextTargetDrag, KestrixSourceToKestrixTargetInAnotherProcess) {
  kxtest::PeerProcess peer;
  HWND peerWindow = StartTextTargetPeer(peer, L"kx text target peer", L"620,140,320,220");
  ASSERT_NE(peerWindow, nullptr);

  vcl::TForm form(nullptr);
  form.SetBounds(60, 140, 300, 220);
  auto* donor = new vcl::TListBox(&form);
  donor->SetParent(&form);
  donor->SetBounds(10, 10, 260, 150);
  donor->Items().Add(L"first line");
  donor->Items().Add(L"gr\u00FC\u00DFe \u4E2D");
  form.Show();
  donor->SetItemIndex(1);
  auto* source = new TKXTextSource(&form);
  source->setDonorComponent(donor);
  bool droppedOK = false;
  source->setOnAfterDrop([&](TObject*, TComponent*, bool ok) { droppedOK = ok; });
  kxtest::PumpMessages(200);

  kxtest::DragDriver driver;
  ASSERT_TRUE(driver.Press(donor->Handle(), {40, 25}));
  driver.Run(kxtest::DropOn(peerWindow, {100, 60}));
  EXPECT_TRUE(source->Execute());
  EXPECT_TRUE(driver.Wait());
  ASSERT_TRUE(peer.WaitExit());
  auto result = peer.Result();
  EXPECT_EQ(vcl::UnicodeFromUtf8(kxtest::BytesFromHex(result["text"])), L"gr\u00FC\u00DFe \u4E2D");
  EXPECT_EQ(result["kind"], std::to_string(dtfText));
  // The memo sits at the form's client origin; its client area starts inside its sunken edge.
  EXPECT_EQ(result["x"], std::to_string(100 - GetSystemMetrics(SM_CXEDGE)));
  EXPECT_EQ(result["y"], std::to_string(60 - GetSystemMetrics(SM_CYEDGE)));
  EXPECT_TRUE(droppedOK);
  EXPECT_EQ(source->getReturnedEffect(), deCopy);
  EXPECT_EQ(result["effect"], std::to_string(deCopy));
}

TEST(TextTargetDrag, TheShellsOwnDataObjectForTwoFiles) {
  std::wstring folder = kxtest::MakeTempFolder(L"shellfiles");
  for (const wchar_t* name : {L"alpha.txt", L"beta.txt"}) {
    HANDLE f = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(f);
  }
  TComPtr<IShellFolder> desktop, shellFolder;
  ASSERT_HRESULT_SUCCEEDED(SHGetDesktopFolder(desktop.Put()));
  vcl::TCoTaskMem<ITEMIDLIST> folderList;
  ASSERT_HRESULT_SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, folder.data(), nullptr, folderList.Put(), nullptr));
  ASSERT_HRESULT_SUCCEEDED(desktop->BindToObject(folderList.Get(), nullptr, IID_IShellFolder, shellFolder.PutVoid()));
  vcl::TCoTaskMem<ITEMIDLIST> a, b;
  std::wstring an = L"alpha.txt", bn = L"beta.txt";
  ASSERT_HRESULT_SUCCEEDED(shellFolder->ParseDisplayName(nullptr, nullptr, an.data(), nullptr, a.Put(), nullptr));
  ASSERT_HRESULT_SUCCEEDED(shellFolder->ParseDisplayName(nullptr, nullptr, bn.data(), nullptr, b.Put(), nullptr));
  LPCITEMIDLIST items[] = {a.Get(), b.Get()};
  TComPtr<IDataObject> data;
  ASSERT_HRESULT_SUCCEEDED(shellFolder->GetUIObjectOf(nullptr, 2, items, IID_IDataObject, nullptr, data.PutVoid()));

  TargetForm t({dtfFiles, dtfText});
  DWORD effect = 0;
  EXPECT_EQ(DragOnto(data.Get(), t.memo, DROPEFFECT_COPY | DROPEFFECT_LINK, &effect), DRAGDROP_S_DROP);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
  ASSERT_EQ(t.drops, 1);
  EXPECT_EQ(t.target->getDroppedTextFormat(), dtfFiles);
  const std::wstring text = t.target->getText();
  EXPECT_EQ(text, folder + L"alpha.txt\r\n" + folder + L"beta.txt");
  EXPECT_EQ(text.find(L"\r\n"), text.rfind(L"\r\n"));  // exactly one line break
  EXPECT_EQ(t.target->getDroppedLines()->Count(), 2);
  EXPECT_EQ(t.at, (vcl::TPoint{60, 40}));
}

TEST(TextTargetDrag, BrowserLikeLinksBringTheirTitles) {
  struct Case {
    const wchar_t* format;
    const char* descriptorName;
    const char* title;
  };
  const Case cases[] = {
      {L"UniformResourceLocator", "Page title.url", "Page title"},
      {L"Netscape Bookmark", "Shortcut to Page title.URL", "Page title"},
  };
  for (const Case& c : cases) {
    auto data = kxtest::MakeFake();
    data->Offer(c.format, Ansi("http://example.test/page"))
        .Offer(L"FileGroupDescriptor", kxtest::FileGroupDescriptorA(c.descriptorName))
        .Offer(CF_TEXT, Ansi("http://example.test/page"));
    TargetForm t({dtfURL, dtfText});
    DWORD effect = 0;
    EXPECT_EQ(DragOnto(data.Get(), t.memo, DROPEFFECT_COPY | DROPEFFECT_LINK, &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(t.target->getText(), L"http://example.test/page");
    EXPECT_EQ(t.target->getDroppedTextFormat(), dtfURL);
    EXPECT_EQ(t.target->getURLTitle(), c.title);
  }
  EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
}

TEST(TextTargetDrag, HtmlArrivesAsUtf8) {
  auto data = kxtest::MakeFake();
  const std::string html = "Version:0.9\r\n<html><body>Gr\xC3\xBC\xC3\x9F" "e \xE4\xB8\xAD \xE2\x9C\x93</body></html>";
  data->Offer(L"HTML Format", Ansi(html)).Offer(CF_TEXT, Ansi("Gre"));
  TargetForm t({dtfIEHTML, dtfText});
  DWORD effect = 0;
  EXPECT_EQ(DragOnto(data.Get(), t.memo, DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
  EXPECT_EQ(t.target->getDroppedTextFormat(), dtfIEHTML);
  EXPECT_EQ(t.target->getText(), vcl::UnicodeFromUtf8(html));
  EXPECT_NE(t.target->getText().find(L"Gr\u00FC\u00DFe \u4E2D \u2713"), std::wstring::npos);
}

// ---- data objects laid out as today's browsers, word processors and the file manager offer them ----

namespace {

std::string Utf16Z(const std::wstring& s) { return EncodedAnsiStringFromUnicodeString(s) + std::string(2, '\0'); }

// A FILEGROUPDESCRIPTORW with one record named Name (592-byte records, the name at 72).
std::string FileGroupDescriptorW(const std::wstring& name) {
  std::string block(4 + 592, '\0');
  block[0] = 1;
  const std::string bytes = EncodedAnsiStringFromUnicodeString(name.substr(0, 259));
  block.replace(4 + 72, bytes.size(), bytes);
  return block;
}

// A link as a Chromium-based browser offers it (no ANSI descriptor), or, with ansiTitle, as
// Firefox does (both descriptors; its ANSI name has '_' for what the code page lacks).
vcl::TComPtr<kxtest::FakeDataObject> BrowserLink(const std::wstring& url, const std::wstring& title,
                                                 const char* ansiTitle = nullptr, std::wstring shortcutName = {}) {
  auto data = kxtest::MakeFake();
  data->Offer(L"UniformResourceLocatorW", Utf16Z(url))
      .Offer(L"UniformResourceLocator", vcl::AnsiFromUnicode(url) + '\0')
      .Offer(CF_UNICODETEXT, Utf16Z(url))
      .Offer(CF_TEXT, vcl::AnsiFromUnicode(url) + '\0')
      .Offer(L"text/x-moz-url", EncodedAnsiStringFromUnicodeString(url + L"\n" + title))
      .Offer(L"FileGroupDescriptorW", FileGroupDescriptorW((shortcutName.empty() ? title : shortcutName) + L".url"));
  if (ansiTitle) data->Offer(L"FileGroupDescriptor", kxtest::FileGroupDescriptorA(std::string(ansiTitle) + ".url"));
  data->Offer(L"FileContents", "[InternetShortcut]\r\nURL=" + vcl::AnsiFromUnicode(url) + "\r\n")
      .Offer(L"HTML Format", blocks::HTMLBlockFromFragment("<a href=\"x\">x</a>"));
  return data;
}

// A page title with characters file names cannot hold, longer than browsers' shortcut names, and
// the shortcut name Chromium makes of it.
const std::wstring kLongTitle = L"Q&A: \"why?\" <a|b> " + std::wstring(130, L'x');
const std::wstring kLongTitleAsName = (L"Q&A- -why-- -a-b- " + std::wstring(130, L'x')).substr(0, 125);

// An image dragged from a browser: its address as the link, the picture as a virtual file under
// its own name, and "text/x-moz-url" with the page's title when the browser knows one.
vcl::TComPtr<kxtest::FakeDataObject> BrowserImage(const std::wstring& pageTitle) {
  const std::wstring url = L"https://example.test/bild.png";
  auto data = kxtest::MakeFake();
  data->Offer(L"UniformResourceLocatorW", Utf16Z(url))
      .Offer(L"text/x-moz-url", EncodedAnsiStringFromUnicodeString(url + L"\n" + pageTitle))
      .Offer(L"FileGroupDescriptorW", FileGroupDescriptorW(L"bild.png"))
      .Offer(L"FileContents", "\x89PNG")
      .Offer(CF_UNICODETEXT, Utf16Z(url));
  return data;
}

// A link offered as nothing but "text/x-moz-url" (and the plain text of its address).
vcl::TComPtr<kxtest::FakeDataObject> MozURLOnly(const std::wstring& url, const std::wstring& title) {
  auto data = kxtest::MakeFake();
  data->Offer(L"text/x-moz-url", EncodedAnsiStringFromUnicodeString(url + L"\r\n" + title)).Offer(CF_UNICODETEXT, Utf16Z(url));
  return data;
}

// Bytes of allocation slack after a block's data.
constexpr size_t kSlack = 37;

// An "HTML Format" block as a word processor writes it: version 1.0, selection offsets and a
// source URL; the fragment follows multi-byte text; the allocation is larger than the data and
// holds no NUL.
std::string WordProcessorHTML(const std::string& fragment, const std::string& url) {
  const std::string before = "<html><body>\xC3\xBC\xC3\xBC<!--StartFragment-->", after = "<!--EndFragment--></body></html>";
  auto header = [&](size_t start) {
    char buf[512];
    const size_t sf = start + before.size(), ef = sf + fragment.size(), eh = ef + after.size();
    std::snprintf(buf, sizeof buf,
                  "Version:1.0\r\nStartHTML:%08zu\r\nEndHTML:%08zu\r\nStartFragment:%08zu\r\nEndFragment:%08zu\r\n"
                  "StartSelection:%08zu\r\nEndSelection:%08zu\r\nSourceURL:%s\r\n",
                  start, eh, sf, ef, sf, ef, url.c_str());
    return std::string(buf);
  };
  const std::string h = header(header(0).size());
  return h + before + fragment + after + std::string(kSlack, 'x');
}

}  // namespace

TEST(TextTargetDrag, LinksOfTodaysBrowsersBringTheirTitles) {
  struct Case {
    const char* what;
    vcl::TComPtr<kxtest::FakeDataObject> data;
    std::wstring title;
  } cases[] = {
      {"Chromium, Unicode descriptor only", BrowserLink(L"https://example.test/\u00E9", L"Page title"), L"Page title"},
      {"Firefox, both descriptors", BrowserLink(L"https://example.test/", L"Caf\u00E9 \u2013 \u6771\u4EAC", "Caf\xE9 \x96 __"),
       L"Caf\u00E9 \u2013 \u6771\u4EAC"},
      {"'.url' inside the title", BrowserLink(L"https://example.test/", L"Parse.URLs \u2013 Doku"), L"Parse.URLs \u2013 Doku"},
      // The shortcut's name has '-' for what file names cannot hold and is cut at 125 characters;
      // "text/x-moz-url" has the title itself.
      {"Chromium, a title no file name can hold", BrowserLink(L"https://example.test/", kLongTitle, nullptr, kLongTitleAsName),
       kLongTitle},
      {"an image: a descriptor's name is no title", BrowserImage(L""), L""},
      {"an image with the page's title", BrowserImage(L"The page"), L"The page"},
      {"a link only as text/x-moz-url", MozURLOnly(L"https://example.test/x", L"Only \u6771"), L"Only \u6771"},
  };
  for (Case& c : cases) {
    TargetForm t({dtfURL, dtfIEHTML, dtfRichText, dtfFiles, dtfText, dtfCustom});
    DWORD effect = 0;
    EXPECT_EQ(DragOnto(c.data.Get(), t.memo, DROPEFFECT_COPY | DROPEFFECT_LINK, &effect), DRAGDROP_S_DROP) << c.what;
    EXPECT_EQ(t.target->getDroppedTextFormat(), dtfURL) << c.what;
    EXPECT_EQ(t.target->getText().substr(0, 20), L"https://example.test") << c.what;
    EXPECT_EQ(t.target->getURLTitleW(), c.title) << c.what;
    EXPECT_EQ(t.target->getURLTitle(), vcl::AnsiFromUnicode(c.title)) << c.what;
  }
  // The Unicode URL is read before the ANSI one, and with no descriptor the title comes from
  // "text/x-moz-url".
  auto data = kxtest::MakeFake();
  data->Offer(L"UniformResourceLocator", "https://example.test/?\0"s)
      .Offer(L"UniformResourceLocatorW", Utf16Z(L"https://example.test/\u00E9"))
      .Offer(L"text/x-moz-url", EncodedAnsiStringFromUnicodeString(L"https://example.test/\u00E9\r\n\u6771\u4EAC"));
  TargetForm t({dtfURL});
  DWORD effect = 0;
  EXPECT_EQ(DragOnto(data.Get(), t.memo, DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
  EXPECT_EQ(t.target->getText(), L"https://example.test/\u00E9");
  EXPECT_EQ(t.target->getURLTitleW(), L"\u6771\u4EAC");
  EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
}

TEST(TextTargetDrag, SelectedHTMLBringsItsFragment) {
  const std::string fragment = "<p>Gr\xC3\xBC\xC3\x9F" "e \xE6\x9D\xB1</p>";
  const std::string block = WordProcessorHTML(fragment, "https://example.test/doc");
  struct Case {
    const char* what;
    const wchar_t* format;
    std::string bytes;
    std::wstring text, fragment, sourceURL;
  } cases[] = {
      // Text is the block up to EndHTML: the slack after it is not the source's.
      {"HTML Format, no NUL, slack", L"HTML Format", block, vcl::UnicodeFromUtf8(block.substr(0, block.size() - kSlack)),
       vcl::UnicodeFromUtf8(fragment),
       L"https://example.test/doc"},
      {"text/html in UTF-16", L"text/html", "\xFF\xFE"s + EncodedAnsiStringFromUnicodeString(L"<b>\u6771</b>"), L"<b>\u6771</b>",
       L"<b>\u6771</b>", L""},
      {"text/html in UTF-8", L"text/html", "<b>\xE6\x9D\xB1</b>\0"s, L"<b>\u6771</b>", L"<b>\u6771</b>", L""},
  };
  for (const Case& c : cases) {
    auto data = kxtest::MakeFake();
    data->Offer(c.format, c.bytes).Offer(CF_UNICODETEXT, Utf16Z(L"plain"));
    TargetForm t({dtfIEHTML, dtfText});
    DWORD effect = 0;
    EXPECT_EQ(DragOnto(data.Get(), t.memo, DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP) << c.what;
    EXPECT_EQ(t.target->getDroppedTextFormat(), dtfIEHTML) << c.what;
    EXPECT_EQ(t.target->getText(), c.text) << c.what;
    EXPECT_EQ(t.target->getHTMLFragment(), c.fragment) << c.what;
    EXPECT_EQ(t.target->getHTMLSourceURL(), c.sourceURL) << c.what;
  }
}

TEST(TextTargetDrag, FilesFromTheFileManagerAreNeverReportedMoved) {
  const std::wstring longPath = L"C:\\" + std::wstring(300, L'd') + L"\\file.txt";  // 313 + "C:\" = 315
  struct Case {
    const char* what;
    std::vector<std::wstring> names;
    DWORD allowed;
    DWORD effect;
  } cases[] = {
      {"copy, move and link allowed", {L"C:\\docs\\a.txt", L"C:\\docs\\b.txt"}, DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK,
       DROPEFFECT_COPY},
      {"move and link allowed", {L"C:\\docs\\a.txt"}, DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_LINK},
      {"a name longer than MAX_PATH", {longPath}, DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_COPY},
  };
  for (const Case& c : cases) {
    auto data = kxtest::MakeFake();
    data->Offer(CF_HDROP, kxtest::HDropBytes(c.names))
        .Offer(L"Shell IDList Array", std::string(16, '\0'))
        .Offer(L"FileNameW", Utf16Z(c.names[0]))
        .Offer(L"Preferred DropEffect", std::string("\x05\0\0\0", 4));
    TargetForm t({dtfFiles, dtfText});
    DWORD effect = 0;
    EXPECT_EQ(DragOnto(data.Get(), t.memo, c.allowed, &effect), DRAGDROP_S_DROP) << c.what;
    EXPECT_EQ(effect, c.effect) << c.what;
    std::wstring expected;
    for (const std::wstring& n : c.names) expected += (expected.empty() ? L"" : L"\r\n") + n;
    EXPECT_EQ(t.target->getText(), expected) << c.what;
  }
  // An application that maps copy to move still gets move.
  auto data = kxtest::MakeFake();
  data->Offer(CF_HDROP, kxtest::HDropBytes({L"C:\\docs\\a.txt"}));
  TargetForm t({dtfFiles});
  t.target->SetOverrideDropEffect(deCopy, deMove);
  DWORD effect = 0;
  EXPECT_EQ(DragOnto(data.Get(), t.memo, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect), DRAGDROP_S_DROP);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_MOVE));
}

TEST(TextTargetDrag, ABrowserLinkReachesATargetInAnotherProcess) {
  kxtest::PeerProcess peer;
  HWND peerWindow = StartTextTargetPeer(peer, L"kx link target peer", L"560,120,320,220");
  ASSERT_NE(peerWindow, nullptr);
  const std::wstring title = L"Caf\u00E9 \u2013 \u6771\u4EAC";
  auto data = BrowserLink(L"https://example.test/", title);
  kxtest::TestWindow source(L"foreign source", {60, 120, 260, 320});
  kxtest::DragDriver driver;
  ASSERT_TRUE(driver.Press(source.Handle(), source.Centre()));
  driver.Run(kxtest::DropOn(peerWindow, {100, 60}));
  auto* dropSource = new kxtest::RawDropSource();
  DWORD effect = 0;
  EXPECT_EQ(DoDragDrop(data.Get(), dropSource, DROPEFFECT_COPY | DROPEFFECT_LINK, &effect), DRAGDROP_S_DROP);
  dropSource->Release();
  EXPECT_TRUE(driver.Wait());
  ASSERT_TRUE(peer.WaitExit());
  auto result = peer.Result();
  EXPECT_EQ(result["kind"], std::to_string(dtfURL));
  EXPECT_EQ(vcl::UnicodeFromUtf8(kxtest::BytesFromHex(result["titlew"])), title);
  EXPECT_EQ(vcl::UnicodeFromUtf8(kxtest::BytesFromHex(result["text"])), L"https://example.test/");
}

TEST(TextTargetDrag, TargetsForwardTheirCallsToTheShellsHelper) {
  kxtest::TDragDropHelperRegistration registration(kxtest::MakeTempFolder(L"droptargethelper") + L"helper.log");
  ASSERT_TRUE(registration.Ok());
  auto data = kxtest::MakeFake();
  data->Offer(CF_TEXT, Ansi("text"));
  TargetForm t({dtfText});
  DWORD effect = 0;
  EXPECT_EQ(DragOnto(data.Get(), t.memo, DROPEFFECT_COPY, &effect), DRAGDROP_S_DROP);
  EXPECT_EQ(t.drops, 1);
  const std::string log = registration.LogText();
  EXPECT_EQ(log.rfind("DragEnter no image effect 1\n", 0), 0u) << log;
  EXPECT_NE(log.find("DragOver effect 1\n"), std::string::npos) << log;
  EXPECT_EQ(log.substr(log.size() - std::min<size_t>(log.size(), 14)), "Drop effect 1\n") << log;
}
