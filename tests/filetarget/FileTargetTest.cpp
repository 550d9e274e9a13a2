// TKXFileTarget with foreign data objects: a mail client's drag of attachments and a message
// (streams and a storage) by a real DoDragDrop, a hostile descriptor saved into a folder, and a
// source that completes the drop asynchronously (IAsyncOperation).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "formats/KXFileGroupBlock.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "support/DragDriver.h"
#include "support/FakeDataObject.h"
#include "support/RawDragSource.h"
#include "support/TestSupport.h"
#include "targets/KXDropTargetBase.h"
#include "targets/KXFileTarget.h"
#include "textsource/ApplicationExceptions.h"
#include "vocabulary/KXMiscIntf.h"

using namespace kestrix;
using vcl::TComPtr;

namespace {

struct Item {
  std::wstring name;     // as the descriptor states it
  std::string contents;  // rendered as a stream; "!" fails GetData
  bool storage = false;  // rendered as a compound file holding the bytes in stream "body"
  std::uint64_t statedSize = 0;
};

std::string Descriptor(const std::vector<Item>& items, bool wide) {
  std::vector<blocks::TFileGroupEntry> entries;
  for (const Item& i : items) {
    std::string name = wide ? std::string(reinterpret_cast<const char*>(i.name.data()), i.name.size() * 2)
                            : vcl::AnsiFromUnicode(L"ansi-" + i.name);
    entries.push_back({name, i.statedSize != 0, i.statedSize, 0, 0x01D0000000000000ull});
  }
  return blocks::FileGroupBlock(entries, wide);
}

HRESULT RenderItem(const Item& item, STGMEDIUM& m) {
  if (item.contents == "!") return E_FAIL;
  if (!item.storage) {
    m.tymed = TYMED_ISTREAM;
    return CreateStreamOnHGlobal(kxtest::GlobalWithBytes(item.contents), TRUE, &m.pstm);
  }
  TComPtr<ILockBytes> bytes;
  TComPtr<IStorage> storage;
  TComPtr<IStream> body;
  if (FAILED(CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.Put())) ||
      FAILED(StgCreateDocfileOnILockBytes(bytes.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.Put())) ||
      FAILED(storage->CreateStream(L"body", STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, body.Put())))
    return E_FAIL;
  body->Write(item.contents.data(), static_cast<ULONG>(item.contents.size()), nullptr);
  body.Reset();
  storage->Commit(STGC_DEFAULT);
  m.tymed = TYMED_ISTORAGE;
  m.pstg = storage.Detach();
  return S_OK;
}

// Offers the descriptor (Unicode and ANSI) and FileContents for each item, in a stream or storage.
void OfferItems(kxtest::FakeDataObject& data, const std::vector<Item>& items, std::string wideBlock) {
  data.Offer(CF_FILEGROUPDESCRIPTORW, std::move(wideBlock));
  data.Offer(CF_FILEGROUPDESCRIPTOR, Descriptor(items, false));
  data.OfferRendered(CF_FILECONTENTS, TYMED_ISTREAM | TYMED_ISTORAGE, [items](const FORMATETC& fe, STGMEDIUM& m) {
    if (fe.lindex < 0 || static_cast<size_t>(fe.lindex) >= items.size()) return DV_E_LINDEX;
    return RenderItem(items[static_cast<size_t>(fe.lindex)], m);
  });
}

// A form with a panel bound to a file target, on the screen. The test reaches the drop-target
// object as OLE does, through IDropTarget.
struct TargetForm {
  struct Target : TKXFileTarget {
    using TKXFileTarget::TKXFileTarget;
    IDropTarget* DropTarget() const { return DropTargetObject(); }
  };
  vcl::TForm form{nullptr};
  vcl::TPanel* panel = new vcl::TPanel(&form);
  Target* target = new Target(&form);
  int drops = 0;

  TargetForm() {
    form.SetBounds(560, 120, 320, 220);
    panel->SetParent(&form);
    panel->SetBounds(0, 0, 300, 180);
    target->setAcceptorControl(panel);
    target->setOnDrop([this](TObject*, vcl::TWinControl*, int, int) { ++drops; });
    ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);
    kxtest::PumpMessages(200);
  }
  // Enter and drop without a drag loop; the effect Drop reports.
  DWORD DropDirect(IDataObject* data, DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE) {
    POINTL pt{600, 160};
    DWORD effect = allowed;
    target->DropTarget()->DragEnter(data, 0, pt, &effect);
    effect = allowed;
    target->DropTarget()->Drop(data, 0, pt, &effect);
    return effect;
  }
};

