// The shell ID list array (CIDA): read back through the shell's own path lookup, and compared
// with the block the shell's data object renders for the same files.
#include <gtest/gtest.h>

#include "formats/KXPIDL.h"
#include "support/TestSupport.h"
#include "ToolkitTestSupport.h"

using namespace kestrix;
using kxtest::Lines;

namespace {

// A CIDA read with every offset and list checked against the block.
struct TCida {
  std::string block;
  UINT count = 0;
  std::vector<UINT> offsets;  // the folder's, then one per item

  explicit TCida(std::string b) : block(std::move(b)) {
    EXPECT_GE(block.size(), 8u);
    if (block.size() < 8) return;
    count = *reinterpret_cast<const UINT*>(block.data());
    EXPECT_LE((count + 1) * 4 + 4, block.size());
    for (UINT i = 0; i <= count && (i + 2) * 4 <= block.size(); ++i) offsets.push_back(reinterpret_cast<const UINT*>(block.data())[i + 1]);
  }
  // The list at offset index i (0: the folder), as bytes; checked to end inside the block.
  std::string List(UINT i) const {
    size_t at = offsets.at(i), end = at;
    while (true) {
      if (end + 2 > block.size()) {
        ADD_FAILURE() << "list " << i << " runs past the block";
        return {};
      }
      USHORT cb = *reinterpret_cast<const USHORT*>(block.data() + end);
      if (cb == 0) return block.substr(at, end + 2 - at);
      end += cb;
    }
  }
  // The path of item i (1-based), from the folder list joined with the item's list.
  std::wstring ItemPath(UINT i) const {
    vcl::TComPtr<IMalloc> malloc;
    SHGetMalloc(malloc.Put());
    std::string folder = List(0), item = List(i);
    TShellPIDL joined(PIDLConcatenate(malloc.Get(), reinterpret_cast<LPCITEMIDLIST>(folder.data()),
                                      reinterpret_cast<LPCITEMIDLIST>(item.data())));
    wchar_t path[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(joined.Get(), path)) return L"<no path>";
    return path;
  }
};

std::string ListBytes(LPCITEMIDLIST list) { return std::string(reinterpret_cast<const char*>(list), PIDLGetSize(list)); }

// The "Shell IDList Array" that the shell's own data object renders for the given items of a
// folder, with the names it enumerated them under.
std::string ShellsOwnIDListArray(IShellFolder* folder, std::vector<std::wstring>& names) {
  vcl::TComPtr<IEnumIDList> items;
  if (folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, items.Put()) != S_OK) return {};
  std::vector<TShellPIDL> owned;
  std::vector<LPCITEMIDLIST> lists;
  LPITEMIDLIST item;
  while (items->Next(1, &item, nullptr) == S_OK) {
    owned.emplace_back(item);
    lists.push_back(item);
    names.push_back(PIDLGetDisplayName(folder, item, SHGDN_INFOLDER | SHGDN_FORPARSING));
  }
  vcl::TComPtr<IDataObject> data;
  if (FAILED(folder->GetUIObjectOf(nullptr, static_cast<UINT>(lists.size()), lists.data(), IID_IDataObject, nullptr, data.PutVoid())))
    return {};
  FORMATETC fe = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_SHELLIDLIST)), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  vcl::TStgMedium medium;
  if (FAILED(data->GetData(&fe, medium.Put())) || medium->tymed != TYMED_HGLOBAL) return {};
  vcl::TGlobalLock lock(medium->hGlobal);
  return lock ? std::string(lock.As<const char>(), lock.Size()) : std::string();
}

class ShellIDList : public testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : {L"a.txt", L"second file.dat"}) ASSERT_FALSE(tree.File(name).empty());
    folderList.Reset(PIDLGetFromPath(folder));
    ASSERT_TRUE(folderList);
  }
  kxtest::TTempTree tree{L"cida"};
  const std::wstring& folder = tree.Root();
  TShellPIDL folderList;
};

}  // namespace

TEST_F(ShellIDList, EachItemJoinedToTheFolderGivesItsPath) {
  TCida cida(ShellIDListFromFileList(folder, *Lines({L"a.txt", L"second file.dat"})));
  ASSERT_EQ(cida.count, 2u);
  const size_t F = PIDLGetSize(folderList.Get());
  const size_t S1 = cida.List(1).size(), S2 = cida.List(2).size();
  EXPECT_EQ(cida.offsets, (std::vector<UINT>{16, UINT(16 + F), UINT(16 + F + S1)}));
  EXPECT_EQ(cida.List(0), ListBytes(folderList.Get()));
  EXPECT_EQ(cida.block.size(), 16 + F + S1 + S2 + 1);
  EXPECT_EQ(cida.block.back(), '\0');
  EXPECT_EQ(cida.ItemPath(1), folder + L"a.txt");
  EXPECT_EQ(cida.ItemPath(2), folder + L"second file.dat");
}

TEST_F(ShellIDList, MatchesTheShellsOwnBlock) {
  vcl::TComPtr<IShellFolder> shellFolder = PIDLGetFileFolder(folderList.Get());
  ASSERT_TRUE(shellFolder);
  std::vector<std::wstring> names;
  const std::string shells = ShellsOwnIDListArray(shellFolder.Get(), names);
  ASSERT_EQ(names.size(), 2u);
  vcl::TStringList lines;
  for (const auto& n : names) lines.Add(n);
  const std::string ours = ShellIDListFromFileList(folder, lines);
  // Ours ends with one more zero byte; the shell's global block may be larger than its data.
  ASSERT_GE(shells.size(), ours.size() - 1);
  EXPECT_EQ(ours.substr(0, ours.size() - 1), shells.substr(0, ours.size() - 1));
  TCida mine(ours), theirs(shells);
  EXPECT_EQ(mine.offsets, theirs.offsets);
}

TEST_F(ShellIDList, ALineTheFolderCannotParseGetsAnEmptyList) {
  TCida cida(ShellIDListFromFileList(folder, *Lines({L"a.txt", L"missing.txt", L"second file.dat"})));
  ASSERT_EQ(cida.count, 3u);
  EXPECT_EQ(cida.List(2), std::string(2, '\0'));
  EXPECT_EQ(cida.offsets[3], cida.offsets[2] + 2);
  EXPECT_EQ(cida.ItemPath(1), folder + L"a.txt");
  EXPECT_EQ(cida.ItemPath(3), folder + L"second file.dat");
}

TEST_F(ShellIDList, EmptyListsAndUnusableFolders) {
  TCida empty(ShellIDListFromFileList(folder, vcl::TStringList()));
  EXPECT_EQ(empty.count, 0u);
  EXPECT_EQ(empty.offsets, std::vector<UINT>{8});
  EXPECT_EQ(empty.List(0), ListBytes(folderList.Get()));
  EXPECT_EQ(empty.block.size(), 8 + PIDLGetSize(folderList.Get()) + 1u);
  EXPECT_EQ(empty.block.back(), '\0');

  auto names = Lines({L"a.txt"});
  EXPECT_EQ(ShellIDListFromFileList(L"Q:\\no such folder", *names), "");
  EXPECT_EQ(ShellIDListFromFileList(folder + L"a.txt", *names), "") << "a file is no folder";
}
