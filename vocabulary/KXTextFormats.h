#pragma once
// The text kinds, the clipboard formats (and media) that carry each, in the order a text drop
// prefers them: the one table that every match of a text format reads. For the library's own
// units (the table takes the addresses of the formats registered at start-up).
#include <windows.h>
#include <ole2.h>

#include "vocabulary/KXComps.h"

namespace kestrix {

struct TTextFormatRow {
  TDropTextFormat Kind;
  UINT StandardFormat;           // a predefined format, or 0
  const UINT* RegisteredFormat;  // or a format registered at start-up
  DWORD Tymed;
  // AvailableTextFormats counts this row and the one before it as one test (two names of URLs,
  // two forms of HTML).
  bool SameTestAsPrevious;

  // 0 while the start-up has not registered it.
  UINT Format() const { return RegisteredFormat ? *RegisteredFormat : StandardFormat; }
};

// Constant, not constexpr: in an application the registered ids are imported from the DLL, and an
// imported variable's address is no constant expression.
inline const TTextFormatRow kTextFormats[] = {
    {dtfURL, 0, &CF_URLW, TYMED_HGLOBAL, false},
    {dtfURL, 0, &CF_URL, TYMED_HGLOBAL, true},
    {dtfURL, 0, &CF_NETSCAPEBOOKMARK, TYMED_HGLOBAL, true},
    {dtfURL, 0, &CF_MOZURL, TYMED_HGLOBAL, false},  // a browser's own, where no other link format is offered
    {dtfIEHTML, 0, &CF_HTML, TYMED_HGLOBAL, false},
    {dtfIEHTML, 0, &CF_TEXTHTML, TYMED_HGLOBAL, true},  // browsers' own, where "HTML Format" is missing
    {dtfRichText, 0, &CF_RTF, TYMED_HGLOBAL, false},
    {dtfFiles, CF_HDROP, nullptr, TYMED_HGLOBAL, false},
    {dtfText, CF_UNICODETEXT, nullptr, TYMED_HGLOBAL, false},
    {dtfText, CF_TEXT, nullptr, TYMED_HGLOBAL, false},
};

// The kind of a format by the table; dtfCustom for a format it does not list.
TDropTextFormat TextKindOfFormat(UINT Format);

}  // namespace kestrix
