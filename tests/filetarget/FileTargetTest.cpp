// TKXFileTarget with foreign data objects: a mail client's drag of attachments and a message
// (streams and a storage) by a real DoDragDrop, a hostile descriptor saved into a folder, and a
// source that completes the drop asynchronously (IAsyncOperation).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
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
    bool onDropRuns = true;  // false: the drop ends before its deferred OnDrop: nothing was taken
  };
  for (const Case& c : {Case{Failed, E_FAIL, DROPEFFECT_NONE}, Case{NextDrop, S_OK, DROPEFFECT_MOVE},
                        Case{Destroyed, S_OK, DROPEFFECT_MOVE}, Case{HandlerRaises, E_FAIL, DROPEFFECT_NONE},
                        Case{NextDrop, E_FAIL, DROPEFFECT_NONE, false}, Case{Destroyed, E_FAIL, DROPEFFECT_NONE, false}}) {
    SCOPED_TRACE(c.end);
    SCOPED_TRACE(c.onDropRuns);
    TComPtr<AsyncData> data(new AsyncData);
    OfferItems(*data, items, Descriptor(items, true));
    ApplicationExceptions caught;
    auto t = std::make_unique<TargetForm>();
    if (c.end == HandlerRaises) t->target->setOnDrop([](TObject*, vcl::TWinControl*, int, int) { throw vcl::Exception(L"no"); });
    EXPECT_EQ(t->DropDirect(data.Get(), DROPEFFECT_MOVE), DWORD{DROPEFFECT_MOVE});
    if (c.onDropRuns) kxtest::PumpMessages(100);
    EXPECT_EQ(t->drops, c.onDropRuns && c.end != HandlerRaises ? 1 : 0);
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

// A reference the test can count: a medium's pUnkForRelease.
class Counted : public vcl::TInterfacedObjectImpl<IUnknown> {
 public:
  ULONG Refs() { AddRef(); return Release(); }
};

// A source that answers one format with a medium of its own making, untracked: a file medium
// naming a file elsewhere (ReleaseStgMedium would delete it), a null medium carrying a reference,
// a global handle that is no block.
class HostileData : public kxtest::FakeDataObject {
 public:
  std::vector<UINT> formats;
  DWORD tymed = TYMED_NULL;
  std::wstring fileName;
  HGLOBAL global = nullptr;
  bool release = true;  // hands out a pUnkForRelease (without one, ReleaseStgMedium deletes a file medium's file)
  TComPtr<Counted> unk{new Counted};
  STDMETHODIMP GetData(FORMATETC* request, STGMEDIUM* medium) override {
    if (!request || !medium || !Hostile(request->cfFormat)) return FakeDataObject::GetData(request, medium);
    std::memset(medium, 0, sizeof *medium);
    medium->tymed = tymed;
    if (tymed == TYMED_FILE) {
      medium->lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc((fileName.size() + 1) * sizeof(wchar_t)));
      std::memcpy(medium->lpszFileName, fileName.c_str(), (fileName.size() + 1) * sizeof(wchar_t));
    }
    if (tymed == TYMED_HGLOBAL) medium->hGlobal = global;
    if (tymed != TYMED_HGLOBAL && release) {
      unk->AddRef();
      medium->pUnkForRelease = unk.Get();
    }
    return S_OK;
  }
  STDMETHODIMP QueryGetData(FORMATETC* request) override {
    return request && Hostile(request->cfFormat) ? S_OK : FakeDataObject::QueryGetData(request);
  }
  bool Hostile(UINT f) const { return std::find(formats.begin(), formats.end(), f) != formats.end(); }
};

// A source's storage that never ends: its elements go on for ever, each a stream of 64 KiB. Its
// own CopyTo is not offered, as a foreign storage need not.
class EndlessStorage : public vcl::TInterfacedObjectImpl<IStorage> {
  class Elements : public vcl::TInterfacedObjectImpl<IEnumSTATSTG> {
   public:
    STDMETHODIMP Next(ULONG, STATSTG* stat, ULONG* got) override {
      std::memset(stat, 0, sizeof *stat);
      const std::wstring name = L"s" + std::to_wstring(++FNext);
      stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(wchar_t)));
      std::memcpy(stat->pwcsName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
      stat->type = STGTY_STREAM;
      if (got) *got = 1;
      return S_OK;
    }
    STDMETHODIMP Skip(ULONG) override { return S_OK; }
    STDMETHODIMP Reset() override { return S_OK; }
    STDMETHODIMP Clone(IEnumSTATSTG**) override { return E_NOTIMPL; }

