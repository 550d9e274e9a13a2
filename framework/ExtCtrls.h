#pragma once
// Panels, radio groups and the picture-less button kinds.
#include <memory>
#include <vector>

#include "framework/StdCtrls.h"

namespace vcl {

// A raised frame with its caption centred; a parent for other controls.
class KX_API TCustomPanel : public TWinControl {
 public:
  explicit TCustomPanel(TComponent* AOwner);
  TCustomPanel(TComponent* AOwner, HWND Wnd) : TWinControl(AOwner, Wnd) {}

 protected:
  void PaintWindow(HDC DC) override;
  void WndProc(TMessage& Message) override;
};

class KX_API TPanel : public TCustomPanel {
 public:
  using TCustomPanel::TCustomPanel;
};

// A group box holding one radio button per line of Items; editing Items adds, removes and
// relabels the buttons, which the radio group owns.
class KX_API TRadioGroup : public TCustomGroupBox {
 public:
  explicit TRadioGroup(TComponent* AOwner);
  ~TRadioGroup() override;

  TStringList& Items() const { return *FItems; }
  // The checked button's index; -1 when none is checked. Setting -1 unchecks them all.
  int ItemIndex() const;
  void SetItemIndex(int Value);
  // The radio button of line Index.
  TRadioButton* Buttons(int Index) const;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

 protected:
  void WndProc(TMessage& Message) override;

 private:
  friend class TRadioGroupItems;
  void UpdateButtons();
  void ArrangeButtons();

  std::unique_ptr<TStringList> FItems;
  std::vector<TRadioButton*> FButtons;
};

// A push button (the picture is not drawn).
class KX_API TBitBtn : public TButton {
 public:
  using TButton::TButton;
};

// A flat push button.
class KX_API TSpeedButton : public TButtonControl {
 public:
  explicit TSpeedButton(TComponent* AOwner);
  TSpeedButton(TComponent* AOwner, HWND Wnd) : TButtonControl(AOwner, Wnd) {}
};

}  // namespace vcl
