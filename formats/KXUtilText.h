#pragma once
// KXUtil: splitting text at separator characters, streaming text into and out of rich edit
// controls, and converting a UTF-16 text file to the ANSI code page.
#include <string>
#include <vector>

#include "framework/Classes.h"

namespace vcl {
class TCustomRichEdit;
}

namespace kestrix {

// Every piece between separators, empty ones included: k separators give k + 1 pieces. Each
// separator character splits on its own. The list is new and belongs to the caller.
KX_API vcl::TStringList* TokenizeRaw(const std::wstring& Text, const std::vector<wchar_t>& Separators);
// The non-empty pieces only. The list is new and belongs to the caller.
KX_API vcl::TStringList* Tokenize(const std::wstring& Text, const std::vector<wchar_t>& Separators);

// Streams Content (plain text, or RTF source when IsRTF) into the control in the ANSI code page.
// With ReplaceSelection it replaces the selection; without, the selection is first collapsed
// (selection start -1, length 0) so that nothing is removed. A null control is a no-op. An
// exception raised while the control reads is kept from the control and rethrown here.
KX_API void AddContentToRichEdit(const std::wstring& Content, vcl::TCustomRichEdit* RichEdit, bool IsRTF,
                                 bool ReplaceSelection);
// The control's content (or selection) as plain text or RTF source, decoded from the ANSI code
// page; empty for a null control.
KX_API std::wstring GetContentFromRichEdit(vcl::TCustomRichEdit* RichEdit, bool IsRTF, bool SelectionOnly);

// Rewrites a file holding UTF-16LE text (recognised by a zero byte in it) in the ANSI code page;
// false, and the file untouched, when it has no zero byte. File errors raise the framework's
// stream exceptions.
KX_API bool ConvertUnicodeFileToAnsi(const std::wstring& FileName);

}  // namespace kestrix
