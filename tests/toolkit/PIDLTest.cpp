// Item-ID lists: the list operations on lists laid out here, and the shell functions against the
// real shell namespace of the prefix.
#include <gtest/gtest.h>

#include "formats/KXPIDL.h"
#include "support/TestSupport.h"
#include "ToolkitTestSupport.h"

using namespace kestrix;
using Bytes = std::vector<BYTE>;

namespace {

// A list of items with the given cb values (count bytes included); item n's data bytes are n + 1.
Bytes MakeList(std::initializer_list<USHORT> sizes) {
  Bytes out;
  BYTE fill = 1;
  for (USHORT cb : sizes) {
    out.push_back(static_cast<BYTE>(cb & 0xFF));
    out.push_back(static_cast<BYTE>(cb >> 8));
    out.insert(out.end(), cb - 2u, fill++);
  }
  out.insert(out.end(), {0, 0});
  return out;
}

LPCITEMIDLIST AsList(const Bytes& b) { return reinterpret_cast<LPCITEMIDLIST>(b.data()); }

Bytes BytesOf(LPCITEMIDLIST list) {
  auto p = reinterpret_cast<const BYTE*>(list);
  return list ? Bytes(p, p + PIDLGetSize(list)) : Bytes{};
}

// The task allocator, counted, with an allocation that can be made to fail.
class TCountingMalloc : public vcl::TInterfacedObjectImpl<IMalloc> {
 public:
  int failAt = 0;  // 1-based number of the Alloc that fails; 0: none does
  int allocs = 0;
  int live = 0;
  STDMETHODIMP_(void*) Alloc(SIZE_T cb) override {
    if (++allocs == failAt) return nullptr;
    ++live;
    return CoTaskMemAlloc(cb);
  }
  STDMETHODIMP_(void*) Realloc(void* /*pv*/, SIZE_T /*cb*/) override { return nullptr; }
  STDMETHODIMP_(void) Free(void* pv) override {
    if (pv) --live;
    CoTaskMemFree(pv);
  }
  STDMETHODIMP_(SIZE_T) GetSize(void* /*pv*/) override { return static_cast<SIZE_T>(-1); }
  STDMETHODIMP_(int) DidAlloc(void* /*pv*/) override { return -1; }
  STDMETHODIMP_(void) HeapMinimize() override {}
};

class PIDLLists : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(malloc->live, 0) << "a list was leaked or freed twice"; }
  // Takes a result from the counting allocator, gives its bytes and frees it.
  Bytes Take(LPITEMIDLIST list) {
    Bytes b = BytesOf(list);
    if (list) malloc->Free(list);
    return b;
  }
  vcl::TComPtr<TCountingMalloc> malloc{new TCountingMalloc};
};

}  // namespace

TEST_F(PIDLLists, SizeAndNextItemWalkTheCounts) {
  const Bytes two = MakeList({20, 30});
  const Bytes empty = MakeList({});
  EXPECT_EQ(PIDLGetSize(nullptr), 0u);
  EXPECT_EQ(PIDLGetSize(AsList(empty)), 2u);
  EXPECT_EQ(PIDLGetSize(AsList(two)), 52u);
  const BYTE* base = two.data();
  EXPECT_EQ(reinterpret_cast<const BYTE*>(PIDLGetNextItem(AsList(two))), base + 20);
  EXPECT_EQ(reinterpret_cast<const BYTE*>(PIDLGetNextItem(PIDLGetNextItem(AsList(two)))), base + 50);
  EXPECT_EQ(reinterpret_cast<const BYTE*>(PIDLGetNextItem(reinterpret_cast<LPCITEMIDLIST>(base + 50))), base + 50);
  EXPECT_EQ(PIDLGetNextItem(static_cast<LPCITEMIDLIST>(nullptr)), nullptr);
}

