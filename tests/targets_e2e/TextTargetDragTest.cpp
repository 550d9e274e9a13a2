// Real drags onto text targets, driven by synthesized mouse input: from a Kestrix source into a
// Kestrix target in another process, and from foreign data objects (the shell's own for files, a
// browser-like link, HTML) into a target in this process.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <memory>

#include "formats/KXUtil.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
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

}  // namespace

TEST(TextTargetDrag, KestrixSourceToKestrixTargetInAnotherProcess) {
  kxtest::PeerProcess peer;
  ASSERT_TRUE(peer.Start(L"kx_peer_texttarget.exe", {L"--title", L"kx text target peer", L"--rect", L"620,140,320,220"}));
  ASSERT_TRUE(peer.WaitReady());
  HWND peerWindow = kxtest::FindPeerWindow(L"kx text target peer");
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
