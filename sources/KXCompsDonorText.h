#pragma once
// Which text a donor control gives to a text drag (unit KXComps).
#include <string>

#include "framework/Classes.h"

namespace kestrix {

// The donor's current text: the selection of a list box, list view, tree view, edit, memo or rich
// edit (selected lines joined by CR LF, a list view row as its cells joined by tabs); the lines of a
// radio group, each followed by CR LF; the caption of a panel, static text, label, button, radio
// button, check box, group box, bitmap button or speed button; the Name of any other component;
// empty for none. It reads the controls' windows and never creates one or changes anything.
KX_API std::wstring textFromDonorComponent(vcl::TComponent* component);

}  // namespace kestrix
