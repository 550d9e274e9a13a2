// Compound files made by OLE listed into a real tree view.
#include <gtest/gtest.h>

#include <vector>

#include "formats/KXUtil.h"
#include "framework/ComCtrls.h"
#include "framework/ComObj.h"
#include "framework/Streams.h"
#include "support/TestSupport.h"

using namespace kestrix;
using vcl::TComPtr;

namespace {

constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

TComPtr<IStorage> AddStorage(IStorage* parent, const wchar_t* name) {
  TComPtr<IStorage> s;
  EXPECT_HRESULT_SUCCEEDED(parent->CreateStorage(name, kCreate, 0, 0, s.Put()));
  return s;
}

void AddStream(IStorage* parent, const wchar_t* name) {
  TComPtr<IStream> s;
  EXPECT_HRESULT_SUCCEEDED(parent->CreateStream(name, kCreate, 0, 0, s.Put()));
}

TComPtr<IStorage> NewDocfile(const std::wstring& path) {
  TComPtr<IStorage> root;
  EXPECT_HRESULT_SUCCEEDED(StgCreateDocfile(path.c_str(), kCreate, 0, root.Put()));
  return root;
}

// Every node under node, depth first, as a path of texts joined with '/'.
void Paths(vcl::TTreeNode* node, const std::wstring& prefix, std::vector<std::wstring>& out) {
  for (vcl::TTreeNode* child = node->GetFirstChild(); child; child = child->GetNextSibling()) {
    out.push_back(prefix + child->Text());
    Paths(child, prefix + child->Text() + L"/", out);
  }
}

std::vector<std::wstring> Paths(vcl::TTreeNode* node) {
  std::vector<std::wstring> out;
  Paths(node, L"", out);
  return out;
}

}  // namespace

TEST(StorageTree, ListsACompoundFileDepthFirstInTheStoragesOrder) {
  std::wstring path = kxtest::MakeTempFolder(L"storagetree") + L"doc.stg";
  {
    // Made out of order: a compound file enumerates shorter names first, then by name regardless
    // of case, and the listing follows the enumeration.
    TComPtr<IStorage> root = NewDocfile(path);
    AddStream(root.Get(), L"Zeta");
    TComPtr<IStorage> beta = AddStorage(root.Get(), L"beta");
    TComPtr<IStorage> sub = AddStorage(beta.Get(), L"sub");
    AddStream(sub.Get(), L"deep");
    AddStream(beta.Get(), L"b1");
    AddStorage(beta.Get(), L"Empty");
    AddStream(root.Get(), L"Al");
  }
  vcl::TComponent owner(nullptr);
  auto* tree = new vcl::TTreeView(&owner);
  vcl::TTreeNode* top = tree->Items().AddChild(nullptr, L"file");
  tree->Items().AddChild(top, L"existing");
  vcl::TTreeNode* other = tree->Items().AddChild(nullptr, L"other");

  ASSERT_TRUE(DisplayCompoundDocUnderTreeNode(path, top));
  EXPECT_EQ(Paths(top), (std::vector<std::wstring>{L"existing", L"Al", L"beta", L"beta/b1", L"beta/sub",
                                                   L"beta/sub/deep", L"beta/Empty", L"Zeta"}));
  EXPECT_EQ(other->Count(), 0);
  EXPECT_EQ(tree->Items().Count(), 10);  // the root storage has no node of its own

  // The file is closed again: it can be opened exclusively.
  TComPtr<IStorage> again;
  EXPECT_HRESULT_SUCCEEDED(StgOpenStorage(path.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                          again.Put()));
  vcl::TTreeNode* under = tree->Items().AddChild(other, L"storage");
  DisplayStorageUnderTreeNode(again.Get(), under);
  EXPECT_EQ(Paths(under), (std::vector<std::wstring>{L"Al", L"beta", L"beta/b1", L"beta/sub", L"beta/sub/deep",
                                                     L"beta/Empty", L"Zeta"}));
  DisplayStorageUnderTreeNode(nullptr, under);
  DisplayStorageUnderTreeNode(again.Get(), nullptr);
  EXPECT_EQ(under->Count(), 3);
}

TEST(StorageTree, ANonCompoundFileAddsNothing) {
  std::wstring folder = kxtest::MakeTempFolder(L"storagetree-bad");
  std::wstring text = folder + L"plain.txt";
  {
    vcl::TFileStream f(text, vcl::fmCreate);
    f.WriteBuffer("just some text\r\n", 16);
  }
  std::wstring empty = folder + L"empty.stg";
  { vcl::TFileStream f(empty, vcl::fmCreate); }

  vcl::TComponent owner(nullptr);
  auto* tree = new vcl::TTreeView(&owner);
  vcl::TTreeNode* node = tree->Items().AddChild(nullptr, L"node");
  for (const std::wstring& name : {text, empty, folder, folder + L"missing.stg", std::wstring()}) {
    EXPECT_FALSE(DisplayCompoundDocUnderTreeNode(name, node)) << vcl::AnsiFromUnicode(name);
  }
  EXPECT_EQ(tree->Items().Count(), 1);
  std::wstring doc = folder + L"doc.stg";
  NewDocfile(doc);
  EXPECT_FALSE(DisplayCompoundDocUnderTreeNode(doc, nullptr));
  EXPECT_TRUE(DisplayCompoundDocUnderTreeNode(doc, node));  // an empty compound file lists nothing
  EXPECT_EQ(tree->Items().Count(), 1);
}

TEST(StorageTree, DeepNestingEndsInALeaf) {
  std::wstring path = kxtest::MakeTempFolder(L"storagetree-deep") + L"deep.stg";
  {
    std::vector<TComPtr<IStorage>> chain{NewDocfile(path)};
    for (int level = 1; level <= 70; ++level)
      chain.push_back(AddStorage(chain.back().Get(), (L"s" + std::to_wstring(level)).c_str()));
  }
  vcl::TComponent owner(nullptr);
  auto* tree = new vcl::TTreeView(&owner);
  vcl::TTreeNode* node = tree->Items().AddChild(nullptr, L"deep");
  ASSERT_TRUE(DisplayCompoundDocUnderTreeNode(path, node));
  int depth = 0;
  for (vcl::TTreeNode* n = node->GetFirstChild(); n; n = n->GetFirstChild()) {
    ++depth;
    EXPECT_EQ(n->Text(), L"s" + std::to_wstring(depth));
  }
  EXPECT_EQ(depth, 64);
}
