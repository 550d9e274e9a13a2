#pragma once
// TKXTextTarget: makes a windowed control (its acceptor) accept dropped text from any OLE
// application: URLs with their titles, HTML, rich text, file lists, Unicode and ANSI text, and
// formats the application names in CustomFormats.
#include <memory>
#include <string>

#include "targets/KXGenericTarget.h"
#include "targets/KXTextDropTarget.h"

namespace kestrix {

class KX_API TKXTextTarget : public TKXGenericTarget, public TTextDropOwner {
 public:
  explicit TKXTextTarget(TComponent* AOwner);
  ~TKXTextTarget() override;

  // ---- what is accepted ----
  TDropTextFormats getAcceptTextFormats() const { return FAcceptTextFormats; }
  // Re-evaluates the current drag's data object at once.
  void setAcceptTextFormats(TDropTextFormats Value);
  bool getAcceptURL() const { return FAcceptTextFormats.Contains(dtfURL); }
  bool getAcceptCustom() const { return FAcceptTextFormats.Contains(dtfCustom); }
  bool getAcceptIEHTML() const { return FAcceptTextFormats.Contains(dtfIEHTML); }
  bool getAcceptRichText() const { return FAcceptTextFormats.Contains(dtfRichText); }
  bool getAcceptText() const { return FAcceptTextFormats.Contains(dtfText); }
  bool getAcceptFiles() const { return FAcceptTextFormats.Contains(dtfFiles); }
  void setAcceptURL(bool Value) { SetAccepted(dtfURL, Value); }
  void setAcceptCustom(bool Value) { SetAccepted(dtfCustom, Value); }
  void setAcceptIEHTML(bool Value) { SetAccepted(dtfIEHTML, Value); }
  void setAcceptRichText(bool Value) { SetAccepted(dtfRichText, Value); }
  void setAcceptText(bool Value) { SetAccepted(dtfText, Value); }
  void setAcceptFiles(bool Value) { SetAccepted(dtfFiles, Value); }
  // Custom clipboard format names; each line's integer (Integers/AddInteger) is the storage medium
  // asked for, 0 meaning TYMED_HGLOBAL. The component owns the list: assigning one hands it over,
  // and the list held before is freed.
  vcl::TStringList* getCustomFormats() const { return FCustomFormats.get(); }
  void setCustomFormats(vcl::TStringList* Value);
  // Forces acceptance of any data for the rest of the current drag (set it from OnDragEnter).
  void SetAcceptAllFormatsQuery(bool Value);

  // ---- the last drop ----
  const std::wstring& getText() const { return FText; }
  // Text split into lines; rebuilt on every read (changes to the list are lost).
  vcl::TStrings* getDroppedLines();
  // The title of a dropped URL in the ANSI code page (characters it lacks become '?'); the same
  // title as getURLTitleW.
  const std::string& getURLTitle() const { return FURLTitle; }
  // The title of a dropped URL: the second line of "text/x-moz-url", else the page title the
  // browser named its internet shortcut after (".url" removed from its end).
  const std::wstring& getURLTitleW() const { return FURLTitleW; }
  // HTML drops: the fragment the block's StartFragment and EndFragment enclose (empty when the
  // block has no header), or all of a browser's "text/html"; Text stays the whole block.
  const std::wstring& getHTMLFragment() const { return FHTMLFragment; }
  // HTML drops: the SourceURL of the block's header, empty without one.
  const std::wstring& getHTMLSourceURL() const { return FHTMLSourceURL; }
  TDropTextFormat getDroppedTextFormat() const { return FDroppedTextFormat; }
  void setDroppedTextFormat(TDropTextFormat Value) { FDroppedTextFormat = Value; }
  int getCustomFormatIndex() const { return FCustomFormatIndex; }

  // ---- the current drag ----
  // The text kinds the current data object offers, whatever is accepted.
  TDropTextFormats getAvailableTextFormats() const;

  const TKXDropType& getOnDrop() const { return FOnDrop; }
  void setOnDrop(TKXDropType Value) { FOnDrop = std::move(Value); }

  // Reads the names of a dropped HDROP into Text, one per line.
  void GetDroppedFiles(HDROP hDrop);

 protected:
  bool RevokesBeforeRegister(vcl::TWinControl* Acceptor) const override;

 private:
  // What its drop target hands over (TTextDropOwner).
  void ApplyDrop(const TTextDropResult& Result) override;
  void SetAccepted(TDropTextFormat Format, bool Value);
  TTextDropTarget* Target() const;

  TKXDropType FOnDrop;
  int FCustomFormatIndex = 0;
  std::unique_ptr<vcl::TStringList> FCustomFormats;
  TDropTextFormat FDroppedTextFormat = dtfURL;
  std::string FURLTitle;
  std::wstring FURLTitleW;
  std::wstring FHTMLFragment;
  std::wstring FHTMLSourceURL;
  std::wstring FText;
  vcl::TStringList FDroppedLines;
  TDropTextFormats FAcceptTextFormats{dtfText};
};

}  // namespace kestrix
