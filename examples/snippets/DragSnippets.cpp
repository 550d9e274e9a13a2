// Short examples of dragging text and pictures out of an application, for the guide in docs/.
// They are compiled with the other examples, so that the guide cannot drift from the library, but
// never run: each function stands for a part of an application.
#include <windows.h>

#include <string>

#include <kestrix/formats/KXUtil.h>
#include <kestrix/framework/ExtCtrls.h>
#include <kestrix/framework/ExtCtrlsImage.h>
#include <kestrix/framework/Forms.h>
#include <kestrix/framework/GraphicsMetafile.h>
#include <kestrix/framework/StdCtrls.h>
#include <kestrix/sources/KXGraphicSource.h>
#include <kestrix/sources/KXTextSource.h>

using namespace kestrix;

namespace snippets {

void DragSelectedLines(vcl::TForm* form, vcl::TListBox* list) {
  // [snippet:text-source-donor]
  auto* source = new TKXTextSource(form);  // the form owns the component and frees it
  source->setDropEffects({deCopy, deMove});

  list->SetOnMouseDown([=](vcl::TObject*, vcl::TMouseButton button, vcl::TShiftState, int, int) {
    if (button != vcl::mbLeft) return;
    source->setDonorComponent(list);  // the selected lines, read when a target asks for them
    source->Execute();                // returns when the drag has ended
  });
  source->setOnBeforeDrop([](vcl::TObject*, vcl::TComponent*, std::wstring& text, bool& cancel) {
    if (text.empty()) cancel = true;
    else text = L"From my list:\r\n" + text;  // what the target gets
  });
  source->setOnAfterDrop([=](vcl::TObject*, vcl::TComponent*, bool droppedOK) {
    const int dragged = list->ItemIndex();
    if (droppedOK && source->getReturnedEffect() == deMove && dragged >= 0) list->Items().Delete(dragged);
  });
  // [end]
}

void DragWithRightButton(vcl::TForm* form, vcl::TEdit* edit) {
  // [snippet:text-source-right-button]
  auto* source = new TKXTextSource(form);
  source->setDonorComponent(edit);           // the edit's selected text
  source->setMouseButton(vcl::mbRight);      // the drag ends when this button is released
  edit->SetOnMouseDown([=](vcl::TObject*, vcl::TMouseButton button, vcl::TShiftState, int x, int y) {
    // A click stays a click: the drag starts once the mouse moves beyond the system's drag distance.
    if (button == vcl::mbRight && DragDetectEx(edit->Handle(), {x, y}, button)) source->Execute();
  });
  source->setOnGiveFeedback([](vcl::TObject*, TDropEffect effect, bool& defaultCursors) {
    if (effect == deNone) return;  // the system's "no" cursor
    SetCursor(LoadCursor(nullptr, IDC_HAND));
    defaultCursors = false;
  });
  // [end]
}

void DragCustomFormats(TKXTextSource* source, const std::wstring& recordId, const std::wstring& summary) {
  // [snippet:text-source-custom]
  // With custom formats the drag offers exactly these, in this order, instead of Text.
  TCustomFormatDataList* formats = source->getCustomFormatData();
  formats->Clear();
  formats->AddFormat(L"MyApp.Record", std::string());  // empty: rendered when a target asks
  formats->AddFormat(L"13", summary);  // plain text as well (CF_UNICODETEXT and CF_TEXT), kept in
  formats->AddFormat(L"1", summary);   // the ANSI code page

  source->setOnRenderCustomFormat([=](vcl::TObject*, const std::wstring& name, std::wstring& content) {
    if (name == L"MyApp.Record") content = L"record=" + recordId;  // kept, in the ANSI code page
  });
  source->Execute();
  // [end]
}

void DragAsynchronously(TKXTextSource* source, vcl::TLabel* status) {
  // [snippet:text-source-async]
  // Offers the target to finish the drop in the background (the shell's IAsyncOperation).
  source->setAsynchronous(true);
  source->setOnStartAsyncOperation([=](vcl::TObject*) { status->SetText(L"The target is still working"); });
  source->setOnEndAsyncOperation([=](vcl::TObject*) { status->SetText(L"Done"); });
  if (source->Execute() && source->getDropWasAsynchronous()) {
    // Execute has returned, but the target still holds the data; OnEndAsyncOperation follows.
  }
  // [end]
}

void DragReportedPicture(vcl::TForm* form, vcl::TPanel* handle, const std::wstring& chartFile) {
  // [snippet:picture-source-own]
  auto* source = new TKXGraphicSource(form);
  vcl::TMetafile chart;
  chart.LoadFromFile(chartFile);  // an .emf file
  vcl::TPicture picture;
  picture.SetGraphic(&chart);
  source->setPicture(&picture);            // a copy; the component keeps it
  source->setUseActualMetafileSizes(true);  // tell old-style metafile readers the real size

  source->setOnBeforeDrop([](vcl::TObject*, vcl::TImage*, vcl::TPicture* drop, bool& cancel) {
    cancel = drop->Width() == 0;  // a handler that changes drop changes what later drags carry
  });
  handle->SetOnMouseDown([=](vcl::TObject*, vcl::TMouseButton button, vcl::TShiftState, int, int) {
    if (button == vcl::mbLeft && !source->Execute()) MessageBeep(MB_ICONWARNING);  // nothing to drag
  });
  // [end]
}

void DragAndReport(TKXTextSource* source) {
  // [snippet:drag-errors]
  source->setOnBeforeDrop([](vcl::TObject*, vcl::TComponent*, std::wstring& text, bool&) {
    if (text.size() > 1000000) throw vcl::Exception(L"That selection is too large to drag");
  });
  try {
    source->Execute();  // the drag was cancelled; the handler's exception arrives here
  } catch (const vcl::Exception& e) {
    MessageBoxW(nullptr, e.Message().c_str(), L"Drag", MB_ICONWARNING);
  }
  // [end]
}

}  // namespace snippets
