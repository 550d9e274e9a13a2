#include "framework/StdCtrls.h"

#include <algorithm>

#include "framework/SysUtils.h"

namespace vcl {

// The item messages of list boxes and combo boxes (LB_ERR and CB_ERR are both -1).
struct TItemMessages {
  UINT Count, TextLen, Text, Insert, Delete, Reset, GetData, SetData;
};

namespace {

[[noreturn]] void IndexError(int Index) { throw EStringListError(Format(L"List index out of bounds (%d)", Index)); }

constexpr TItemMessages kListBoxMessages{LB_GETCOUNT,     LB_GETTEXTLEN,   LB_GETTEXT,     LB_INSERTSTRING,
                                         LB_DELETESTRING, LB_RESETCONTENT, LB_GETITEMDATA, LB_SETITEMDATA};
constexpr TItemMessages kComboBoxMessages{CB_GETCOUNT,     CB_GETLBTEXTLEN, CB_GETLBTEXT,   CB_INSERTSTRING,
                                          CB_DELETESTRING, CB_RESETCONTENT, CB_GETITEMDATA, CB_SETITEMDATA};

}  // namespace

// The items of a list box or combo box: the window's items once it exists, the pending list
// before. An item's object travels in the item's data.
class TWindowItems : public TStrings {
 public:
  TWindowItems(TWinControl& Control, TStringList& Pending, const TItemMessages& Messages)
      : FControl(Control), FPending(Pending), FMsg(Messages) {}

  int Count() const override {
    if (!Live()) return FPending.Count();
    return static_cast<int>(std::max<LRESULT>(Send(FMsg.Count), 0));
  }

  std::wstring Strings(int Index) const override {
    if (!Live()) return FPending.Strings(Index);
    LRESULT length = Send(FMsg.TextLen, static_cast<WPARAM>(Index));
    if (Index < 0 || length < 0) IndexError(Index);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = Send(FMsg.Text, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(copied, 0, length)));
    return text;
  }

  void SetStrings(int Index, const std::wstring& S) override {
    if (!Live()) return FPending.SetStrings(Index, S);
    Check(Index);
    // Replacing is delete and insert: keep the item's object, and the current item.
    TObject* object = Objects(Index);
    LRESULT current = CurrentItem();
    const bool selected = FMsg.Count == LB_GETCOUNT && Send(LB_GETSEL, static_cast<WPARAM>(Index)) > 0;
    Delete(Index);
    InsertObject(Index, S, object);
    if (selected) Send(LB_SETSEL, TRUE, Index);
    if (current == Index) SetCurrentItem(Index);
  }

  TObject* Objects(int Index) const override {
    if (!Live()) return FPending.Objects(Index);
    Check(Index);
    return reinterpret_cast<TObject*>(Send(FMsg.GetData, static_cast<WPARAM>(Index)));
  }

  void SetObjects(int Index, TObject* AObject) override {
    if (!Live()) return FPending.SetObjects(Index, AObject);
    Check(Index);
    Send(FMsg.SetData, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(AObject));
  }

  void InsertObject(int Index, const std::wstring& S, TObject* AObject) override {
    if (!Live()) return FPending.InsertObject(Index, S, AObject);
    if (Index < 0 || Index > Count()) IndexError(Index);
    LRESULT at = Send(FMsg.Insert, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(S.c_str()));
    if (at < 0) throw EOutOfMemory(L"The list cannot take another item");
    if (AObject) Send(FMsg.SetData, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(AObject));
  }

  void Delete(int Index) override {
    if (!Live()) return FPending.Delete(Index);
    Check(Index);
    Send(FMsg.Delete, static_cast<WPARAM>(Index));
  }

  void Clear() override {
    if (!Live()) return FPending.Clear();
    Send(FMsg.Reset);
  }

  // The pending items go into the new window.
  void Flush() {
    for (int i = 0; i < FPending.Count(); ++i) {
      LRESULT at = Send(FMsg.Insert, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(FPending.Strings(i).c_str()));
      if (at >= 0 && FPending.Objects(i))
        Send(FMsg.SetData, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(FPending.Objects(i)));
    }
    FPending.Clear();
  }

  // The window is going: its items become pending again.
  void Save() {
    TStringList items;
    for (int i = 0, n = Count(); i < n; ++i) items.AddObject(Strings(i), Objects(i));
    FPending.Assign(&items);
  }

