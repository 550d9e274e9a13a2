#pragma once
// The standard controls, each on its system window class: list box (LISTBOX), combo box
// (COMBOBOX), edit and memo (EDIT), buttons, check boxes, radio buttons and group boxes (BUTTON),
// labels and static texts (STATIC). Every class has a second constructor that wraps a window of
// that class made by the application (see TWinControl).
#include <memory>
#include <string>
#include <utility>

#include "framework/Controls.h"

namespace vcl {

struct TItemMessages;

// What list boxes and combo boxes share: their items live in the window; items added (and the
// current item chosen) before the window exists are kept until it is created, and kept again
// while it is recreated.
class KX_API TCustomItemsControl : public TWinControl {
 public:
  TStrings& Items() const { return *FItems; }
  // The current item; -1 for none.
  virtual int ItemIndex() const = 0;
  virtual void SetItemIndex(int Value) = 0;

 protected:
  TCustomItemsControl(TComponent* AOwner, const TItemMessages& Messages);
  TCustomItemsControl(TComponent* AOwner, HWND Wnd, const TItemMessages& Messages);
  void InitializeWindow() override;
  void SaveWindowState() override;

 private:
  std::unique_ptr<TStringList> FPending;
  std::unique_ptr<TStrings> FItems;
  int FPendingIndex = -1;
};

// A list box.
class KX_API TCustomListBox : public TCustomItemsControl {
 public:
  explicit TCustomListBox(TComponent* AOwner);
  TCustomListBox(TComponent* AOwner, HWND Wnd);
  // Each of the two says goodbye itself, so that its owner is told while it is still whole.
  ~TCustomListBox() override;

  int Count() const;
  void Clear();
  // Several items may be selected (extended selection). Read from the window's style; changing it
  // on an existing window recreates the window (items are kept, the selection is not).
  bool MultiSelect() const;
  void SetMultiSelect(bool Value);
  // The current item: the selected item, or with multiple selection the item with the focus
  // rectangle; -1 for none.
  int ItemIndex() const override;
  void SetItemIndex(int Value) override;
  // Whether item Index is selected. Setting it in a single-selection list box makes Index the
  // selected item (or selects nothing).
  bool Selected(int Index) const;
  void SetSelected(int Index, bool Value);
  // How many items are selected (0 or 1 without multiple selection).
  int SelCount() const;

 protected:
  void CreateParams(TCreateParams& Params) override;

 private:
  bool FMultiSelect = false;
};

class KX_API TListBox : public TCustomListBox {
 public:
  using TCustomListBox::TCustomListBox;
};

// A drop-down combo box: an edit field (Text) with a list of Items.
class KX_API TCustomComboBox : public TCustomItemsControl {
 public:
  explicit TCustomComboBox(TComponent* AOwner);
  TCustomComboBox(TComponent* AOwner, HWND Wnd);
  ~TCustomComboBox() override;

  int ItemIndex() const override;
  void SetItemIndex(int Value) override;

 protected:
  void CreateParams(TCreateParams& Params) override;
};

class KX_API TComboBox : public TCustomComboBox {
 public:
  using TCustomComboBox::TCustomComboBox;
};

// A single-line edit. Selection positions count characters of Text; without a window nothing is
// selected. Setting the selection creates the window.
class KX_API TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent* AOwner);
  TCustomEdit(TComponent* AOwner, HWND Wnd);

  // The selected text; setting it replaces the selection.
  virtual std::wstring SelText() const;
  void SetSelText(const std::wstring& Value);
  int SelStart() const { return GetSelection().first; }
  void SetSelStart(int Value) { SetSelection(Value, Value); }
  int SelLength() const;
  void SetSelLength(int Value);
  void SelectAll() { SetSelection(0, -1); }

 protected:
  void CreateParams(TCreateParams& Params) override;
  // The selection as [start, end); {0, 0} without a window.
  virtual std::pair<int, int> GetSelection() const;
  // Selects [Start, End); End -1 selects to the end of the text.
  virtual void SetSelection(int Start, int End);
};

class KX_API TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};

