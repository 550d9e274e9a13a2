#include "targets/KXTextTarget.h"

#include <iterator>

#include "formats/KXUtil.h"
#include "framework/ComCtrls.h"
#include "targets/KXTextDropTarget.h"
#include "vocabulary/KXTextFormats.h"

namespace kestrix {

TKXTextTarget::TKXTextTarget(TComponent* AOwner)
    : TKXGenericTarget(AOwner), FCustomFormats(std::make_unique<vcl::TStringList>()) {
  SetDropTarget(vcl::MakeComObject<TTextDropTarget>(this));
}

TKXTextTarget::~TKXTextTarget() = default;

TTextDropTarget* TKXTextTarget::Target() const { return static_cast<TTextDropTarget*>(DropTargetObject()); }

void TKXTextTarget::setAcceptTextFormats(TDropTextFormats Value) {
  if (Value == FAcceptTextFormats) return;
  FAcceptTextFormats = Value;
  Target()->ReevaluateAcceptance();
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

void TKXTextTarget::SetAcceptAllFormatsQuery(bool Value) { Target()->SetAccepting(Value); }

void TKXTextTarget::ApplyDrop(const TTextDropResult& Result) {
  FCustomFormatIndex = Result.CustomFormatIndex;
  if (!Result.Fetched) return;
  FText = Result.Text;
  FDroppedTextFormat = Result.Kind;
  if (Result.URLTitle) {
    FURLTitleW = *Result.URLTitle;
    FURLTitle = vcl::AnsiFromUnicode(FURLTitleW);
  }
  FHTMLFragment = Result.HTMLFragment;
  FHTMLSourceURL = Result.HTMLSourceURL;
}

vcl::TStrings* TKXTextTarget::getDroppedLines() {
  FDroppedLines.SetText(FText);
  return &FDroppedLines;
}

TDropTextFormats TKXTextTarget::getAvailableTextFormats() const {
  const TOfferedFormats offered(*this);
  TDropTextFormats result;
  size_t tests = 0;
  for (size_t i = 0; i < std::size(kTextFormats); ++i) {
    const TTextFormatRow& row = kTextFormats[i];
    if (!offered.Has(row.Format())) continue;
    result.Include(row.Kind);
    // A row that shares its test with the one before counts once between them (a list offering
    // both URL formats therefore also counts as custom).
    if (!(row.SameTestAsPrevious && offered.Has(kTextFormats[i - 1].Format()))) ++tests;
  }
  if (offered.Count() > tests) result.Include(dtfCustom);
  return result;
}

void TKXTextTarget::GetDroppedFiles(HDROP hDrop) {
  FText = DroppedFileNames(hDrop);
  FDroppedTextFormat = dtfFiles;
}

bool TKXTextTarget::RevokesBeforeRegister(vcl::TWinControl* Acceptor) const {
  return dynamic_cast<vcl::TCustomRichEdit*>(Acceptor) != nullptr;
}

}  // namespace kestrix