// True while DoDragDrop runs (the source's drag loop).
std::atomic<bool> inDrag{false};

HRESULT DragOnto(IDataObject* data, HWND target, DWORD* effect) {
  kxtest::TestWindow source(L"mail source", {60, 120, 260, 320});
  kxtest::DragDriver driver;
  if (!driver.Press(source.Handle(), source.Centre())) return E_FAIL;
  driver.Run(kxtest::DropOn(target, {60, 40}));
  auto* dropSource = new kxtest::RawDropSource();
  inDrag = true;
  HRESULT hr = DoDragDrop(data, dropSource, DROPEFFECT_COPY | DROPEFFECT_MOVE, effect);
  inDrag = false;
  dropSource->Release();
  EXPECT_TRUE(driver.Wait());
  return hr;
}

std::string FileBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[4096];
  for (DWORD got = 0; ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got;) bytes.append(buffer, got);
  CloseHandle(h);
  return bytes;
}

std::set<std::wstring> Listing(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.insert(found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// A new empty folder (a test program's process id may repeat between runs).
std::wstring FreshFolder(const std::wstring& tag) { return kxtest::MakeTempFolder(tag + L"-" + std::to_wstring(GetTickCount())); }

std::wstring Parent(std::wstring folder) {
  folder.pop_back();
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// A foreign data object that can complete a drop asynchronously and records how it was told.
class AsyncData : public kxtest::FakeDataObject, public IAsyncOperation {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv && riid == IID_IAsyncOperation) {
      *ppv = static_cast<IAsyncOperation*>(this);
      AddRef();
      return S_OK;
    }
    return FakeDataObject::QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return FakeDataObject::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return FakeDataObject::Release(); }
  STDMETHODIMP SetAsyncMode(BOOL) override { return S_OK; }
  STDMETHODIMP GetAsyncMode(BOOL* on) override { return *on = TRUE, S_OK; }
  STDMETHODIMP StartOperation(IBindCtx*) override { return ++starts, startedInDrop = inDrag, S_OK; }
  STDMETHODIMP InOperation(BOOL* on) override { return *on = starts > ends, S_OK; }
  STDMETHODIMP EndOperation(HRESULT hr, IBindCtx*, DWORD effect) override {
    return ++ends, endResult = hr, endEffect = effect, S_OK;
  }
  int starts = 0, ends = 0;
  bool startedInDrop = false;
  HRESULT endResult = S_FALSE;
  DWORD endEffect = 0xFF;
};

const std::vector<Item> kMail = {
    {L"Grüße.txt", "first attachment\r\n"},
    {L"scan.pdf", std::string("%PDF-\0\x01\x02 binary", 16)},
    {L"Re: lunch.msg", "the message body", true},
};

}  // namespace

