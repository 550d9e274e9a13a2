// textFromDonorComponent: the rule table in its order, on real controls whose selections are made
// through the controls' own messages.
#include <gtest/gtest.h>

#include <richedit.h>

#include <functional>
#include <initializer_list>
#include <vector>

#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "sources/KXCompsDonorText.h"

using namespace vcl;
using kestrix::textFromDonorComponent;

namespace {

// A list box of the framework's base class that is not a TListBox.
class TOwnListBox : public TCustomListBox {
 public:
  using TCustomListBox::TCustomListBox;
};

struct Fixture : testing::Test {
  TComponent owner{nullptr};
  TForm* form = new TForm(&owner);

  template <class T>
  T* Make(const wchar_t* name) {
    auto* control = new T(&owner);
    control->SetName(name);
    control->SetParent(form);
    return control;
  }
};

using DonorText = Fixture;

// Items, whether the list box is multi-select, the selected items, the current item (-1: leave).
struct ListBoxCase {
  const char* name;
  bool ownClass;
  std::vector<const wchar_t*> items;
  bool multi;
  std::vector<int> selected;
  int current;
  std::wstring expected;
};

}  // namespace

TEST_F(DonorText, NothingGivesEmptyAndUnlistedComponentsGiveTheirName) {
  EXPECT_EQ(textFromDonorComponent(nullptr), L"");
  auto* plain = new TComponent(&owner);
  plain->SetName(L"Image1");
  EXPECT_EQ(textFromDonorComponent(plain), L"Image1");
  auto* combo = Make<TComboBox>(L"Combo1");
  combo->Items().Add(L"chosen");
  HWND wnd = combo->Handle();
  SendMessageW(wnd, CB_SETCURSEL, 0, 0);
  SendMessageW(wnd, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
  EXPECT_EQ(textFromDonorComponent(combo), L"Combo1");
  auto* generic = Make<TWinControl>(L"Plain1");
  generic->SetText(L"caption");
  EXPECT_EQ(textFromDonorComponent(generic), L"Plain1");
  EXPECT_EQ(textFromDonorComponent(form), L"");  // a form is named nothing here
}

TEST_F(DonorText, ListBoxRules) {
  const ListBoxCase cases[] = {
      {"multi, a and c selected", false, {L"a", L"b", L"c"}, true, {0, 2}, -1, L"a\r\nc"},
      {"multi, nothing selected: current item", false, {L"a", L"b", L"c"}, true, {}, 1, L"b"},
      {"single, current item", false, {L"a", L"b", L"c"}, false, {}, 2, L"c"},
      {"single, no current item", false, {L"a", L"b"}, false, {}, -1, L""},
      {"no items", false, {}, true, {}, -1, L""},
      {"leading empty item adds nothing", false, {L"", L"b"}, true, {0, 1}, -1, L"b"},
      {"empty item in the middle", false, {L"a", L"", L"c"}, true, {0, 1, 2}, -1, L"a\r\n\r\nc"},
      {"not a TListBox: current item only", true, {L"a", L"b", L"c"}, true, {0, 2}, 1, L"b"},
  };
  for (const ListBoxCase& c : cases) {
    SCOPED_TRACE(c.name);
    TCustomListBox* list = c.ownClass ? static_cast<TCustomListBox*>(Make<TOwnListBox>(L"L"))
                                      : static_cast<TCustomListBox*>(Make<TListBox>(L"L"));
    list->SetMultiSelect(c.multi);
    for (const wchar_t* s : c.items) list->Items().Add(s);
    HWND wnd = list->Handle();
    for (int i : c.selected) SendMessageW(wnd, LB_SETSEL, TRUE, i);
    if (c.current >= 0) SendMessageW(wnd, c.multi ? LB_SETCARETINDEX : LB_SETCURSEL, static_cast<WPARAM>(c.current), 0);
    EXPECT_EQ(textFromDonorComponent(list), c.expected);
    delete list;
  }
}

TEST_F(DonorText, ListViewRowsAreCellsJoinedByTabs) {
  auto* view = Make<TListView>(L"View1");
  for (int i = 0; i < 3; ++i) view->Columns().Add();
  view->SetMultiSelect(true);
  for (auto row : {std::initializer_list<const wchar_t*>{L"x", L"1", L"2"}, {L"y", L"3", L"4"}, {L"z"}}) {
    TListItem* item = view->Items().Add();
    auto cell = row.begin();
    item->SetCaption(*cell);
    while (++cell != row.end()) item->SubItems().Add(*cell);
  }
  HWND wnd = view->Handle();
  auto select = [&](std::initializer_list<int> rows) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED;
    SendMessageW(wnd, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    state.state = LVIS_SELECTED;
    for (int r : rows) SendMessageW(wnd, LVM_SETITEMSTATE, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&state));
  };
  const struct {
    std::initializer_list<int> rows;
    const wchar_t* expected;
  } cases[] = {
      {{}, L""},
      {{0}, L"x\t1\t2"},
      {{2}, L"z"},
      {{0, 1}, L"x\t1\t2\r\ny\t3\t4"},
      {{0, 2}, L"x\t1\t2\r\nz"},
      {{0, 1, 2}, L"x\t1\t2\r\ny\t3\t4\r\nz"},
  };
  for (const auto& c : cases) {
    select(c.rows);
    EXPECT_EQ(textFromDonorComponent(view), c.expected);
  }
}

