// Short examples of copying to and pasting from the clipboard with the drag and drop components,
// for the guide in docs/. They are compiled with the other examples, so that the guide cannot drift
// from the library, but never run: each function stands for a part of an application.
#include <windows.h>

#include <string>

#include <kestrix/framework/ExtCtrls.h>
#include <kestrix/framework/Forms.h>
#include <kestrix/framework/StdCtrls.h>
#include <kestrix/targets/KXFileTarget.h>
#include <kestrix/targets/KXGraphicTarget.h>
#include <kestrix/targets/KXTextTarget.h>

using namespace kestrix;

namespace snippets {

void PasteIntoMemo(TKXTextTarget* target, vcl::TMemo* memo) {
  // [snippet:text-target-paste]
  // The drop handler serves both: a paste arrives as a drop at (-1, -1).
  target->setOnDrop([=](vcl::TObject*, vcl::TWinControl*, const std::wstring& text, int x, int y) {
    if (x == -1 && y == -1) memo->SetSelText(text);  // pasted: at the caret
    else memo->SetText(text);
  });
  // Ctrl+V, or the Edit menu's Paste (enabled by getCanPaste, which fetches nothing):
  if (target->getCanPaste()) target->PasteFromClipboard();
  // [end]
}

void PasteIntoPicture(TKXGraphicTarget* target) {
  // [snippet:graphic-target-paste]
  // Like a drop, the picture arrives in OnDrop from the message loop, after PasteFromClipboard.
  if (!target->PasteFromClipboard()) MessageBeep(MB_ICONWARNING);  // no picture there
  // [end]
}

void PasteFiles(TKXFileTarget* target, const std::wstring& folder) {
  // [snippet:file-target-paste]
  if (target->PasteFromClipboard()) {  // OnDrop has run; the list is the paste's
    target->SaveToFolder(folder);      // virtual files are rendered by their source now
    target->EndDrop();
  }
  // [end]
}

}  // namespace snippets