 private:
  bool Live() const { return FControl.HandleAllocated(); }
  LRESULT Send(UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0) const {
    return SendMessageW(FControl.Handle(), Msg, WParam, LParam);
  }
  void Check(int Index) const {
    if (Index < 0 || Index >= Count()) IndexError(Index);
  }
  LRESULT CurrentItem() const {
    if (FMsg.Count == CB_GETCOUNT) return Send(CB_GETCURSEL);
    return Send((GetWindowLongPtrW(FControl.Handle(), GWL_STYLE) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) ? LB_GETCARETINDEX
                                                                                                       : LB_GETCURSEL);
  }
  void SetCurrentItem(LRESULT Index) {
    if (FMsg.Count == CB_GETCOUNT) Send(CB_SETCURSEL, static_cast<WPARAM>(Index));
    else if (GetWindowLongPtrW(FControl.Handle(), GWL_STYLE) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL))
      Send(LB_SETCARETINDEX, static_cast<WPARAM>(Index), FALSE);
    else Send(LB_SETCURSEL, static_cast<WPARAM>(Index));
  }

  TWinControl& FControl;
  TStringList& FPending;
  const TItemMessages& FMsg;
};

// The lines of a memo (and of a rich edit): the window's lines once it exists, the lines of the
// pending text before.
class TMemoLines : public TStrings {
  // Reads the lines of the pending text (declared first: its return type is deduced).
  template <class F>
  auto ReadPending(F Read) const {
    TStringList l;
    l.SetText(FMemo.FText);
    return Read(l);
  }

 public:
  explicit TMemoLines(TCustomMemo& Memo) : FMemo(Memo) {}

  int Count() const override {
    if (!Live()) return ReadPending([](const TStringList& l) { return l.Count(); });
    LRESULT n = Send(EM_GETLINECOUNT);
    // The empty line after a final line break is not a line of the list.
    if (n > 0 && Send(EM_LINELENGTH, static_cast<WPARAM>(Send(EM_LINEINDEX, static_cast<WPARAM>(n - 1)))) == 0) --n;
    return static_cast<int>(n);
  }

  std::wstring Strings(int Index) const override {
    if (!Live()) return ReadPending([&](const TStringList& l) { return l.Strings(Index); });
    Check(Index);
    LRESULT start = Send(EM_LINEINDEX, static_cast<WPARAM>(Index));
    LRESULT length = Send(EM_LINELENGTH, static_cast<WPARAM>(start));
    if (length <= 0) return {};
    // EM_GETLINE takes the buffer's size in its first character and may copy the line break too.
    std::wstring text(static_cast<size_t>(length) + 2, L'\0');
    text[0] = static_cast<wchar_t>(std::min<size_t>(text.size(), 0xFFFF));
    LRESULT copied = Send(EM_GETLINE, static_cast<WPARAM>(Index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::clamp<LRESULT>(copied, 0, length)));
    return text;
  }

  void SetStrings(int Index, const std::wstring& S) override {
    if (!Live()) return EditPending([&](TStringList& l) { l.SetStrings(Index, S); });
    Check(Index);
    LRESULT start = Send(EM_LINEINDEX, static_cast<WPARAM>(Index));
    Replace(start, start + Send(EM_LINELENGTH, static_cast<WPARAM>(start)), S);
  }

  TObject* Objects(int Index) const override {
    if (!Live()) return nullptr;
    Check(Index);
    return nullptr;
  }

  // A memo's lines carry no objects.
  void SetObjects(int, TObject*) override {}

  void InsertObject(int Index, const std::wstring& S, TObject*) override {
    if (!Live()) return EditPending([&](TStringList& l) { l.Insert(Index, S); });
    if (Index < 0 || Index > Count()) IndexError(Index);
    LRESULT at = Send(EM_LINEINDEX, static_cast<WPARAM>(Index));
    if (at >= 0) {
      Replace(at, at, S + L"\r\n");
      return;
    }
    // After a last line without a line break.
    at = Send(EM_LINEINDEX, static_cast<WPARAM>(Index - 1));
    at += Send(EM_LINELENGTH, static_cast<WPARAM>(at));
    Replace(at, at, L"\r\n" + S);
  }

  void Delete(int Index) override {
    if (!Live()) return EditPending([&](TStringList& l) { l.Delete(Index); });
    Check(Index);
    LRESULT start = Send(EM_LINEINDEX, static_cast<WPARAM>(Index));
    LRESULT end = Send(EM_LINEINDEX, static_cast<WPARAM>(Index + 1));
    if (end < 0) end = start + Send(EM_LINELENGTH, static_cast<WPARAM>(start));
    Replace(start, end, L"");
  }

  void Clear() override { FMemo.SetText(L""); }

 private:
  bool Live() const { return FMemo.HandleAllocated(); }
  LRESULT Send(UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0) const {
    return SendMessageW(FMemo.Handle(), Msg, WParam, LParam);
  }
  void Check(int Index) const {
    if (Index < 0 || Index >= Count()) IndexError(Index);
  }
  void Replace(LRESULT Start, LRESULT End, const std::wstring& S) {
    Send(EM_SETSEL, static_cast<WPARAM>(Start), End);
    Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(S.c_str()));
  }
  template <class F>
  void EditPending(F Edit) {
    TStringList l;
    l.SetText(FMemo.FText);
    Edit(l);
    FMemo.FText = l.Text();
  }

  TCustomMemo& FMemo;
};