TEST(FileTarget, MailDragThenSaveAfterDropReturned) {
  auto data = kxtest::MakeFake();
  OfferItems(*data, kMail, Descriptor(kMail, true));
  TargetForm t;
  DWORD effect = 0;
  ASSERT_EQ(DragOnto(data.Get(), t.panel->Handle(), &effect), DRAGDROP_S_DROP);
  EXPECT_EQ(effect, DWORD{DROPEFFECT_COPY});  // no keys: copy, though the source allows move
  EXPECT_EQ(t.drops, 1);
  ASSERT_EQ(t.target->getFileCount(), 3);
  EXPECT_TRUE(t.target->getDropOpen());
  EXPECT_FALSE(t.target->getDropIsAsynchronous());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(t.target->getFile(i).Name, kMail[i].name);  // the Unicode descriptor's

  // The second item first, into a stream, then everything into a folder.
  vcl::TMemoryStream second;
  ASSERT_TRUE(t.target->SaveFileToStream(1, second));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(second.Memory()), static_cast<size_t>(second.Size())), kMail[1].contents);
  const std::wstring folder = FreshFolder(L"mail");
  ASSERT_EQ(t.target->SaveToFolder(folder), 3);
  EXPECT_EQ(t.target->getSavedPath(0), folder + L"Grüße.txt");
  EXPECT_EQ(FileBytes(folder + L"Grüße.txt"), kMail[0].contents);
  EXPECT_EQ(FileBytes(folder + L"scan.pdf"), kMail[1].contents);
  TComPtr<IStorage> message;
  TComPtr<IStream> body;
  constexpr DWORD kRead = STGM_READ | STGM_SHARE_EXCLUSIVE;
  ASSERT_EQ(StgOpenStorage((folder + L"Re_ lunch.msg").c_str(), nullptr, kRead, nullptr, 0, message.Put()), S_OK);
  ASSERT_EQ(message->OpenStream(L"body", nullptr, kRead, 0, body.Put()), S_OK);
  char text[64];
  ULONG got = 0;
  body->Read(text, sizeof text, &got);
  EXPECT_EQ(std::string(text, got), kMail[2].contents);
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  GetFileAttributesExW((folder + L"scan.pdf").c_str(), GetFileExInfoStandard, &attributes);
  EXPECT_EQ(attributes.ftLastWriteTime.dwHighDateTime, 0x01D00000u);  // the descriptor's write time

  t.target->EndDrop();
  EXPECT_FALSE(t.target->getDropOpen());
  EXPECT_FALSE(t.target->SaveFileToStream(0, second));
  EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
  EXPECT_EQ(data->RefCount(), 1);
}

TEST(FileTarget, HostileDescriptorStaysInsideTheFolder) {
  const std::wstring unterminated(260, L'n');
  struct Row {
    Item item;
    const wchar_t* saved;  // the name under the folder; null: not saved
  };
  const std::vector<Row> rows = {
      {{L"..\\..\\evil.txt", "e"}, L"evil.txt"},
      {{L"\\rooted.txt", "r"}, L"rooted.txt"},
      {{L"C:drive.txt", "d"}, L"drive.txt"},
      {{L"\\\\server\\share\\unc.txt", "u"}, L"unc.txt"},
      {{L"CON", "c"}, L"_CON"},
      {{L"a.txt:stream", "s"}, L"a.txt_stream"},
      {{L"trail...", "t"}, L"trail"},
      {{L"dup.txt", "1"}, L"dup (2).txt"},  // dup.txt exists before the drop
      {{L"DUP.txt", "2"}, L"DUP (3).txt"},
      {{L"", "empty name"}, L"File 1"},
      {{L"sub/deeper\\..\\x.txt", "x"}, L"sub\\deeper\\x.txt"},
      {{L"zero.txt", "real content", false, 0}, L"zero.txt"},
      {{L"huge.bin", "small", false, std::uint64_t{1} << 40}, L"huge.bin"},
      {{L"broken.txt", "!"}, nullptr},
      {{unterminated, "n"}, nullptr},  // checked below: cut to one name of 255 units
  };
  std::vector<Item> items;
  for (const Row& r : rows) items.push_back(r.item);
  // The last name fills its field without a terminator, and the count claims more than the block holds.
  std::string block = Descriptor(items, true);
  const size_t lastName = 4 + 592 * (items.size() - 1) + 72;
  for (size_t i = 0; i < 520; i += 2) block[lastName + i] = 'n', block[lastName + i + 1] = 0;
  block[0] = static_cast<char>(items.size() + 7);

  const std::wstring base = FreshFolder(L"hostile");
  const std::wstring folder = base + L"drop\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  HANDLE existing = CreateFileW((folder + L"dup.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  WriteFile(existing, "old", 3, nullptr, nullptr);
  CloseHandle(existing);
  const std::set<std::wstring> aboveBefore = Listing(Parent(base));

  {
    auto data = kxtest::MakeFake();
    OfferItems(*data, items, block);
    TargetForm t;
    EXPECT_EQ(t.DropDirect(data.Get()), DWORD{DROPEFFECT_COPY});
    ASSERT_EQ(t.target->getFileCount(), static_cast<int>(rows.size()));
    EXPECT_EQ(t.target->getFile(12).Size, std::uint64_t{1} << 40);
    EXPECT_EQ(t.target->SaveToFolder(folder), static_cast<int>(rows.size()) - 1);
    for (size_t i = 0; i + 1 < rows.size(); ++i) {
      SCOPED_TRACE(i);
      if (!rows[i].saved) {
        EXPECT_EQ(t.target->getSavedPath(static_cast<int>(i)), L"");
        continue;
      }
      EXPECT_EQ(t.target->getSavedPath(static_cast<int>(i)), folder + rows[i].saved);
      EXPECT_EQ(FileBytes(folder + rows[i].saved), rows[i].item.contents);
    }
    EXPECT_EQ(t.target->getSavedPath(static_cast<int>(rows.size()) - 1), folder + std::wstring(255, L'n'));
    t.target->EndDrop();
    EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
    EXPECT_EQ(data->RefCount(), 1);
  }
  EXPECT_EQ(FileBytes(folder + L"dup.txt"), "old");
  EXPECT_EQ(Listing(base), (std::set<std::wstring>{L".", L"..", L"drop"}));
  EXPECT_EQ(Listing(Parent(base)), aboveBefore);
  // Nothing but the saved items: no partial file of the failed one.
  std::set<std::wstring> expected{L".", L"..", L"dup.txt", std::wstring(255, L'n')};
  for (const Row& r : rows)
    if (r.saved) expected.insert(std::wstring(r.saved).substr(0, std::wstring(r.saved).find(L'\\')));
  EXPECT_EQ(Listing(folder), expected);
}