TEST_F(PIDLLists, CopyAndConcatenate) {
  const Bytes a = MakeList({20}), b = MakeList({30, 4}), empty = MakeList({}), twentyTwo = MakeList({20});
  Bytes ab = MakeList({20, 30, 4});
  std::fill(ab.begin() + 22, ab.begin() + 50, BYTE(1));  // the second list's items keep their own fill
  std::fill(ab.begin() + 52, ab.begin() + 54, BYTE(2));
  struct Case {
    const char* what;
    LPCITEMIDLIST first, second;
    Bytes joined;
  } cases[] = {
      {"empty then a list", AsList(empty), AsList(twentyTwo), twentyTwo},
      {"null then a list", nullptr, AsList(twentyTwo), twentyTwo},
      {"a list then null", AsList(a), nullptr, a},
      {"null and null give an empty list", nullptr, nullptr, empty},
      {"items in order", AsList(a), AsList(b), ab},
  };
  for (const auto& c : cases) EXPECT_EQ(Take(PIDLConcatenate(malloc.Get(), c.first, c.second)), c.joined) << c.what;
  EXPECT_EQ(Take(PIDLCopy(malloc.Get(), AsList(b))), b);
  EXPECT_EQ(PIDLCopy(malloc.Get(), nullptr), nullptr);
  EXPECT_EQ(PIDLCopy(nullptr, AsList(b)), nullptr);
  EXPECT_EQ(PIDLConcatenate(nullptr, AsList(a), AsList(b)), nullptr);
  EXPECT_EQ(Take(PIDLCreate(malloc.Get(), 6)), empty) << "zero-filled";
  malloc->failAt = malloc->allocs + 1;
  EXPECT_EQ(PIDLCopy(malloc.Get(), AsList(b)), nullptr);
}

TEST_F(PIDLLists, GetRelativeSplitsOffTheLastItem) {
  const Bytes three = MakeList({20, 30, 12});
  Bytes firstTwo = MakeList({20, 30});
  Bytes last = MakeList({12});
  std::fill(last.begin() + 2, last.end() - 2, BYTE(3));
  struct Case {
    const char* what;
    Bytes list;
    Bytes parent, item;
  } cases[] = {
      {"three items", three, firstTwo, last},
      {"one item", MakeList({8}), MakeList({}), MakeList({8})},
      {"the empty list has no last item", MakeList({}), MakeList({}), Bytes{}},
  };
  for (const auto& c : cases) {
    LPITEMIDLIST parent = nullptr, item = nullptr;
    EXPECT_TRUE(PIDLGetRelative(malloc.Get(), AsList(c.list), parent, item)) << c.what;
    EXPECT_EQ(Take(parent), c.parent) << c.what;
    EXPECT_EQ(Take(item), c.item) << c.what;
  }
  Bytes stale = MakeList({});  // outputs are cleared, not left as they were
  LPITEMIDLIST parent = reinterpret_cast<LPITEMIDLIST>(stale.data()), item = parent;
  EXPECT_TRUE(PIDLGetRelative(malloc.Get(), nullptr, parent, item));
  EXPECT_EQ(parent, nullptr);
  EXPECT_EQ(item, nullptr);
}

TEST_F(PIDLLists, GetRelativeReportsAFailedAllocationWithoutLeaking) {
  const Bytes three = MakeList({20, 30, 12});
  for (int failing : {1, 2}) {
    malloc->failAt = malloc->allocs + failing;
    LPITEMIDLIST parent = nullptr, item = nullptr;
    EXPECT_FALSE(PIDLGetRelative(malloc.Get(), AsList(three), parent, item)) << failing;
    EXPECT_EQ(parent, nullptr);
    EXPECT_EQ(item, nullptr);
  }
  LPITEMIDLIST parent = nullptr, item = nullptr;
  EXPECT_FALSE(PIDLGetRelative(nullptr, AsList(three), parent, item));
}

namespace {

// A shell folder of another namespace: answers GetDisplayNameOf with a prepared STRRET.
class TForeignFolder : public vcl::TInterfacedObjectImpl<IShellFolder> {
 public:
  HRESULT result = S_OK;
  STRRET answer = {};
  std::wstring wideAnswer;
  STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD /*pidl*/, SHGDNF /*uFlags*/, STRRET* name) override {
    *name = answer;
    if (answer.uType == STRRET_WSTR) {
      size_t bytes = (wideAnswer.size() + 1) * sizeof(wchar_t);
      name->pOleStr = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
      memcpy(name->pOleStr, wideAnswer.c_str(), bytes);
    }
    return result;
  }
  STDMETHODIMP ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EnumObjects(HWND, SHCONTF, IEnumIDList**) override { return E_NOTIMPL; }
  STDMETHODIMP BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) override { *ppv = nullptr; return E_NOTIMPL; }
  STDMETHODIMP BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void** ppv) override { *ppv = nullptr; return E_NOTIMPL; }
  STDMETHODIMP CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override { return E_NOTIMPL; }
  STDMETHODIMP CreateViewObject(HWND, REFIID, void** ppv) override { *ppv = nullptr; return E_NOTIMPL; }
  STDMETHODIMP GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override { return E_NOTIMPL; }
  STDMETHODIMP GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void** ppv) override { *ppv = nullptr; return E_NOTIMPL; }
  STDMETHODIMP SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override { return E_NOTIMPL; }
};

