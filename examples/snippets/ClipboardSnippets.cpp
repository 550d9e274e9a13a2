// Short examples of copying to and pasting from the clipboard with the drag and drop components,
// for the guide in docs/. They are compiled with the other examples, so that the guide cannot drift
// from the library, but never run: each function stands for a part of an application.
#include <windows.h>

#include <string>

#include <kestrix/framework/ExtCtrls.h>
#include <kestrix/framework/Forms.h>
#include <kestrix/framework/StdCtrls.h>
#include <kestrix/framework/Streams.h>
#include <kestrix/sources/KXFileSource.h>
#include <kestrix/sources/KXGraphicSource.h>
#include <kestrix/sources/KXTextSource.h>
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

void CopyFromList(vcl::TForm* form, vcl::TListBox* list) {
  // [snippet:text-source-copy]
  auto* source = new TKXTextSource(form);
  source->setDonorComponent(list);  // its selected lines, taken at the copy
  source->setHTML(L"<b>From my list</b>");
  // Ctrl+C and Ctrl+X:
  source->CopyToClipboard();
  source->CopyToClipboard(/*Cut=*/true);
  // A target that pasted the cut says so: remove what was cut.
  source->setOnPasteSucceeded([=](vcl::TObject*, TDropEffect) {
    if (list->ItemIndex() >= 0) list->Items().Delete(list->ItemIndex());
  });
  // [end]
}

void CopyPicture(TKXGraphicSource* source) {
  // [snippet:graphic-source-copy]
  source->CopyToClipboard();  // the picture as it is now, as a drag takes it
  // Left on the clipboard when the application exits (the default, crFlush), up to 16 MiB:
  source->setClipboardFlushLimit(16 << 20);
  // [end]
}

void CopyReport(TKXFileSource* source) {
  // [snippet:file-source-copy]
  source->AddVirtualFile(L"Report.csv");
  source->setOnGetContents([](vcl::TObject*, int, vcl::TStream& contents) {
    contents.WriteBuffer("a;b\r\n", 5);  // runs when a program pastes the file
  });
  source->CopyToClipboard();
  // A virtual file cannot outlive its producer: take it off the clipboard when the source goes.
  source->setClipboardRetention(crClear);
  // [end]
}

}  // namespace snippets
