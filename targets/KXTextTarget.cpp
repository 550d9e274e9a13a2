#include "targets/KXTextTarget.h"

#include <shellapi.h>

#include "formats/KXUtil.h"
#include "framework/ComCtrls.h"
#include "package/KXConsts.h"
#include "targets/KXTextDropTarget.h"

namespace kestrix {

TKXTextTarget::TKXTextTarget(TComponent* AOwner)
    : TKXGenericTarget(AOwner), FCustomFormats(std::make_unique<vcl::TStringList>()) {
  SetDropTarget(new TTextDropTarget(this));
}

TKXTextTarget::~TKXTextTarget() = default;

TTextDropTarget* TKXTextTarget::Target() const { return static_cast<TTextDropTarget*>(DropTargetObject()); }

void TKXTextTarget::setAcceptTextFormats(TDropTextFormats Value) {
  if (Value == FAcceptTextFormats) return;
  FAcceptTextFormats = Value;
  Target()->FAcceptFormat = Target()->AcceptsCurrentFormats();
}

void TKXTextTarget::SetAccepted(TDropTextFormat Format, bool Value) {
  TDropTextFormats formats = FAcceptTextFormats;
  if (Value) formats.Include(Format);
  else formats.Exclude(Format);
  setAcceptTextFormats(formats);
}

void TKXTextTarget::setCustomFormats(vcl::TStringList* Value) {
  if (Value != FCustomFormats.get()) FCustomFormats.reset(Value);
}

void TKXTextTarget::SetAcceptAllFormatsQuery(bool Value) { Target()->FAcceptFormat = Value; }

vcl::TStrings* TKXTextTarget::getDroppedLines() {
  FDroppedLines.SetText(FText);
  return &FDroppedLines;
}

TDropTextFormats TKXTextTarget::getAvailableTextFormats() const {
  const TOfferedFormats offered(*this);
  auto has = [&](const wchar_t* name) { return offered.Has(name); };
  struct Test {
    const wchar_t* a;
    const wchar_t* b;
    TDropTextFormat kind;
  };
  // URLs and bookmarks are one test: a list offering both therefore also counts as custom.
  static const Test tests[] = {
      {L"1", nullptr, dtfText},
      {L"13", nullptr, dtfText},
      {L"UNIFORMRESOURCELOCATOR", L"NETSCAPE BOOKMARK", dtfURL},
      {L"15", nullptr, dtfFiles},
      {L"HTML FORMAT", nullptr, dtfIEHTML},
      {L"RICH TEXT FORMAT", nullptr, dtfRichText},
  };
  TDropTextFormats result;
  size_t counted = 0;
  for (const Test& t : tests) {
    if (has(t.a) || (t.b && has(t.b))) {
      result.Include(t.kind);
      ++counted;
    }
  }
  if (offered.Count() > counted) result.Include(dtfCustom);
  return result;
}

void TKXTextTarget::GetDroppedFiles(HDROP hDrop) {
  FText.clear();
  FDroppedTextFormat = dtfFiles;
  UINT count = DragQueryFileW(hDrop, 0xFFFFFFFF, nullptr, 0);
  POINT point;
  DragQueryPoint(hDrop, &point);
  for (UINT i = 0; i < count; ++i) {
    wchar_t name[MAX_PATH];
    UINT n = DragQueryFileW(hDrop, i, name, MAX_PATH);
    FText.append(name, std::min<UINT>(n, MAX_PATH - 1));
    if (i + 1 < count) FText += res::sLineBreak;
  }
}

bool TKXTextTarget::RevokesBeforeRegister(vcl::TWinControl* Acceptor) const {
  return dynamic_cast<vcl::TCustomRichEdit*>(Acceptor) != nullptr;
}

}  // namespace kestrix