STRRET Ret(UINT type) {
  STRRET r = {};
  r.uType = type;
  return r;
}

}  // namespace

TEST(PIDLDisplayName, ReadsEveryKindOfAnswerWithinItsBounds) {
  // A one-item list of 40 bytes carrying "inner" at offset 10 and "tail" (no NUL) at its end.
  Bytes list = MakeList({40});
  memcpy(&list[10], "inner", 6);
  memcpy(&list[36], "tail", 4);
  STRRET offsetInner = Ret(STRRET_OFFSET), offsetTail = Ret(STRRET_OFFSET), offsetOutside = Ret(STRRET_OFFSET);
  offsetInner.uOffset = 10;
  offsetTail.uOffset = 36;
  offsetOutside.uOffset = 4000;
  STRRET cstr = Ret(STRRET_CSTR), cstrFull = Ret(STRRET_CSTR);
  strcpy(cstr.cStr, "in the record");
  memset(cstrFull.cStr, 'c', sizeof cstrFull.cStr);  // no NUL: the field's end bounds it
  struct Case {
    const char* what;
    STRRET answer;
    HRESULT result;
    std::wstring name;
  } cases[] = {
      {"Unicode text", Ret(STRRET_WSTR), S_OK, L"wide name"},
      {"text inside the list", offsetInner, S_OK, L"inner"},
      {"text running to the list's end", offsetTail, S_OK, L"tail"},  // the terminator bytes end it
      {"an offset outside the list", offsetOutside, S_OK, L""},
      {"text in the record", cstr, S_OK, L"in the record"},
      {"a record full of text", cstrFull, S_OK, std::wstring(sizeof cstrFull.cStr, L'c')},
      {"an unknown kind", Ret(7), S_OK, L""},
      {"a failure", Ret(STRRET_WSTR), E_FAIL, L""},
      {"a success other than S_OK", Ret(STRRET_WSTR), S_FALSE, L""},
  };
  for (const auto& c : cases) {
    vcl::TComPtr<TForeignFolder> folder(new TForeignFolder);
    folder->answer = c.answer;
    folder->result = c.result;
    folder->wideAnswer = L"wide name";
    EXPECT_EQ(PIDLGetDisplayName(folder.Get(), AsList(list), SHGDN_NORMAL), c.name) << c.what;
  }
  EXPECT_EQ(PIDLGetDisplayName(nullptr, nullptr, SHGDN_NORMAL), L"");
}

namespace {

// folder\sub\f.txt in the prefix's temporary folder.
class PIDLShell : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tree.Folder(L"sub").empty());
    ASSERT_FALSE(tree.File(L"sub\\f.txt").empty());
    folderList.Reset(PIDLGetFromPath(folder));
    ASSERT_TRUE(folderList);
    shellFolder = PIDLGetFileFolder(folderList.Get());
    ASSERT_TRUE(shellFolder);
  }
  kxtest::TTempTree tree{L"pidl"};
  const std::wstring& folder = tree.Root();
  const std::wstring sub = folder + L"sub";
  const std::wstring file = sub + L"\\f.txt";
  TShellPIDL folderList;
  vcl::TComPtr<IShellFolder> shellFolder;
};

int ItemCount(LPCITEMIDLIST list) {
  int n = 0;
  for (; list->mkid.cb; list = PIDLGetNextItem(list)) ++n;
  return n;
}

}  // namespace

TEST_F(PIDLShell, PathsAndListsConvertBothWays) {
  for (const std::wstring& path : {file, sub}) {
    TShellPIDL list(PIDLGetFromPath(path));
    ASSERT_TRUE(list);
    EXPECT_EQ(PIDLGetPath(list.Get()), path);
    EXPECT_EQ(PIDLGetDisplayName(nullptr, list.Get(), SHGDN_FORPARSING), path);
  }
  EXPECT_EQ(PIDLGetFromPath(folder + L"missing.txt"), nullptr);
  EXPECT_EQ(PIDLGetFromParentFolder(nullptr, L"sub"), nullptr);
  EXPECT_EQ(PIDLGetPath(nullptr), L"");
  TShellPIDL computer;  // a virtual object without a path
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, computer.Put()), S_OK);
  EXPECT_EQ(PIDLGetPath(computer.Get()), L"");
}