// A multi-line edit. Lines are the window's lines (with word wrap, its displayed lines); Lines.Add
// ends each line with CR LF, as the text of a string list does.
class KX_API TCustomMemo : public TCustomEdit {
 public:
  explicit TCustomMemo(TComponent* AOwner);
  TCustomMemo(TComponent* AOwner, HWND Wnd);
  ~TCustomMemo() override;

  TStrings& Lines() const { return *FLines; }

 protected:
  void CreateParams(TCreateParams& Params) override;

 private:
  friend class TMemoLines;
  std::unique_ptr<TStrings> FLines;
};

class KX_API TMemo : public TCustomMemo {
 public:
  using TCustomMemo::TCustomMemo;
};

// The BUTTON class; the styles below choose push button, check box or radio button.
class KX_API TButtonControl : public TWinControl {
 public:
  explicit TButtonControl(TComponent* AOwner);
  TButtonControl(TComponent* AOwner, HWND Wnd);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void InitializeWindow() override;
  void SaveWindowState() override;
  // The check mark (BM_GETCHECK / BM_SETCHECK); kept until the window exists.
  bool GetChecked() const;
  void SetCheckedState(bool Value);

  DWORD FButtonStyle = BS_PUSHBUTTON;

 private:
  bool FChecked = false;
};

class KX_API TButton : public TButtonControl {
 public:
  explicit TButton(TComponent* AOwner);
  TButton(TComponent* AOwner, HWND Wnd);
};

class KX_API TCustomCheckBox : public TButtonControl {
 public:
  explicit TCustomCheckBox(TComponent* AOwner);
  TCustomCheckBox(TComponent* AOwner, HWND Wnd);
  bool Checked() const { return GetChecked(); }
  void SetChecked(bool Value) { SetCheckedState(Value); }
};

class KX_API TCheckBox : public TCustomCheckBox {
 public:
  using TCustomCheckBox::TCustomCheckBox;
};

// A radio button; checking one unchecks the other radio buttons of the same parent.
class KX_API TRadioButton : public TButtonControl {
 public:
  explicit TRadioButton(TComponent* AOwner);
  TRadioButton(TComponent* AOwner, HWND Wnd);
  bool Checked() const { return GetChecked(); }
  void SetChecked(bool Value);
};

// A control on a system window class that needs nothing but the class, the styles it adds and the
// size a new control starts with.
struct TSystemClass {
  const wchar_t* Name;
  DWORD Style;
  int Width, Height;
};

template <const TSystemClass& Class>
class TSystemControl : public TWinControl {
 public:
  explicit TSystemControl(TComponent* AOwner) : TWinControl(AOwner) {
    FWidth = Class.Width;
    FHeight = Class.Height;
  }
  TSystemControl(TComponent* AOwner, HWND Wnd) : TWinControl(AOwner, Wnd) {}

 protected:
  void CreateParams(TCreateParams& Params) override {
    TWinControl::CreateParams(Params);
    Params.WinClassName = Class.Name;
    Params.Style |= Class.Style;
  }
};

inline constexpr TSystemClass kGroupBoxClass{L"BUTTON", BS_GROUPBOX, 185, 105};
// Static captions take mouse messages themselves (SS_NOTIFY), so they can be donors.
inline constexpr TSystemClass kLabelClass{L"STATIC", SS_LEFT | SS_NOTIFY, 65, 17};
inline constexpr TSystemClass kStaticTextClass{L"STATIC", SS_LEFT | SS_NOTIFY, 65, 17};

class KX_API TCustomGroupBox : public TSystemControl<kGroupBoxClass> {
 public:
  using TSystemControl::TSystemControl;
};

class KX_API TGroupBox : public TCustomGroupBox {
 public:
  using TCustomGroupBox::TCustomGroupBox;
};

// A caption on a STATIC window.
class KX_API TCustomLabel : public TSystemControl<kLabelClass> {
 public:
  using TSystemControl::TSystemControl;
};

class KX_API TLabel : public TCustomLabel {
 public:
  using TCustomLabel::TCustomLabel;
};

class KX_API TCustomStaticText : public TSystemControl<kStaticTextClass> {
 public:
  using TSystemControl::TSystemControl;
};

class KX_API TStaticText : public TCustomStaticText {
 public:
  using TCustomStaticText::TCustomStaticText;
};

}  // namespace vcl