// ---- list boxes and combo boxes ----

TCustomItemsControl::TCustomItemsControl(TComponent* AOwner, const TItemMessages& Messages)
    : TWinControl(AOwner),
      FPending(std::make_unique<TStringList>()),
      FItems(std::make_unique<TWindowItems>(*this, *FPending, Messages)) {}

TCustomItemsControl::TCustomItemsControl(TComponent* AOwner, HWND Wnd, const TItemMessages& Messages)
    : TWinControl(AOwner, Wnd),
      FPending(std::make_unique<TStringList>()),
      FItems(std::make_unique<TWindowItems>(*this, *FPending, Messages)) {}

void TCustomItemsControl::InitializeWindow() {
  TWinControl::InitializeWindow();
  static_cast<TWindowItems&>(*FItems).Flush();
  if (FPendingIndex >= 0) SetItemIndex(std::exchange(FPendingIndex, -1));
}

void TCustomItemsControl::SaveWindowState() {
  FPendingIndex = ItemIndex();
  static_cast<TWindowItems&>(*FItems).Save();
  TWinControl::SaveWindowState();
}

TCustomListBox::TCustomListBox(TComponent* AOwner) : TCustomItemsControl(AOwner, kListBoxMessages) {
  FWidth = 121;
  FHeight = 97;
}

TCustomListBox::TCustomListBox(TComponent* AOwner, HWND Wnd) : TCustomItemsControl(AOwner, Wnd, kListBoxMessages) {}

TCustomListBox::~TCustomListBox() { BeginDestruction(); }

void TCustomListBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = L"LISTBOX";
  Params.Style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | (FMultiSelect ? LBS_EXTENDEDSEL : 0);
  Params.ExStyle |= WS_EX_CLIENTEDGE;
}

int TCustomListBox::Count() const { return Items().Count(); }

void TCustomListBox::Clear() { Items().Clear(); }

bool TCustomListBox::MultiSelect() const {
  if (!FHandle) return FMultiSelect;
  return (GetWindowLongPtrW(FHandle, GWL_STYLE) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0;
}

void TCustomListBox::SetMultiSelect(bool Value) {
  if (MultiSelect() == Value) return;
  FMultiSelect = Value;
  if (FHandle && !Wrapped()) RecreateWnd();  // a list box takes its selection style only at creation
}

int TCustomListBox::ItemIndex() const {
  if (!FHandle) return -1;
  return static_cast<int>(Send(MultiSelect() ? LB_GETCARETINDEX : LB_GETCURSEL));
}

void TCustomListBox::SetItemIndex(int Value) {
  HandleNeeded();
  if (MultiSelect()) Send(LB_SETCARETINDEX, static_cast<WPARAM>(Value), FALSE);
  else Send(LB_SETCURSEL, static_cast<WPARAM>(Value));
}

bool TCustomListBox::Selected(int Index) const {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  return FHandle && Send(LB_GETSEL, static_cast<WPARAM>(Index)) > 0;
}

void TCustomListBox::SetSelected(int Index, bool Value) {
  if (Index < 0 || Index >= Count()) IndexError(Index);
  HandleNeeded();
  if (MultiSelect()) Send(LB_SETSEL, Value ? TRUE : FALSE, Index);
  else if (Value) Send(LB_SETCURSEL, static_cast<WPARAM>(Index));
  else if (ItemIndex() == Index) Send(LB_SETCURSEL, static_cast<WPARAM>(-1));
}

int TCustomListBox::SelCount() const {
  if (!FHandle) return 0;
  if (MultiSelect()) return static_cast<int>(std::max<LRESULT>(Send(LB_GETSELCOUNT), 0));
  return Send(LB_GETCURSEL) >= 0 ? 1 : 0;
}

TCustomComboBox::TCustomComboBox(TComponent* AOwner) : TCustomItemsControl(AOwner, kComboBoxMessages) {
  FWidth = 145;
  FHeight = 21;
}

TCustomComboBox::TCustomComboBox(TComponent* AOwner, HWND Wnd) : TCustomItemsControl(AOwner, Wnd, kComboBoxMessages) {}

TCustomComboBox::~TCustomComboBox() { BeginDestruction(); }

void TCustomComboBox::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = L"COMBOBOX";
  Params.Style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
  Params.Height += 160;  // a combo box's creation height includes its drop-down list
}

