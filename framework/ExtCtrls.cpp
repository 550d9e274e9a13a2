#include "framework/ExtCtrls.h"

#include <algorithm>

#include "framework/Handles.h"
#include "framework/SysUtils.h"

namespace vcl {

// ---- TCustomPanel ----

TCustomPanel::TCustomPanel(TComponent* AOwner) : TWinControl(AOwner) {
  FWidth = 185;
  FHeight = 41;
}

void TCustomPanel::PaintWindow(HDC DC) {
  RECT r{};
  GetClientRect(FHandle, &r);
  DrawEdge(DC, &r, BDR_RAISEDINNER, BF_RECT);
  const std::wstring caption = Text();
  TSelectObject font(DC, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(DC, TRANSPARENT);
  DrawTextW(DC, caption.c_str(), static_cast<int>(caption.size()), &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void TCustomPanel::WndProc(TMessage& Message) {
  TWinControl::WndProc(Message);
  if (Message.Msg == WM_SETTEXT && FHandle) InvalidateRect(FHandle, nullptr, TRUE);
}

// ---- TRadioGroup ----

// The radio group's lines: every change is mirrored in the buttons.
class TRadioGroupItems : public TStringList {
 public:
  explicit TRadioGroupItems(TRadioGroup& Group) : FGroup(Group) {}
  void SetStrings(int Index, const std::wstring& S) override {
    TStringList::SetStrings(Index, S);
    FGroup.UpdateButtons();
  }
  void InsertObject(int Index, const std::wstring& S, TObject* AObject) override {
    TStringList::InsertObject(Index, S, AObject);
    FGroup.UpdateButtons();
  }
  void Delete(int Index) override {
    TStringList::Delete(Index);
    FGroup.UpdateButtons();
  }
  void Clear() override {
    TStringList::Clear();
    FGroup.UpdateButtons();
  }

 private:
  TRadioGroup& FGroup;
};

TRadioGroup::TRadioGroup(TComponent* AOwner) : TCustomGroupBox(AOwner), FItems(std::make_unique<TRadioGroupItems>(*this)) {}

TRadioGroup::~TRadioGroup() = default;

TRadioButton* TRadioGroup::Buttons(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(FButtons.size()))
    throw EListError(Format(L"List index out of bounds (%d)", Index));
  return FButtons[static_cast<size_t>(Index)];
}

int TRadioGroup::ItemIndex() const {
  for (size_t i = 0; i < FButtons.size(); ++i)
    if (FButtons[i]->Checked()) return static_cast<int>(i);
  return -1;
}

void TRadioGroup::SetItemIndex(int Value) {
  if (Value < -1 || Value >= static_cast<int>(FButtons.size()))
    throw EListError(Format(L"List index out of bounds (%d)", Value));
  for (size_t i = 0; i < FButtons.size(); ++i) FButtons[i]->SetChecked(static_cast<int>(i) == Value);
}

void TRadioGroup::UpdateButtons() {
  const size_t count = static_cast<size_t>(FItems->Count());
  while (FButtons.size() < count) {
    auto* button = new TRadioButton(this);
    FButtons.push_back(button);
    button->SetParent(this);
  }
  while (FButtons.size() > count) {
    delete FButtons.back();
    FButtons.pop_back();
  }
  for (size_t i = 0; i < count; ++i) FButtons[i]->SetCaption(FItems->Strings(static_cast<int>(i)));
  ArrangeButtons();
}

void TRadioGroup::ArrangeButtons() {
  if (FButtons.empty()) return;
  // One column below the group box's caption.
  constexpr int kTop = 16, kSide = 8, kBottom = 6, kMinHeight = 17;
  const int n = static_cast<int>(FButtons.size());
  const int height = std::max((Height() - kTop - kBottom) / n, kMinHeight);
  for (int i = 0; i < n; ++i) FButtons[static_cast<size_t>(i)]->SetBounds(kSide, kTop + i * height, Width() - 2 * kSide, height);
}

void TRadioGroup::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TCustomGroupBox::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (!FHandle) ArrangeButtons();  // a window rearranges on WM_SIZE
}

void TRadioGroup::WndProc(TMessage& Message) {
  TCustomGroupBox::WndProc(Message);
  if (Message.Msg == WM_SIZE) ArrangeButtons();
}

// ---- TSpeedButton ----

TSpeedButton::TSpeedButton(TComponent* AOwner) : TButtonControl(AOwner) {
  FButtonStyle = BS_PUSHBUTTON | BS_FLAT;
  FWidth = 23;
  FHeight = 22;
}

}  // namespace vcl
