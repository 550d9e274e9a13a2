// Short examples of dragging files out of an application, virtual and real, for the guide in
// docs/. Compiled with the other examples, never run.
#include <windows.h>

#include <cstdint>
#include <string>

#include <kestrix/framework/ExtCtrls.h>
#include <kestrix/framework/Forms.h>
#include <kestrix/framework/StdCtrls.h>
#include <kestrix/sources/KXFileSource.h>

using namespace kestrix;

namespace snippets {

// Stands for the application's own data: a report made only when someone asks for it.
std::string MonthlyReportCsv() { return "day,sales\r\n1,100\r\n"; }

void DragReports(vcl::TForm* form, vcl::TPanel* handle, const std::wstring& attachmentPath) {
  // [snippet:file-source]
  auto* source = new TKXFileSource(form);
  handle->SetOnMouseDown([=](vcl::TObject*, vcl::TMouseButton button, vcl::TShiftState, int, int) {
    if (button != vcl::mbLeft) return;
    source->Clear();
    source->AddVirtualFile(L"Reports\\May.csv");   // size unknown: made when a target asks
    source->AddVirtualFile(L"readme.txt", 12);      // a known small size: also as global memory
    source->AddFile(attachmentPath);                // a file on disk, offered as CF_HDROP
    source->Execute();
  });
  // Index is what AddVirtualFile returned. This may run after Execute has returned, when the
  // target finishes the drop in the background.
  source->setOnGetContents([](vcl::TObject*, int index, vcl::TStream& contents) {
    const std::string bytes = index == 0 ? MonthlyReportCsv() : std::string("Hello there\n");
    contents.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  });
  source->setOnAfterDrop([](vcl::TObject*, bool droppedOK) {
    if (!droppedOK) MessageBeep(MB_ICONWARNING);
  });
  // [end]
}

void ReportBackgroundDrops(TKXFileSource* source, vcl::TLabel* status) {
  // [snippet:file-source-async]
  source->setOnStartAsyncOperation([=](vcl::TObject*) { status->SetText(L"Copying..."); });
  source->setOnEndAsyncOperation([=](vcl::TObject*) {
    status->SetText(source->getPerformedEffect() == deNone ? L"Not copied" : L"Copied");
  });
  if (source->Execute() && source->getDropWasAsynchronous()) {
    // The target reads the contents from now on; OnEndAsyncOperation, then OnAfterDrop, follow.
  }
  // [end]
}

}  // namespace snippets