int TCustomComboBox::ItemIndex() const { return FHandle ? static_cast<int>(Send(CB_GETCURSEL)) : -1; }

void TCustomComboBox::SetItemIndex(int Value) {
  HandleNeeded();
  Send(CB_SETCURSEL, static_cast<WPARAM>(Value));
}

// ---- TCustomEdit ----

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
  FWidth = 121;
  FHeight = 21;
}

TCustomEdit::TCustomEdit(TComponent* AOwner, HWND Wnd) : TWinControl(AOwner, Wnd) {}

void TCustomEdit::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = L"EDIT";
  Params.Style |= WS_TABSTOP | ES_AUTOHSCROLL;
  Params.ExStyle |= WS_EX_CLIENTEDGE;
}

std::pair<int, int> TCustomEdit::GetSelection() const {
  DWORD start = 0, end = 0;
  if (FHandle) Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {static_cast<int>(start), static_cast<int>(end)};
}

void TCustomEdit::SetSelection(int Start, int End) {
  HandleNeeded();
  Send(EM_SETSEL, static_cast<WPARAM>(Start), End);
}

std::wstring TCustomEdit::SelText() const {
  auto [start, end] = GetSelection();
  if (end <= start) return {};
  std::wstring text = Text();
  if (static_cast<size_t>(start) >= text.size()) return {};
  return text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

void TCustomEdit::SetSelText(const std::wstring& Value) {
  HandleNeeded();
  Send(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Value.c_str()));
}

int TCustomEdit::SelLength() const {
  auto [start, end] = GetSelection();
  return end - start;
}

void TCustomEdit::SetSelLength(int Value) {
  int start = SelStart();
  SetSelection(start, start + Value);
}

// ---- TCustomMemo ----

TCustomMemo::TCustomMemo(TComponent* AOwner) : TCustomEdit(AOwner), FLines(std::make_unique<TMemoLines>(*this)) {
  FWidth = 185;
  FHeight = 89;
}

TCustomMemo::TCustomMemo(TComponent* AOwner, HWND Wnd)
    : TCustomEdit(AOwner, Wnd), FLines(std::make_unique<TMemoLines>(*this)) {}

TCustomMemo::~TCustomMemo() { BeginDestruction(); }

void TCustomMemo::CreateParams(TCreateParams& Params) {
  TCustomEdit::CreateParams(Params);
  Params.Style &= ~static_cast<DWORD>(ES_AUTOHSCROLL);
  Params.Style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL;
}

// ---- buttons ----

TButtonControl::TButtonControl(TComponent* AOwner) : TWinControl(AOwner) {
  FWidth = 75;
  FHeight = 25;
}

TButtonControl::TButtonControl(TComponent* AOwner, HWND Wnd) : TWinControl(AOwner, Wnd) {}

void TButtonControl::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.WinClassName = L"BUTTON";
  Params.Style |= WS_TABSTOP | FButtonStyle;
}

void TButtonControl::InitializeWindow() {
  TWinControl::InitializeWindow();
  if (FChecked) Send(BM_SETCHECK, BST_CHECKED);
  FChecked = false;
}

void TButtonControl::SaveWindowState() {
  FChecked = GetChecked();
  TWinControl::SaveWindowState();
}

bool TButtonControl::GetChecked() const { return FHandle ? Send(BM_GETCHECK) == BST_CHECKED : FChecked; }

void TButtonControl::SetCheckedState(bool Value) {
  if (FHandle) Send(BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED);
  else FChecked = Value;
}

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner) {}
TButton::TButton(TComponent* AOwner, HWND Wnd) : TButtonControl(AOwner, Wnd) {}

TCustomCheckBox::TCustomCheckBox(TComponent* AOwner) : TButtonControl(AOwner) {
  FButtonStyle = BS_AUTOCHECKBOX;
  FWidth = 97;
  FHeight = 17;
}

TCustomCheckBox::TCustomCheckBox(TComponent* AOwner, HWND Wnd) : TButtonControl(AOwner, Wnd) {}

TRadioButton::TRadioButton(TComponent* AOwner) : TButtonControl(AOwner) {
  FButtonStyle = BS_AUTORADIOBUTTON;
  FWidth = 113;
  FHeight = 17;
}

TRadioButton::TRadioButton(TComponent* AOwner, HWND Wnd) : TButtonControl(AOwner, Wnd) {}

void TRadioButton::SetChecked(bool Value) {
  // A click unchecks the siblings by itself; setting the check mark does not.
  if (Value && FParent)
    for (int i = 0; i < FParent->ControlCount(); ++i)
      if (auto* other = dynamic_cast<TRadioButton*>(FParent->Controls(i)); other && other != this)
        other->SetCheckedState(false);
  SetCheckedState(Value);
}

}  // namespace vcl
