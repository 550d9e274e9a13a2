#pragma once
// Placing the demo's controls: what every pane of the demo window does to lay itself out.
#include <functional>

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"

inline void DemoPlace(vcl::TControl* Control, vcl::TWinControl* Parent, int X, int Y, int W, int H) {
  Control->SetParent(Parent);
  Control->SetBounds(X, Y, W, H);
}

// A one-line label on Form.
inline vcl::TLabel* DemoLabel(vcl::TForm* Form, const wchar_t* Text, int X, int Y, int Width) {
  auto* label = new vcl::TLabel(Form);
  DemoPlace(label, Form, X, Y, Width, 18);
  label->SetText(Text);
  return label;
}

// A button on Form: a raised panel with a caption that runs Click when pressed.
inline vcl::TPanel* DemoButton(vcl::TForm* Form, const wchar_t* Caption, int X, int Y, int Width, std::function<void()> Click) {
  auto* button = new vcl::TPanel(Form);
  DemoPlace(button, Form, X, Y, Width, 24);
  button->SetText(Caption);
  button->SetOnMouseDown([Click = std::move(Click)](vcl::TObject*, vcl::TMouseButton pressed, vcl::TShiftState, int, int) {
    if (pressed == vcl::mbLeft) Click();
  });
  return button;
}