   private:
    int FNext = 0;
  };

 public:
  STDMETHODIMP OpenStream(const OLECHAR*, void*, DWORD, DWORD, IStream** out) override {
    return CreateStreamOnHGlobal(kxtest::GlobalWithBytes(std::string(64 << 10, 's')), TRUE, out);
  }
  STDMETHODIMP EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** out) override {
    *out = new Elements;
    (*out)->AddRef();
    return S_OK;
  }
  STDMETHODIMP Stat(STATSTG* stat, DWORD) override {
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STORAGE;
    return S_OK;
  }
  STDMETHODIMP CreateStream(const OLECHAR*, DWORD, DWORD, DWORD, IStream**) override { return E_NOTIMPL; }
  STDMETHODIMP CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage**) override { return E_NOTIMPL; }
  STDMETHODIMP OpenStorage(const OLECHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) override { return E_NOTIMPL; }
  STDMETHODIMP CopyTo(DWORD, const IID*, SNB, IStorage*) override { return E_NOTIMPL; }
  STDMETHODIMP MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Commit(DWORD) override { return S_OK; }
  STDMETHODIMP Revert() override { return E_NOTIMPL; }
  STDMETHODIMP DestroyElement(const OLECHAR*) override { return E_NOTIMPL; }
  STDMETHODIMP RenameElement(const OLECHAR*, const OLECHAR*) override { return E_NOTIMPL; }
  STDMETHODIMP SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*, const FILETIME*) override { return E_NOTIMPL; }
  STDMETHODIMP SetClass(REFCLSID) override { return E_NOTIMPL; }
  STDMETHODIMP SetStateBits(DWORD, DWORD) override { return E_NOTIMPL; }
};

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD put = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
  CloseHandle(h);
}

}  // namespace

// Every way a source answers with a medium it was not asked for: the answer is refused, the file
// it names kept, its reference released once, and nothing counted as saved.
TEST(FileTarget, ForeignMediaAreRefusedAndNothingTheyNameIsTouched) {
  const std::wstring elsewhere = FreshFolder(L"elsewhere"), victim = elsewhere + L"victim.txt";
  const std::vector<Item> items = {{L"a.txt", "contents"}};
  struct Row {
    const wchar_t* what;
    std::vector<UINT> formats;
    DWORD tymed;
    int files;                  // items the drop lists
    TKXFileSaveResult result;   // of item 0 when listed
    bool release = true;
  };
  const Row rows[] = {
      {L"FileContents as a file", {CF_FILECONTENTS}, TYMED_FILE, 1, fsrSourceFailed},
      {L"FileContents as a file, nothing to release", {CF_FILECONTENTS}, TYMED_FILE, 1, fsrSourceFailed, false},
      {L"FileContents as nothing", {CF_FILECONTENTS}, TYMED_NULL, 1, fsrSourceFailed},
      {L"FileContents as a handle that is no block", {CF_FILECONTENTS}, TYMED_HGLOBAL, 1, fsrSourceFailed},
      {L"descriptors as a file", {CF_FILEGROUPDESCRIPTORW, CF_FILEGROUPDESCRIPTOR}, TYMED_FILE, 0, fsrNotSaved},
      {L"descriptors as nothing", {CF_FILEGROUPDESCRIPTORW, CF_FILEGROUPDESCRIPTOR}, TYMED_NULL, 0, fsrNotSaved},
      {L"CF_HDROP as a file", {CF_HDROP}, TYMED_FILE, 0, fsrNotSaved},
      {L"CF_HDROP as a file, nothing to release", {CF_HDROP}, TYMED_FILE, 0, fsrNotSaved, false},
      {L"descriptors as a file, nothing to release", {CF_FILEGROUPDESCRIPTORW, CF_FILEGROUPDESCRIPTOR}, TYMED_FILE, 0, fsrNotSaved, false},
      {L"CF_HDROP as nothing", {CF_HDROP}, TYMED_NULL, 0, fsrNotSaved},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    WriteFileBytes(victim, "keep me");
    TComPtr<HostileData> data(new HostileData);
    OfferItems(*data, items, Descriptor(items, true));
    data->Offer(CF_HDROP, kxtest::HDropBytes({victim}));
    data->formats = row.formats;
    data->tymed = row.tymed;
    data->release = row.release;
    data->fileName = victim;
    data->global = reinterpret_cast<HGLOBAL>(static_cast<INT_PTR>(0x5a5a5a50));
    const std::wstring folder = FreshFolder(L"foreign");
    {
      TargetForm t;
      // The list comes from the format under test alone.
      if (row.formats[0] == CF_HDROP) t.target->setAcceptVirtualFiles(false);
      else t.target->setAcceptRealFiles(false);
      const DWORD effect = t.DropDirect(data.Get());
      EXPECT_EQ(t.target->getFileCount(), row.files);
      EXPECT_EQ(effect, row.files ? DWORD{DROPEFFECT_COPY} : DWORD{DROPEFFECT_NONE});
      if (row.files) {
        EXPECT_EQ(t.target->SaveToFolder(folder), 0);
        EXPECT_EQ(t.target->getSaveResult(0), row.result);
        EXPECT_NE(t.target->getSaveResultText(0), L"");
        EXPECT_EQ(t.target->getSavedPath(0), L"");
      }
      t.target->EndDrop();
    }
    EXPECT_EQ(FileBytes(victim), "keep me");
    EXPECT_EQ(data->unk->Refs(), 1u);  // every reference handed out was released
    EXPECT_EQ(Listing(folder), (std::set<std::wstring>{L".", L".."}));
    EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
  }
}

