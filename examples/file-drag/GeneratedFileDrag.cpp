// A window to drag a report out of: into a folder of the file manager, a mail being written, or
// any application that takes files. The report is not on disk; its contents are made only when
// the target asks for them, which may be after the drag has ended.
//
//   GeneratedFileDrag.exe                 a window for use by hand: press the mouse on it and drag
//   GeneratedFileDrag.exe --self-check    drags the report into a second window of its own, which
//                                         takes files, with synthesized mouse input; exits 0 when
//                                         the contents arrived and were made on request only
#include <windows.h>

#include <cstdint>
#include <string>

#include <kestrix/framework/Controls.h>
#include <kestrix/framework/Streams.h>
#include <kestrix/package/KestrixVcl.h>
#include <kestrix/sources/KXFileSource.h>
#include <kestrix/targets/KXFileTarget.h>

#include "../common/ExampleWindow.h"
#include "../common/SelfCheck.h"

using namespace kestrix;

namespace {

TKXFileSource* gSource = nullptr;

// Stands for the application's own data, turned into a file's bytes only when asked.
std::string MakeReport() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return "made at," + std::to_string(now.wHour) + ":" + std::to_string(now.wMinute) + "\r\nday,sales\r\n1,100\r\n2,140\r\n";
}

bool OnMessage(HWND, UINT msg, WPARAM, LPARAM) {
  if (msg != WM_LBUTTONDOWN || !gSource) return false;
  gSource->Execute();  // returns when the drag has ended
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool selfCheck = argc > 1 && std::wstring(argv[1]) == L"--self-check";
  TKestrixLibrary library;
  HWND wnd = example::CreateExampleWindow(L"KestrixFileDragExample", L"Drag the report out", 100, 100, OnMessage);
  int made = 0;

  // [snippet:generated-file]
  TKXFileSource source(nullptr);
  source.AddVirtualFile(L"Sales report.csv");  // named now; no size: the bytes do not exist yet
  source.setOnGetContents([&](vcl::TObject*, int, vcl::TStream& contents) {
    const std::string report = MakeReport();  // only now, for the target that asked
    contents.WriteBuffer(report.data(), static_cast<std::int64_t>(report.size()));
    ++made;
  });
  source.setOnAfterDrop([](vcl::TObject*, bool droppedOK) {
    example::PrintUtf8(droppedOK ? L"the report was dropped" : L"the drag was cancelled");
  });
  // [end]

  if (!selfCheck) {
    gSource = &source;  // the window's WM_LBUTTONDOWN starts the drag
    return example::RunMessageLoop();
  }

  // A second window that takes files, reading the report into memory as any application would.
  HWND other = example::CreateExampleWindow(L"KestrixFileDragExampleTarget", L"Files go here", 640, 100);
  vcl::TWinControl otherWindow(nullptr, other);
  TKXFileTarget target(nullptr);
  target.setAcceptorControl(&otherWindow);
  std::string arrived;
  bool dropped = false;
  target.setOnDrop([&](vcl::TObject*, vcl::TWinControl*, int, int) {
    vcl::TStringStream contents;
    const bool read = target.getFileCount() == 1 && target.SaveFileToStream(0, contents);
    arrived = contents.DataString();
    target.EndDrop(read);
    dropped = true;
  });

  example::PumpFor(300);
  const POINT from = example::CentreOf(wnd), to = example::CentreOf(other);
  if (!example::PressAt(from)) return 2;
  std::thread mover = example::MoveAndReleaseAt(from, to);
  const int madeBeforeDrag = made;
  source.Execute();  // what the window's WM_LBUTTONDOWN does by hand
  mover.join();
  // A target may finish in the background: its OnDrop then comes from the message loop.
  for (int i = 0; i < 100 && !dropped; ++i) example::PumpFor(50);
  const bool ok = madeBeforeDrag == 0 && made == 1 && arrived.compare(0, 8, "made at,") == 0;
  example::PrintUtf8(ok ? L"self-check passed" : L"self-check FAILED");
  return ok ? 0 : 1;
}
