#pragma once
// Placing the demo's controls: what every pane of the demo window does to lay itself out.
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
