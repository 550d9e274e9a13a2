// The standard controls read what their windows report; selections are made with the controls'
// own messages, as a user's clicks would leave them.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "support/TestSupport.h"

using namespace vcl;

namespace {

using kxtest::ClassOf;
using kxtest::WindowText;

LONG_PTR StyleOf(HWND wnd) { return GetWindowLongPtrW(wnd, GWL_STYLE); }

std::wstring ListBoxText(HWND wnd, int i) {
  std::wstring text(static_cast<size_t>(SendMessageW(wnd, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(SendMessageW(wnd, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

struct TTestObject : TObject {};

}  // namespace

TEST(StdCtrls, EachControlIsAWindowOfItsSystemClass) {
  struct Case {
    const char* name;
    std::function<TWinControl*(TComponent*)> make;
    const wchar_t* cls;
    LONG_PTR typeMask, type;
  };
  const Case cases[] = {
      {"list box", [](TComponent* o) { return new TListBox(o); }, L"ListBox", 0, 0},
      {"combo box", [](TComponent* o) { return new TComboBox(o); }, L"ComboBox", 0xF, CBS_DROPDOWN},
      {"edit", [](TComponent* o) { return new TEdit(o); }, L"Edit", ES_MULTILINE, 0},
      {"memo", [](TComponent* o) { return new TMemo(o); }, L"Edit", ES_MULTILINE, ES_MULTILINE},
      {"button", [](TComponent* o) { return new TButton(o); }, L"Button", BS_TYPEMASK, BS_PUSHBUTTON},
      {"bitmap button", [](TComponent* o) { return new TBitBtn(o); }, L"Button", BS_TYPEMASK, BS_PUSHBUTTON},
      {"speed button", [](TComponent* o) { return new TSpeedButton(o); }, L"Button", BS_TYPEMASK, BS_PUSHBUTTON},
      {"check box", [](TComponent* o) { return new TCheckBox(o); }, L"Button", BS_TYPEMASK, BS_AUTOCHECKBOX},
      {"radio button", [](TComponent* o) { return new TRadioButton(o); }, L"Button", BS_TYPEMASK, BS_AUTORADIOBUTTON},
      {"group box", [](TComponent* o) { return new TGroupBox(o); }, L"Button", BS_TYPEMASK, BS_GROUPBOX},
      {"radio group", [](TComponent* o) { return new TRadioGroup(o); }, L"Button", BS_TYPEMASK, BS_GROUPBOX},
      {"label", [](TComponent* o) { return new TLabel(o); }, L"Static", SS_NOTIFY, SS_NOTIFY},
      {"static text", [](TComponent* o) { return new TStaticText(o); }, L"Static", SS_NOTIFY, SS_NOTIFY},
  };
  TComponent owner(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TWinControl* control = c.make(&owner);
    control->SetText(L"caption");
    HWND wnd = control->Handle();
    EXPECT_EQ(_wcsicmp(ClassOf(wnd).c_str(), c.cls), 0) << ClassOf(wnd).c_str();
    EXPECT_EQ(StyleOf(wnd) & c.typeMask, c.type);
    EXPECT_TRUE(StyleOf(wnd) & WS_CHILD);
    if (!dynamic_cast<TCustomListBox*>(control)) {
      EXPECT_EQ(WindowText(wnd), L"caption");
    }
  }
}

TEST(StdCtrls, ListBoxItemsAreTheWindowsItems) {
  TComponent owner(nullptr);
  auto* list = new TListBox(&owner);
  TTestObject tag;
  list->Items().Add(L"one");
  list->Items().AddObject(L"two", &tag);
  EXPECT_FALSE(list->HandleAllocated());  // kept until the window exists
  EXPECT_EQ(list->Count(), 2);
  EXPECT_EQ(list->ItemIndex(), -1);
  EXPECT_FALSE(list->HandleAllocated());  // reading did not create it

  HWND wnd = list->Handle();
  ASSERT_EQ(SendMessageW(wnd, LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(ListBoxText(wnd, 1), L"two");
  EXPECT_EQ(SendMessageW(wnd, LB_GETITEMDATA, 1, 0), reinterpret_cast<LRESULT>(&tag));

  // Changes behind the control's back are what it reads.
  SendMessageW(wnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"three"));
  SendMessageW(wnd, LB_SETCURSEL, 2, 0);
  EXPECT_EQ(list->Count(), 3);
  EXPECT_EQ(list->Items()[2], L"three");
  EXPECT_EQ(list->ItemIndex(), 2);
  EXPECT_EQ(list->Items().Objects(1), &tag);

  list->Items().Insert(0, L"zero");
  list->Items().Delete(3);
  EXPECT_EQ(list->Items().Text(), L"zero\r\none\r\ntwo\r\n");
  EXPECT_EQ(SendMessageW(wnd, LB_GETCOUNT, 0, 0), 3);
  EXPECT_THROW(list->Items()[3], EStringListError);
  EXPECT_THROW(list->Items().Insert(5, L"x"), EStringListError);

  // Replacing an item keeps its object and the current item.
  SendMessageW(wnd, LB_SETCURSEL, 2, 0);
  list->Items().SetStrings(2, L"TWO");
  EXPECT_EQ(ListBoxText(wnd, 2), L"TWO");
  EXPECT_EQ(list->Items().Objects(2), &tag);
  EXPECT_EQ(list->ItemIndex(), 2);

  list->Clear();
  EXPECT_EQ(SendMessageW(wnd, LB_GETCOUNT, 0, 0), 0);
}

TEST(StdCtrls, SingleSelectionListBox) {
  TComponent owner(nullptr);
  auto* list = new TListBox(&owner);
  for (const wchar_t* s : {L"a", L"b", L"c"}) list->Items().Add(s);
  HWND wnd = list->Handle();
  EXPECT_FALSE(list->MultiSelect());
  EXPECT_EQ(list->SelCount(), 0);
  SendMessageW(wnd, LB_SETCURSEL, 1, 0);
  EXPECT_EQ(list->ItemIndex(), 1);
  EXPECT_TRUE(list->Selected(1));
  EXPECT_FALSE(list->Selected(0));
  EXPECT_EQ(list->SelCount(), 1);
  list->SetSelected(2, true);
  EXPECT_EQ(SendMessageW(wnd, LB_GETCURSEL, 0, 0), 2);
  list->SetSelected(2, false);
  EXPECT_EQ(SendMessageW(wnd, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_THROW(list->Selected(3), EStringListError);
}

TEST(StdCtrls, MultiSelectionListBox) {
  TComponent owner(nullptr);
  auto* list = new TListBox(&owner);
  for (const wchar_t* s : {L"a", L"b", L"c", L"d"}) list->Items().Add(s);
  list->SetMultiSelect(true);
  HWND wnd = list->Handle();
  EXPECT_TRUE(StyleOf(wnd) & LBS_EXTENDEDSEL);
  SendMessageW(wnd, LB_SETSEL, TRUE, 0);
  SendMessageW(wnd, LB_SETSEL, TRUE, 2);
  SendMessageW(wnd, LB_SETCARETINDEX, 3, FALSE);
  EXPECT_TRUE(list->Selected(0));
  EXPECT_FALSE(list->Selected(1));
  EXPECT_TRUE(list->Selected(2));
  EXPECT_EQ(list->SelCount(), 2);
  EXPECT_EQ(list->ItemIndex(), 3);  // the current item, not a selected one
  list->SetSelected(1, true);
  EXPECT_GT(SendMessageW(wnd, LB_GETSEL, 1, 0), 0);
  EXPECT_EQ(list->SelCount(), 3);

  // A list box takes its selection style at creation: switching recreates it with the items.
  list->SetMultiSelect(false);
  HWND single = list->Handle();
  EXPECT_NE(single, wnd);
  EXPECT_FALSE(StyleOf(single) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL));
  EXPECT_FALSE(list->MultiSelect());
  EXPECT_EQ(SendMessageW(single, LB_GETCOUNT, 0, 0), 4);
}

TEST(StdCtrls, ComboBoxItemsAndCurrentItem) {
  TComponent owner(nullptr);
  auto* combo = new TComboBox(&owner);
  combo->Items().Add(L"red");
  combo->Items().Add(L"green");
  combo->SetItemIndex(1);
  HWND wnd = combo->Handle();
  EXPECT_EQ(SendMessageW(wnd, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(wnd, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(combo->Text(), L"green");
  SendMessageW(wnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"blue"));
  SendMessageW(wnd, CB_SETCURSEL, 2, 0);
  EXPECT_EQ(combo->ItemIndex(), 2);
  EXPECT_EQ(combo->Items()[2], L"blue");
  EXPECT_EQ(combo->Text(), L"blue");
}

TEST(StdCtrls, EditSelection) {
  TComponent owner(nullptr);
  auto* edit = new TEdit(&owner);
  edit->SetText(L"hello world");
  EXPECT_EQ(edit->SelText(), L"");
  EXPECT_EQ(edit->SelLength(), 0);
  EXPECT_FALSE(edit->HandleAllocated());

  HWND wnd = edit->Handle();
  SendMessageW(wnd, EM_SETSEL, 6, 11);
  EXPECT_EQ(edit->SelStart(), 6);
  EXPECT_EQ(edit->SelLength(), 5);
  EXPECT_EQ(edit->SelText(), L"world");
  edit->SetSelText(L"there");
  EXPECT_EQ(edit->Text(), L"hello there");
  edit->SetSelStart(1);
  edit->SetSelLength(3);
  DWORD start = 0, end = 0;
  SendMessageW(wnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 1u);
  EXPECT_EQ(end, 4u);
  edit->SelectAll();
  EXPECT_EQ(edit->SelText(), L"hello there");
}

TEST(StdCtrls, MemoLinesAreTheWindowsLines) {
  TComponent owner(nullptr);
  auto* memo = new TMemo(&owner);
  memo->Lines().Add(L"first");
  memo->Lines().Add(L"second");
  EXPECT_FALSE(memo->HandleAllocated());
  EXPECT_EQ(memo->Lines().Count(), 2);
  EXPECT_EQ(memo->Text(), L"first\r\nsecond\r\n");

  HWND wnd = memo->Handle();
  EXPECT_EQ(WindowText(wnd), L"first\r\nsecond\r\n");
  EXPECT_EQ(memo->Lines().Count(), 2);
  EXPECT_EQ(memo->Lines()[1], L"second");
  memo->Lines().Insert(1, L"middle");
  memo->Lines().Add(L"last");
  EXPECT_EQ(WindowText(wnd), L"first\r\nmiddle\r\nsecond\r\nlast\r\n");
  memo->Lines().Delete(0);
  memo->Lines().SetStrings(1, L"2nd");
  EXPECT_EQ(WindowText(wnd), L"middle\r\n2nd\r\nlast\r\n");

  // A last line without a line break is a line; adding after it starts a new one.
  SetWindowTextW(wnd, L"x\r\ny");
  EXPECT_EQ(memo->Lines().Count(), 2);
  EXPECT_EQ(memo->Lines()[1], L"y");
  memo->Lines().Add(L"z");
  EXPECT_EQ(WindowText(wnd), L"x\r\ny\r\nz");
  EXPECT_THROW(memo->Lines()[3], EStringListError);
  memo->Lines().Clear();
  EXPECT_EQ(memo->Lines().Count(), 0);

  SetWindowTextW(wnd, L"abc\r\ndef");
  SendMessageW(wnd, EM_SETSEL, 2, 6);
  EXPECT_EQ(memo->SelText(), L"c\r\nd");
}

TEST(StdCtrls, CheckMarksLiveInTheWindowOnceItExists) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  auto* check = new TCheckBox(&owner);
  check->SetParent(form);
  check->SetChecked(true);
  EXPECT_TRUE(check->Checked());
  HWND wnd = check->Handle();
  EXPECT_EQ(SendMessageW(wnd, BM_GETCHECK, 0, 0), BST_CHECKED);
  SendMessageW(wnd, BM_SETCHECK, BST_UNCHECKED, 0);
  EXPECT_FALSE(check->Checked());
  SendMessageW(wnd, BM_CLICK, 0, 0);
  EXPECT_TRUE(check->Checked());

  auto* r1 = new TRadioButton(&owner);
  auto* r2 = new TRadioButton(&owner);
  r1->SetParent(form);
  r2->SetParent(form);
  r1->SetChecked(true);
  r2->SetChecked(true);  // unchecks its sibling, as a click would
  EXPECT_FALSE(r1->Checked());
  EXPECT_EQ(SendMessageW(r2->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST(StdCtrls, RadioGroupButtonsFollowItsItems) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  auto* group = new TRadioGroup(&owner);
  group->SetParent(form);
  group->SetText(L"Choice");
  group->Items().Add(L"a");
  group->Items().Add(L"b");
  HWND wnd = group->Handle();
  ASSERT_EQ(group->ControlCount(), 2);
  HWND second = group->Buttons(1)->Handle();
  EXPECT_EQ(GetParent(second), wnd);
  EXPECT_EQ(WindowText(second), L"b");
  EXPECT_EQ(group->ItemIndex(), -1);
  SendMessageW(second, BM_CLICK, 0, 0);
  EXPECT_EQ(group->ItemIndex(), 1);
  group->SetItemIndex(0);
  EXPECT_EQ(SendMessageW(group->Buttons(0)->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(second, BM_GETCHECK, 0, 0), BST_UNCHECKED);

  group->Items().SetStrings(1, L"B");
  group->Items().Add(L"c");
  EXPECT_EQ(WindowText(group->Buttons(1)->Handle()), L"B");
  EXPECT_EQ(group->ControlCount(), 3);
  group->Items().Delete(2);
  EXPECT_EQ(group->ControlCount(), 2);
  EXPECT_THROW(group->SetItemIndex(2), EListError);
  group->Items().Clear();
  EXPECT_EQ(group->ControlCount(), 0);
  EXPECT_EQ(group->ItemIndex(), -1);
}