// One drop per hostile item, saved into a fresh folder whose surroundings are compared before and
// after: each item gets its own result, and nothing outside the folder (nor any file the folder
// held) changes.
TEST(FileTarget, EachHostileItemGetsItsOwnResult) {
  const std::wstring outside = FreshFolder(L"outside");  // the folder of the dropped real items
  CreateDirectoryW((outside + L"album").c_str(), nullptr);
  WriteFileBytes(outside + L"album\\one.jpg", "jpeg");
  std::wstring deep = outside + L"deep";
  CreateDirectoryW(deep.c_str(), nullptr);
  for (int i = 0; i < 70; ++i) CreateDirectoryW((deep += L"\\d").c_str(), nullptr);
  WriteFileBytes(deep + L"\\bottom.txt", "bottom");

  struct Setup {
    std::wstring base, folder;  // the drop goes to the folder "drop" in base
    TComPtr<kxtest::FakeDataObject> data = kxtest::MakeFake();
    TKXFileTarget* target = nullptr;
    vcl::TUniqueKernelHandle pipe;
    std::wstring unmap;  // a drive letter defined for the row
  };
  const auto real = [](std::function<std::wstring(Setup&)> path) {
    return [path](Setup& s) { s.data->Offer(CF_HDROP, kxtest::HDropBytes({path(s)})); };
  };
  const auto virtualItem = [](Item item) {
    return [item](Setup& s) { OfferItems(*s.data, {item}, Descriptor({item}, true)); };
  };
  const auto base = [](Setup& s) { return s.base.substr(0, s.base.size() - 1); };
  struct Row {
    const wchar_t* what;
    std::function<void(Setup&)> make;  // offers the item (and prepares the folder)
    TKXFileSaveResult result;
    const wchar_t* saved;  // under the folder; "" not saved; null: any name
    const char* contents = nullptr;
  };
  const std::vector<Row> rows = {
      {L"the folder holds the target's temporary names", [&](Setup& s) {
         for (int i = 1; i <= 2000; ++i) {
           wchar_t name[64];
           wsprintfW(name, L"~kx%lx-%lx.partial", GetCurrentProcessId(), static_cast<LONG>(i));
           WriteFileBytes(s.folder + name, "theirs");
         }
         virtualItem({L"a.txt", "a"})(s);
       }, fsrWriteFailed, L""},
      {L"a storage past the limit", [&](Setup& s) {
         s.target->setMaxFileSize(64 << 10);
         virtualItem({L"big.msg", std::string(8 << 20, 'x'), true})(s);
       }, fsrTooLarge, L""},
      {L"a storage that never ends", [&](Setup& s) {
         s.target->setMaxFileSize(1 << 20);
         s.data->Offer(CF_FILEGROUPDESCRIPTORW, Descriptor({{L"endless.msg", ""}}, true));
         s.data->OfferRendered(CF_FILECONTENTS, TYMED_ISTORAGE, [](const FORMATETC&, STGMEDIUM& m) {
           m.tymed = TYMED_ISTORAGE;
           m.pstg = new EndlessStorage;
           m.pstg->AddRef();
           return S_OK;
         });
       }, fsrTooLarge, L""},
      {L"a folder that holds the target", real(base), fsrRefused, L""},
      {L"the target folder itself", real([](Setup& s) { return s.folder; }), fsrRefused, L""},
      {L"the folder holding the target by its short name", real([&](Setup& s) {
         wchar_t shortName[MAX_PATH];
         const DWORD n = GetShortPathNameW(base(s).c_str(), shortName, MAX_PATH);
         return n && n < MAX_PATH ? std::wstring(shortName) : base(s);
       }), fsrRefused, L""},
      {L"the folder holding the target by another drive letter", real([&](Setup& s) {
         // Mapped as "subst" maps it. Wine accepts the mapping but it leads nowhere; there the
         // same folder is reached through drive Z: (the Unix root) instead.
         const std::wstring parent = Parent(s.base);
         if (DefineDosDeviceW(0, L"Q:", parent.substr(0, parent.size() - 1).c_str())) {
           s.unmap = L"Q:";
           const std::wstring mapped = L"Q:\\" + base(s).substr(parent.size());
           if (GetFileAttributesW(mapped.c_str()) != INVALID_FILE_ATTRIBUTES) return mapped;
         }
         using UnixName = char*(CDECL*)(LPCWSTR);
         auto unixName = reinterpret_cast<UnixName>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name"));
         char* name = unixName ? unixName(base(s).c_str()) : nullptr;
         std::wstring z = L"Z:";
         for (const char* c = name; c && *c; ++c) z += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
         if (name) HeapFree(GetProcessHeap(), 0, name);
         return name ? z : base(s);
       }), fsrRefused, L""},
      {L"the folder holding the target through a link", real([&](Setup& s) {
         // Where links cannot be made the folder itself is dropped instead: Wine 8 answers
         // CreateSymbolicLinkW with success and makes nothing.
         const std::wstring link = outside + L"link-" + std::to_wstring(GetTickCount());
         CreateSymbolicLinkW(link.c_str(), base(s).c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
         return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES ? link : base(s);
       }), fsrRefused, L""},
      {L"a folder inside the target", [&](Setup& s) {
         CreateDirectoryW((s.folder + L"sub").c_str(), nullptr);
         WriteFileBytes(s.folder + L"sub\\a.txt", "a");
         real([](Setup& s) { return s.folder + L"sub"; })(s);
       }, fsrRefused, L""},
      {L"a named pipe that never writes", [&](Setup& s) {
         const std::wstring name = L"\\\\.\\pipe\\kx-hostile-" + std::to_wstring(GetCurrentProcessId());
         s.pipe.Reset(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 0, 0, nullptr));
         real([name](Setup&) { return name; })(s);
       }, fsrRefused, L""},
      {L"the null device", real([](Setup&) { return std::wstring(L"NUL"); }), fsrRefused, L""},
      {L"a device name in a folder", real([&](Setup&) { return outside + L"con .txt"; }), fsrRefused, L""},
      {L"a volume", real([](Setup&) { return std::wstring(L"\\\\.\\C:"); }), fsrRefused, L""},
      {L"a physical drive", real([](Setup&) { return std::wstring(L"\\\\.\\PhysicalDrive0"); }), fsrRefused, L""},
      {L"a folder's path ending in a separator", real([&](Setup&) { return outside + L"album\\"; }), fsrSaved, L"album"},
      {L"a folder's path ending in \\.", real([&](Setup&) { return outside + L"album\\."; }), fsrSaved, L"album"},
      {L"a folder's copy cancelled before its first entry", [&](Setup& s) {
         s.target->setOnProgress([](TObject*, int, std::uint64_t, std::uint64_t, bool& cancel) { cancel = true; });
         real([&](Setup&) { return outside + L"album"; })(s);
       }, fsrCancelled, L"album"},
      {L"a folder nested deeper than copies go", real([&](Setup&) { return outside + L"deep"; }), fsrRefused, L"deep"},
      {L"a file where the item's folder should be", [&](Setup& s) {
         WriteFileBytes(s.folder + L"a", "a file");
         virtualItem({L"a\\b.txt", "b"})(s);
       }, fsrSaved, L"a (2)\\b.txt", "b"},
      {L"a name too long for some file systems", virtualItem({std::wstring(250, L'\u00e9') + L".txt", "long"}), fsrSaved, nullptr, "long"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Setup s;
    s.base = FreshFolder(L"items");
    s.folder = s.base + L"drop\\";
    CreateDirectoryW(s.folder.c_str(), nullptr);
    TargetForm t;
    s.target = t.target;
    row.make(s);
    const std::set<std::wstring> aboveBefore = Listing(Parent(s.base)), outsideBefore = Listing(outside),
                                 folderBefore = Listing(s.folder);
    ASSERT_EQ(t.DropDirect(s.data.Get()), DWORD{DROPEFFECT_COPY});
    ASSERT_EQ(t.target->getFileCount(), 1);
    EXPECT_EQ(t.target->getSaveResult(0), fsrNotSaved);
    const int saved = t.target->SaveToFolder(s.folder);
    EXPECT_EQ(t.target->getSaveResult(0), row.result) << t.target->getSaveResultText(0);
    EXPECT_EQ(t.target->getSaveResultText(0).empty(), row.result == fsrSaved);
    if (row.saved) {
      EXPECT_EQ(t.target->getSavedPath(0), *row.saved ? s.folder + row.saved : L"");
    }
    if (row.contents) {
      EXPECT_EQ(saved, 1);
      EXPECT_EQ(FileBytes(t.target->getSavedPath(0)), row.contents);
    }
    if (row.result != fsrSaved && !t.target->getFile(0).IsFolder) {
      EXPECT_EQ(saved, 0);
    }
    t.target->EndDrop();
    if (!s.unmap.empty()) DefineDosDeviceW(DDD_REMOVE_DEFINITION, s.unmap.c_str(), nullptr);
    EXPECT_EQ(Listing(Parent(s.base)), aboveBefore);
    EXPECT_EQ(Listing(s.base), (std::set<std::wstring>{L".", L"..", L"drop"}));
    EXPECT_EQ(Listing(outside), outsideBefore);
    EXPECT_EQ(Listing(outside + L"album\\"), (std::set<std::wstring>{L".", L"..", L"one.jpg"}));
    // What the folder held is all still there; only the saved item was added.
    std::set<std::wstring> after = Listing(s.folder);
    for (const std::wstring& name : folderBefore) EXPECT_EQ(after.erase(name), 1u) << name;
    if (row.result != fsrSaved && row.result != fsrRefused && !t.target->getFile(0).IsFolder) {
      EXPECT_TRUE(after.empty());
    }
    if (row.result == fsrRefused && !t.target->getFile(0).IsFolder) {
      EXPECT_TRUE(after.empty());
    }
    EXPECT_EQ(kxtest::FakeDataObject::OutstandingMedia(), 0);
  }
  EXPECT_EQ(FileBytes(outside + L"album\\one.jpg"), "jpeg");
}

TEST(FileTarget, DragWhoseListsNameNothingIsRefusedWhileItDrags) {
  // A drop that would yield no item is refused at entry, so the cursor promises nothing; a list
  // that cannot be read before the drop is taken on trust.
  const std::vector<Item> none, one = {{L"one.txt", "1"}};
  struct Row {
    const char* what;
    std::function<void(kxtest::FakeDataObject&)> offer;
    DWORD entered;
  };
  const Row rows[] = {
      {"file list without names", [](auto& d) { d.Offer(CF_HDROP, kxtest::HDropBytes({})); }, DROPEFFECT_NONE},
      {"file list rendered only at the drop", [](auto& d) { d.OfferBroken(CF_HDROP); }, DROPEFFECT_COPY},
      {"descriptors without records", [&](auto& d) { OfferItems(d, none, Descriptor(none, true)); }, DROPEFFECT_NONE},
      {"empty list beside a virtual file",
       [&](auto& d) { d.Offer(CF_HDROP, kxtest::HDropBytes({})), OfferItems(d, one, Descriptor(one, true)); },
       DROPEFFECT_COPY},
  };
  TargetForm t;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    auto data = kxtest::MakeFake();
    r.offer(*data);
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    t.target->DropTarget()->DragEnter(data.Get(), 0, POINTL{600, 160}, &effect);
    EXPECT_EQ(effect, r.entered);
    t.target->DropTarget()->DragLeave();
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