TEST_F(DonorText, TreeViewGivesTheSelectedNode) {
  auto* tree = Make<TTreeView>(L"Tree1");
  TTreeNode* root = tree->Items().AddChild(nullptr, L"root");
  TTreeNode* leaf = tree->Items().AddChild(root, L"leaf");
  EXPECT_EQ(textFromDonorComponent(tree), L"");
  SendMessageW(tree->Handle(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(leaf->ItemId()));
  EXPECT_EQ(textFromDonorComponent(tree), L"leaf");
}

TEST_F(DonorText, EditsGiveTheirSelection) {
  auto* edit = Make<TEdit>(L"Edit1");
  auto* memo = Make<TMemo>(L"Memo1");
  auto* rich = Make<TRichEdit>(L"Rich1");
  edit->SetText(L"hello world");
  memo->SetText(L"one\r\ntwo\r\n");
  rich->SetText(L"first\r\nsecond");
  EXPECT_EQ(textFromDonorComponent(memo), L"");  // nothing selected (and no window yet)
  EXPECT_FALSE(memo->HandleAllocated());          // reading did not create it

  SendMessageW(edit->Handle(), EM_SETSEL, 6, 11);
  EXPECT_EQ(textFromDonorComponent(edit), L"world");
  SendMessageW(memo->Handle(), EM_SETSEL, 0, -1);
  EXPECT_EQ(textFromDonorComponent(memo), L"one\r\ntwo\r\n");
  SendMessageW(memo->Handle(), EM_SETSEL, 3, 3);
  EXPECT_EQ(textFromDonorComponent(memo), L"");
  CHARRANGE range{2, 9};
  SendMessageW(rich->Handle(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(textFromDonorComponent(rich), L"rst\r\nsec");
}

TEST_F(DonorText, RadioGroupGivesItsLinesBeforeItsCaption) {
  auto* group = Make<TRadioGroup>(L"Group1");
  group->SetCaption(L"Caption");
  EXPECT_EQ(textFromDonorComponent(group), L"");
  group->Items().Add(L"a");
  group->Items().Add(L"b");
  group->SetItemIndex(1);
  EXPECT_EQ(textFromDonorComponent(group), L"a\r\nb\r\n");
}

TEST_F(DonorText, CaptionControlsGiveTheirCaption) {
  const std::vector<std::function<TControl*()>> makers = {
      [&] { return Make<TPanel>(L"N"); },      [&] { return Make<TStaticText>(L"N"); },
      [&] { return Make<TLabel>(L"N"); },      [&] { return Make<TButton>(L"N"); },
      [&] { return Make<TRadioButton>(L"N"); }, [&] { return Make<TCheckBox>(L"N"); },
      [&] { return Make<TGroupBox>(L"N"); },   [&] { return Make<TBitBtn>(L"N"); },
      [&] { return Make<TSpeedButton>(L"N"); },
  };
  for (size_t i = 0; i < makers.size(); ++i) {
    SCOPED_TRACE(i);
    TControl* control = makers[i]();
    control->SetCaption(L"Cap");
    EXPECT_EQ(textFromDonorComponent(control), L"Cap");  // before its window exists
    auto* windowed = static_cast<TWinControl*>(control);
    SetWindowTextW(windowed->Handle(), L"Changed");
    EXPECT_EQ(textFromDonorComponent(control), L"Changed");
  }
}

TEST_F(DonorText, WrappedApplicationWindowsFollowTheirClassRule) {
  HWND raw = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | LBS_EXTENDEDSEL, 0, 0, 80, 80, form->Handle(), nullptr,
                             nullptr, nullptr);
  for (const wchar_t* s : {L"p", L"q", L"r"}) SendMessageW(raw, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  SendMessageW(raw, LB_SETSEL, TRUE, 1);
  SendMessageW(raw, LB_SETSEL, TRUE, 2);
  auto* list = new TListBox(&owner, raw);
  EXPECT_EQ(textFromDonorComponent(list), L"q\r\nr");
  delete list;
  auto* generic = new TWinControl(&owner, raw);
  generic->SetName(L"Foreign1");
  EXPECT_EQ(textFromDonorComponent(generic), L"Foreign1");
}

TEST_F(DonorText, ReadingLeavesTheControlAsItWas) {
  auto* list = Make<TListBox>(L"List1");
  list->SetMultiSelect(true);
  for (const wchar_t* s : {L"a", L"b", L"c"}) list->Items().Add(s);
  HWND wnd = list->Handle();
  SendMessageW(wnd, LB_SETSEL, TRUE, 1);
  SendMessageW(wnd, LB_SETCARETINDEX, 2, FALSE);
  EXPECT_EQ(textFromDonorComponent(list), L"b");
  EXPECT_EQ(SendMessageW(wnd, LB_GETSELCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageW(wnd, LB_GETCARETINDEX, 0, 0), 2);

  // A donor without a window is read without creating one.
  auto* loose = new TListBox(&owner);
  loose->Items().Add(L"y");
  EXPECT_EQ(textFromDonorComponent(loose), L"");
  EXPECT_FALSE(loose->HandleAllocated());
}
