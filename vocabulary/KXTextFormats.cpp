#include "vocabulary/KXTextFormats.h"

namespace kestrix {

TDropTextFormat TextKindOfFormat(UINT Format) {
  for (const TTextFormatRow& row : kTextFormats)
    if (Format != 0 && row.Format() == Format) return row.Kind;
  return dtfCustom;
}

}  // namespace kestrix
