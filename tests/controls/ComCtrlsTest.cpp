// List view, tree view and rich edit read what their windows report.
#include <gtest/gtest.h>

#include <richedit.h>

#include <string>

#include "framework/ComCtrls.h"
#include "support/TestSupport.h"

using namespace vcl;

namespace {

using kxtest::ClassOf;

std::wstring CellText(HWND wnd, int row, int cell) {
  wchar_t buffer[128] = {};
  LVITEMW item{};
  item.iSubItem = cell;
  item.pszText = buffer;
  item.cchTextMax = 128;
  SendMessageW(wnd, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return buffer;
}

void SelectRow(HWND wnd, int row, bool selected) {
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED;
  item.state = selected ? LVIS_SELECTED : 0;
  SendMessageW(wnd, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

HTREEITEM Next(HWND wnd, UINT code, HTREEITEM item) {
  return reinterpret_cast<HTREEITEM>(SendMessageW(wnd, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}

std::wstring NodeText(HWND wnd, HTREEITEM h) {
  wchar_t buffer[128] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = h;
  item.pszText = buffer;
  item.cchTextMax = 128;
  SendMessageW(wnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return buffer;
}

DWORD CALLBACK AppendStreamedBytes(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* written) {
  reinterpret_cast<std::string*>(cookie)->append(reinterpret_cast<char*>(buffer), static_cast<size_t>(cb));
  *written = cb;
  return 0;
}

// A report-mode list view with three columns and the rows given as {caption, sub-items...}.
TListView* MakeListView(TComponent* owner, std::initializer_list<std::initializer_list<const wchar_t*>> rows) {
  auto* view = new TListView(owner);
  for (const wchar_t* caption : {L"Name", L"One", L"Two"}) view->Columns().Add()->SetCaption(caption);
  for (auto row : rows) {
    TListItem* item = view->Items().Add();
    auto cell = row.begin();
    item->SetCaption(*cell);
    for (++cell; cell != row.end(); ++cell) item->SubItems().Add(*cell);
  }
  return view;
}

}  // namespace

TEST(ListView, ColumnsRowsAndSubItemsAreTheWindows) {
  TComponent owner(nullptr);
  TListView* view = MakeListView(&owner, {{L"x", L"1", L"2"}, {L"y"}, {L"z", L"9"}});
  HWND wnd = view->Handle();
  EXPECT_EQ(ClassOf(wnd), L"SysListView32");
  EXPECT_EQ(GetWindowLongPtrW(wnd, GWL_STYLE) & LVS_TYPEMASK, LVS_REPORT);
  ASSERT_EQ(view->Columns().Count(), 3);
  EXPECT_EQ(view->Columns()[1]->Caption(), L"One");
  view->Columns()[2]->SetWidth(77);
  EXPECT_EQ(SendMessageW(wnd, LVM_GETCOLUMNWIDTH, 2, 0), 77);

  ASSERT_EQ(SendMessageW(wnd, LVM_GETITEMCOUNT, 0, 0), 3);
  EXPECT_EQ(CellText(wnd, 0, 0), L"x");
  EXPECT_EQ(CellText(wnd, 0, 2), L"2");
  EXPECT_EQ(CellText(wnd, 2, 1), L"9");

  const struct {
    int row;
    const wchar_t* caption;
    int subItems;
  } expected[] = {{0, L"x", 2}, {1, L"y", 0}, {2, L"z", 1}};
  for (const auto& e : expected) {
    TListItem* item = view->Items()[e.row];
    EXPECT_EQ(item->Caption(), e.caption);
    EXPECT_EQ(item->SubItems().Count(), e.subItems);
    EXPECT_EQ(item->Index(), e.row);
  }
  EXPECT_EQ(view->Items()[0]->SubItems()[1], L"2");

  // Changes behind the control's back are what it reads.
  LVITEMW cell{};
  cell.iSubItem = 1;
  cell.pszText = const_cast<wchar_t*>(L"new");
  SendMessageW(wnd, LVM_SETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&cell));
  EXPECT_EQ(view->Items()[1]->SubItems().Count(), 1);
  EXPECT_EQ(view->Items()[1]->SubItems()[0], L"new");

  // Sub-items need a column each; inserting shifts the cells to the right.
  EXPECT_THROW(view->Items()[0]->SubItems().Add(L"3"), EListError);
  view->Items()[2]->SubItems().Insert(0, L"8");
  EXPECT_EQ(CellText(wnd, 2, 1), L"8");
  EXPECT_EQ(CellText(wnd, 2, 2), L"9");
  view->Items()[2]->SubItems().Delete(0);
  EXPECT_EQ(CellText(wnd, 2, 1), L"9");
  EXPECT_EQ(CellText(wnd, 2, 2), L"");
  EXPECT_THROW(view->Items()[3], EListError);
}

TEST(ListView, ItemsKeepTheirIdentityWhileRowsComeAndGo) {
  TComponent owner(nullptr);
  TListView* view = MakeListView(&owner, {{L"a"}, {L"b"}, {L"c"}});
  HWND wnd = view->Handle();
  TListItem* c = view->Items()[2];
  SendMessageW(wnd, LVM_DELETEITEM, 0, 0);  // from outside
  EXPECT_EQ(c->Index(), 1);
  EXPECT_EQ(view->Items()[1], c);
  EXPECT_EQ(c->Caption(), L"c");
  view->Items().Insert(0)->SetCaption(L"first");
  EXPECT_EQ(c->Index(), 2);
  EXPECT_EQ(CellText(wnd, 0, 0), L"first");
  c->Delete();
  EXPECT_EQ(SendMessageW(wnd, LVM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(view->Items()[1]->Caption(), L"b");

  // A row the application inserted itself gets an item object too.
  LVITEMW row{};
  row.mask = LVIF_TEXT | LVIF_PARAM;
  row.iItem = 2;
  row.pszText = const_cast<wchar_t*>(L"foreign");
  row.lParam = 1234;
  SendMessageW(wnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
  TListItem* foreign = view->Items()[2];
  EXPECT_EQ(foreign->Caption(), L"foreign");
  EXPECT_EQ(foreign->Index(), 2);
  EXPECT_EQ(view->Items()[2], foreign);
  view->Items().Clear();
  EXPECT_EQ(view->Items().Count(), 0);
}

TEST(ListView, SelectionAndGetNextItem) {
  TComponent owner(nullptr);
  TListView* view = MakeListView(&owner, {{L"a"}, {L"b"}, {L"c"}, {L"d"}});
  HWND wnd = view->Handle();
  EXPECT_FALSE(view->MultiSelect());
  EXPECT_EQ(view->Selected(), nullptr);
  view->SetMultiSelect(true);
  EXPECT_FALSE(GetWindowLongPtrW(wnd, GWL_STYLE) & LVS_SINGLESEL);
  SelectRow(wnd, 1, true);
  SelectRow(wnd, 3, true);
  EXPECT_EQ(view->SelCount(), 2);
  TListItem* first = view->Selected();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Caption(), L"b");
  EXPECT_TRUE(first->Selected());
  TListItem* second = view->GetNextItem(first, sdAll, {isSelected});
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Caption(), L"d");
  EXPECT_EQ(view->GetNextItem(second, sdAll, {isSelected}), nullptr);
  EXPECT_EQ(view->GetNextItem(nullptr, sdAll, {})->Caption(), L"a");
  EXPECT_EQ(view->GetNextItem(first, sdAll, {})->Caption(), L"c");

  view->SetSelected(view->Items()[2]);
  EXPECT_EQ(SendMessageW(wnd, LVM_GETSELECTEDCOUNT, 0, 0), 1);
  EXPECT_EQ(view->Selected()->Caption(), L"c");
  view->Items()[0]->SetSelected(true);
  EXPECT_EQ(view->Selected()->Caption(), L"a");
  view->SetSelected(nullptr);
  EXPECT_EQ(view->Selected(), nullptr);
}

TEST(TreeView, NodesAreTheWindowsItems) {
  TComponent owner(nullptr);
  auto* tree = new TTreeView(&owner);
  TTreeNode* root = tree->Items().AddChild(nullptr, L"root");
  TTreeNode* a = tree->Items().AddChild(root, L"a");
  TTreeNode* b = tree->Items().Add(a, L"b");
  TTreeNode* a1 = tree->Items().AddChild(a, L"a1");
  TTreeNode* second = tree->Items().Add(nullptr, L"second root");
  HWND wnd = tree->Handle();
  EXPECT_EQ(ClassOf(wnd), L"SysTreeView32");
  EXPECT_EQ(SendMessageW(wnd, TVM_GETCOUNT, 0, 0), 5);
  EXPECT_EQ(tree->Items().Count(), 5);

  HTREEITEM first = Next(wnd, TVGN_ROOT, nullptr);
  EXPECT_EQ(first, root->ItemId());
  EXPECT_EQ(Next(wnd, TVGN_NEXT, first), second->ItemId());
  EXPECT_EQ(Next(wnd, TVGN_CHILD, first), a->ItemId());
  EXPECT_EQ(Next(wnd, TVGN_NEXT, a->ItemId()), b->ItemId());
  EXPECT_EQ(Next(wnd, TVGN_PARENT, a1->ItemId()), a->ItemId());
  EXPECT_EQ(NodeText(wnd, b->ItemId()), L"b");
  EXPECT_EQ(tree->Items().GetFirstNode(), root);
  EXPECT_EQ(a1->Parent(), a);
  EXPECT_EQ(root->Count(), 2);
  EXPECT_EQ(b->GetPrevSibling(), a);
  EXPECT_FALSE(b->HasChildren());

  TVITEMW item{};
  item.mask = TVIF_TEXT;
  item.hItem = a->ItemId();
  item.pszText = const_cast<wchar_t*>(L"renamed");
  SendMessageW(wnd, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(a->Text(), L"renamed");
  b->SetText(std::wstring(600, L'w'));  // longer than a first read buffer
  EXPECT_EQ(b->Text(), std::wstring(600, L'w'));

  // An item someone else inserted.
  TVINSERTSTRUCTW insert{};
  insert.hParent = second->ItemId();
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT;
  insert.item.pszText = const_cast<wchar_t*>(L"foreign");
  auto foreign = reinterpret_cast<HTREEITEM>(SendMessageW(wnd, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
  EXPECT_EQ(second->GetFirstChild()->Text(), L"foreign");
  EXPECT_EQ(tree->Items().GetNode(foreign), second->GetFirstChild());
}

TEST(TreeView, SelectionAndDeletion) {
  TComponent owner(nullptr);
  auto* tree = new TTreeView(&owner);
  TTreeNode* root = tree->Items().AddChild(nullptr, L"root");
  TTreeNode* child = tree->Items().AddChild(root, L"child");
  TTreeNode* other = tree->Items().AddChild(nullptr, L"other");
  HWND wnd = tree->Handle();
  EXPECT_EQ(tree->Selected(), nullptr);
  SendMessageW(wnd, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child->ItemId()));
  EXPECT_EQ(tree->Selected(), child);
  EXPECT_TRUE(child->Selected());
  tree->SetSelected(other);
  EXPECT_EQ(Next(wnd, TVGN_CARET, nullptr), other->ItemId());
  other->SetSelected(false);
  EXPECT_EQ(tree->Selected(), nullptr);

  // Deleting a node from outside takes its subtree; the survivors keep their objects.
  tree->SetSelected(child);
  SendMessageW(wnd, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(root->ItemId()));
  EXPECT_EQ(tree->Items().Count(), 1);
  EXPECT_EQ(tree->Items().GetFirstNode(), other);
  EXPECT_NE(tree->Selected(), child);
  other->Delete();
  EXPECT_EQ(tree->Items().Count(), 0);
  EXPECT_EQ(tree->Items().GetFirstNode(), nullptr);
  tree->Items().AddChild(nullptr, L"again");
  tree->Items().Clear();
  EXPECT_EQ(SendMessageW(wnd, TVM_GETCOUNT, 0, 0), 0);
}

TEST(RichEdit, SelectionAndTextFromTheControl) {
  TComponent owner(nullptr);
  auto* rich = new TRichEdit(&owner);
  HWND wnd = rich->Handle();
  const std::wstring cls = ClassOf(wnd);
  EXPECT_EQ(_wcsicmp(cls.c_str(), TCustomRichEdit::WindowClassName().c_str()), 0) << cls.c_str();

  rich->Lines().Add(L"first line");
  rich->Lines().Add(L"second line");
  EXPECT_EQ(rich->Lines().Count(), 2);
  EXPECT_EQ(rich->Lines()[1], L"second line");
  // The control counts a paragraph break as one character; the selected text gives CR LF.
  CHARRANGE range{6, 17};
  SendMessageW(wnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(rich->SelStart(), 6);
  EXPECT_EQ(rich->SelLength(), 11);
  EXPECT_EQ(rich->SelText(), L"line\r\nsecond");
  rich->SetSelStart(0);
  rich->SetSelLength(5);
  SendMessageW(wnd, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.cpMin, 0);
  EXPECT_EQ(range.cpMax, 5);
  EXPECT_EQ(rich->SelText(), L"first");
  rich->SetSelText(L"1st");
  EXPECT_EQ(rich->Lines()[0], L"1st line");
  rich->SelectAll();
  EXPECT_EQ(rich->SelText(), L"1st line\r\nsecond line\r\n");
}

TEST(RichEdit, HandleServesTheStreamingMessages) {
  TComponent owner(nullptr);
  auto* rich = new TRichEdit(&owner);
  rich->SetText(L"streamed");
  std::string out;
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&out);
  stream.pfnCallback = AppendStreamedBytes;
  SendMessageW(rich->Handle(), EM_STREAMOUT, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
  EXPECT_EQ(out, "streamed");
  // Text longer than the control's default limit (32767) is taken whole.
  EXPECT_GT(SendMessageW(rich->Handle(), EM_GETLIMITTEXT, 0, 0), 1 << 20);
  std::wstring longText;
  while (longText.size() < 40000) longText += std::wstring(78, L'x') + L"\r\n";
  rich->SelectAll();
  rich->SetSelText(longText);
  EXPECT_EQ(rich->Text().size(), longText.size());
}