TEST(FileTarget, RealFilesComeFirstAndAreCopied) {
  const std::wstring from = FreshFolder(L"real-from"), to = FreshFolder(L"real-to");
  auto write = [](const std::wstring& path, const char* text) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    WriteFile(h, text, static_cast<DWORD>(strlen(text)), nullptr, nullptr);
    CloseHandle(h);
  };
  CreateDirectoryW((from + L"album").c_str(), nullptr);
  write(from + L"album\\one.jpg", "jpeg");
  write(from + L"notes.txt", "notes");
  write(to + L"notes.txt", "kept");
  auto data = kxtest::MakeFake();
  data->Offer(CF_HDROP, kxtest::HDropBytes({from + L"notes.txt", from + L"album"}));
  // The same items again as virtual files (in any case, folders by their contents) are not taken
  // twice; a virtual file of another name is dragged beside them and is.
  const std::vector<Item> virtuals = {{L"NOTES.TXT", "x"}, {L"album\\one.jpg", "x"}, {L"extra.txt", "extra"}};
  OfferItems(*data, virtuals, Descriptor(virtuals, true));
  TargetForm t;
  EXPECT_EQ(t.DropDirect(data.Get()), DWORD{DROPEFFECT_COPY});
  ASSERT_EQ(t.target->getFileCount(), 3);
  EXPECT_FALSE(t.target->getFile(0).IsVirtual);
  EXPECT_EQ(t.target->getFile(0).Size, 5u);
  EXPECT_TRUE(t.target->getFile(1).IsFolder);
  EXPECT_TRUE(t.target->getFile(2).IsVirtual);
  EXPECT_EQ(t.target->getFile(2).ContentsIndex, 2);
  // A drop arriving while the list is saved (a progress handler that pumps messages) is refused.
  auto other = kxtest::MakeFake();
  other->Offer(CF_HDROP, kxtest::HDropBytes({from + L"notes.txt"}));
  DWORD nested = 0xFF;
  t.target->setOnProgress([&](TObject*, int, std::uint64_t, std::uint64_t, bool&) { nested = t.DropDirect(other.Get()); });
  EXPECT_EQ(t.target->SaveToFolder(to), 3);
  EXPECT_EQ(nested, DWORD{DROPEFFECT_NONE});
  EXPECT_EQ(t.target->getSavedPath(0), to + L"notes (2).txt");
  EXPECT_EQ(FileBytes(to + L"notes (2).txt"), "notes");
  EXPECT_EQ(FileBytes(to + L"notes.txt"), "kept");
  EXPECT_EQ(FileBytes(to + L"album\\one.jpg"), "jpeg");
  EXPECT_EQ(FileBytes(from + L"album\\one.jpg"), "jpeg");  // copied, not moved
  EXPECT_EQ(FileBytes(from + L"notes.txt"), "notes");
  EXPECT_EQ(FileBytes(to + L"extra.txt"), "extra");
  t.target->EndDrop();
  EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
}