TEST_F(PIDLShell, RelativeListsBecomeAbsoluteOnes) {
  TShellPIDL relative(PIDLGetFromParentFolder(shellFolder.Get(), L"sub\\f.txt"));
  ASSERT_TRUE(relative);
  EXPECT_EQ(ItemCount(relative.Get()), 2);
  TShellPIDL absolute(PIDLGetFromPath(file));
  TShellPIDL qualified(PIDLGetFullyQualified(shellFolder.Get(), relative.Get()));
  ASSERT_TRUE(qualified);
  EXPECT_EQ(BytesOf(qualified.Get()), BytesOf(absolute.Get()));
  TShellPIDL fromDesktop(PIDLGetFullyQualified(nullptr, absolute.Get()));
  EXPECT_EQ(BytesOf(fromDesktop.Get()), BytesOf(absolute.Get()));
  vcl::TComPtr<TForeignFolder> nameless(new TForeignFolder);
  nameless->answer = Ret(STRRET_WSTR);
  EXPECT_EQ(PIDLGetFullyQualified(nameless.Get(), relative.Get()), nullptr);
}

TEST_F(PIDLShell, FileFolderBindsFoldersOnly) {
  TShellPIDL subList(PIDLGetFromPath(sub));
  vcl::TComPtr<IShellFolder> subFolder = PIDLGetFileFolder(subList.Get());
  ASSERT_TRUE(subFolder);
  TShellPIDL inSub(PIDLGetFromParentFolder(subFolder.Get(), L"f.txt"));
  ASSERT_TRUE(inSub);
  EXPECT_EQ(PIDLGetDisplayName(subFolder.Get(), inSub.Get(), SHGDN_FORPARSING), file);
  TShellPIDL fileList(PIDLGetFromPath(file));
  EXPECT_FALSE(PIDLGetFileFolder(fileList.Get()));
  EXPECT_FALSE(PIDLGetFileFolder(nullptr));
  // The empty list names the desktop, whose folder is the desktop folder itself.
  const Bytes desktopList = MakeList({});
  vcl::TComPtr<IShellFolder> desktop = PIDLGetFileFolder(AsList(desktopList));
  ASSERT_TRUE(desktop);
  TShellPIDL viaDesktop(PIDLGetFromParentFolder(desktop.Get(), file));
  EXPECT_EQ(PIDLGetPath(viaDesktop.Get()), file);
}

TEST_F(PIDLShell, DumpNamesEachLevelAndStopsAtAFile) {
  EXPECT_EQ(PIDLDump(nullptr, nullptr), L"");
  EXPECT_EQ(PIDLDump(shellFolder.Get(), nullptr), L"");

  TShellPIDL relative(PIDLGetFromParentFolder(shellFolder.Get(), L"sub\\f.txt"));
  EXPECT_EQ(PIDLDump(shellFolder.Get(), relative.Get()), L"Relative PIDL: \r\n\\sub\\f.txt\r\n");

  TShellPIDL absolute(PIDLGetFromPath(file));
  const std::wstring dump = PIDLDump(nullptr, absolute.Get());
  const std::wstring head = L"Fully Qualified PIDL: \r\n";
  ASSERT_EQ(dump.substr(0, head.size()), head);
  const std::wstring levels = dump.substr(head.size());
  EXPECT_EQ(std::count(levels.begin(), levels.end(), L'\\'), ItemCount(absolute.Get()));
  EXPECT_TRUE(levels.ends_with(L"\\sub\\f.txt\r\n")) << levels;

  // Nothing below a file can be named: the walk ends there even when the list goes on.
  TShellPIDL more(PIDLGetFromParentFolder(shellFolder.Get(), L"sub"));
  vcl::TComPtr<IMalloc> shellMalloc;
  ASSERT_EQ(SHGetMalloc(shellMalloc.Put()), S_OK);
  TShellPIDL pastFile(PIDLConcatenate(shellMalloc.Get(), relative.Get(), more.Get()));
  EXPECT_EQ(PIDLDump(shellFolder.Get(), pastFile.Get()), L"Relative PIDL: \r\n\\sub\\f.txt\r\n");

  const Bytes desktop = MakeList({});
  EXPECT_EQ(PIDLDump(nullptr, AsList(desktop)), head + L"\r\n");
}