TEST(FileTarget, AsynchronousDropEndsOnceWithTheApplicationsResult) {
  const std::vector<Item> items = {{L"a.txt", "async contents"}};
  {
    // A real drag: the source is told at Drop, OnDrop follows from the message loop.
    TComPtr<AsyncData> data(new AsyncData);
    OfferItems(*data, items, Descriptor(items, true));
    TargetForm t;
    bool dropInDrag = true;
    t.target->setOnDrop([&](TObject*, vcl::TWinControl*, int, int) { dropInDrag = inDrag, ++t.drops; });
    DWORD effect = 0;
    ASSERT_EQ(DragOnto(data.Get(), t.panel->Handle(), &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(data->starts, 1);
    EXPECT_TRUE(data->startedInDrop);
    EXPECT_EQ(effect, DWORD{DROPEFFECT_COPY});
    EXPECT_TRUE(kxtest::PumpUntil([&] { return t.drops == 1; }, 3000));
    EXPECT_FALSE(dropInDrag);
    EXPECT_TRUE(t.target->getDropIsAsynchronous());
    vcl::TMemoryStream out;
    EXPECT_TRUE(t.target->SaveFileToStream(0, out));
    EXPECT_EQ(data->ends, 0);
    t.target->EndDrop(true);
    t.target->EndDrop(false);
    EXPECT_EQ(data->ends, 1);
    EXPECT_EQ(data->endResult, S_OK);
    EXPECT_EQ(data->endEffect, DWORD{DROPEFFECT_COPY});
  }
  // Other ends of an open asynchronous drop, one data object each.
  enum End { Failed, NextDrop, Destroyed, HandlerRaises };
  struct Case {
    End end;
    HRESULT result;
    DWORD effect;
  };
  for (const Case& c : {Case{Failed, E_FAIL, DROPEFFECT_NONE}, Case{NextDrop, S_OK, DROPEFFECT_MOVE},
                        Case{Destroyed, S_OK, DROPEFFECT_MOVE}, Case{HandlerRaises, E_FAIL, DROPEFFECT_NONE}}) {
    SCOPED_TRACE(c.end);
    TComPtr<AsyncData> data(new AsyncData);
    OfferItems(*data, items, Descriptor(items, true));
    ApplicationExceptions caught;
    auto t = std::make_unique<TargetForm>();
    if (c.end == HandlerRaises) t->target->setOnDrop([](TObject*, vcl::TWinControl*, int, int) { throw vcl::Exception(L"no"); });
    EXPECT_EQ(t->DropDirect(data.Get(), DROPEFFECT_MOVE), DWORD{DROPEFFECT_MOVE});
    kxtest::PumpMessages(100);
    EXPECT_EQ(data->starts, 1);
    if (c.end == Failed) t->target->EndDrop(false);
    if (c.end == NextDrop) t->DropDirect(kxtest::MakeFake().Get());  // refused: the open drop stays
    EXPECT_EQ(data->ends, c.end == Failed || c.end == HandlerRaises ? 1 : 0);
    if (c.end == NextDrop) {
      TComPtr<AsyncData> next(new AsyncData);
      OfferItems(*next, items, Descriptor(items, true));
      t->DropDirect(next.Get());
      EXPECT_EQ(next->ends, 0);
    }
    t.reset();
    EXPECT_EQ(data->ends, 1);
    EXPECT_EQ(data->endResult, c.result);
    EXPECT_EQ(data->endEffect, c.effect);
    EXPECT_EQ(caught.messages.size(), c.end == HandlerRaises ? 1u : 0u);
    EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
    EXPECT_EQ(data->RefCount(), 1);
  }
}

namespace {

// A browser's download: an asynchronous source whose file exists, and whose CF_HDROP renders, only
// once the target has started the operation.
class DownloadData : public AsyncData {
 public:
  explicit DownloadData(std::wstring path) : FPath(std::move(path)) {
    OfferRendered(CF_HDROP, TYMED_HGLOBAL, [this](const FORMATETC&, STGMEDIUM& m) {
      if (starts == 0) return E_UNEXPECTED;
      m.tymed = TYMED_HGLOBAL;
      m.hGlobal = kxtest::GlobalWithBytes(kxtest::HDropBytes({FPath}));
      return S_OK;
    });
  }
  STDMETHODIMP StartOperation(IBindCtx* context) override {
    HANDLE h = CreateFileW(FPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    WriteFile(h, "downloaded", 10, nullptr, nullptr);
    CloseHandle(h);
    return AsyncData::StartOperation(context);
  }

 private:
  std::wstring FPath;
};

}  // namespace

// What browsers, the shell and Kestrix's own source put on a drag of files, dragged for real: one
// item per thing dragged, and a download that exists only once the operation has started.
TEST(FileTarget, OneItemPerThingDragged) {
  const std::wstring from = FreshFolder(L"things");
  auto write = [](const std::wstring& path, const char* text) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    WriteFile(h, text, static_cast<DWORD>(strlen(text)), nullptr, nullptr);
    CloseHandle(h);
  };
  write(from + L"moz-image-1.png", "png");
  CreateDirectoryW((from + L"album").c_str(), nullptr);
  write(from + L"album\\one.jpg", "jpeg");
  write(from + L"real.bin", "real");

  struct Case {
    const char* what;
    TComPtr<kxtest::FakeDataObject> data;
    std::vector<std::wstring> names;  // what arrives, in order
  };
  auto withItems = [](std::vector<std::wstring> hdrop, std::vector<Item> virtuals, bool beside = false) {
    auto data = kxtest::MakeFake();
    if (!hdrop.empty()) data->Offer(CF_HDROP, kxtest::HDropBytes(hdrop));
    OfferItems(*data, virtuals, Descriptor(virtuals, true));
    if (beside) data->Offer(L"KXVirtualFilesBesideReal", std::string(4, '\0'));
    return data;
  };
  TComPtr<DownloadData> download(new DownloadData(from + L"report.pdf"));
  Case cases[] = {
      {"Firefox's image: a temporary file and the image under its name",
       withItems({from + L"moz-image-1.png"}, {{L"bild.png", "png"}}), {from + L"moz-image-1.png"}},
      {"the shell's folder: one path, a folder record and its contents",
       withItems({from + L"album"}, {{L"album", ""}, {L"album\\one.jpg", "jpeg"}}), {from + L"album"}},
      {"Kestrix's own: a virtual file beside a real one, as many of each",
       withItems({from + L"real.bin"}, {{L"made.txt", "made"}}, true), {from + L"real.bin", L"made.txt"}},
      {"a virtual file beside two real ones",
       withItems({from + L"real.bin", from + L"album"}, {{L"made.txt", "made"}}), {from + L"real.bin", from + L"album", L"made.txt"}},
      {"a browser's download, rendered once started", TComPtr<kxtest::FakeDataObject>(download.Get()), {from + L"report.pdf"}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    TargetForm t;
    DWORD effect = 0;
    ASSERT_EQ(DragOnto(c.data.Get(), t.panel->Handle(), &effect), DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DWORD{DROPEFFECT_COPY});
    ASSERT_TRUE(kxtest::PumpUntil([&] { return t.drops == 1; }, 3000));
    std::vector<std::wstring> names;
    for (int i = 0; i < t.target->getFileCount(); ++i) names.push_back(t.target->getFile(i).Name);
    EXPECT_EQ(names, c.names);
    t.target->EndDrop(true);
  }
  EXPECT_EQ(download->starts, 1);
  EXPECT_TRUE(download->startedInDrop);
  EXPECT_EQ(download->ends, 1);
  EXPECT_EQ(download->endResult, S_OK);
  EXPECT_EQ(download->endEffect, DWORD{DROPEFFECT_COPY});
  // A download that fails: started, refused, and ended once as failed.
  TComPtr<AsyncData> failed(new AsyncData);
  failed->OfferBroken(CF_HDROP, E_FAIL);
  {
    TargetForm t;
    EXPECT_EQ(t.DropDirect(failed.Get()), DWORD{DROPEFFECT_NONE});
    EXPECT_EQ(t.drops, 0);
  }
  EXPECT_EQ(failed->starts, 1);
  EXPECT_EQ(failed->ends, 1);
  EXPECT_EQ(failed->endResult, E_FAIL);
  EXPECT_EQ(failed->endEffect, DWORD{DROPEFFECT_NONE});
  EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
}
