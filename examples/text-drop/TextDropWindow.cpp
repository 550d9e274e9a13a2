// A plain Win32 window, made with CreateWindowExW as any application makes its windows, that
// accepts text dropped from any application (links, HTML, rich text, file lists, plain text), or
// pasted with Ctrl+V, and prints what arrived.
//
//   TextDropWindow.exe                 a window for use by hand; close it to quit
//   TextDropWindow.exe --self-check    drags a line of text into its own window with synthesized
//                                      mouse input, then copies and pastes another; exits 0 when
//                                      both arrived whole
#include <windows.h>

#include <string>

#include <kestrix/framework/Controls.h>
#include <kestrix/package/KestrixVcl.h>
#include <kestrix/sources/KXTextSource.h>
#include <kestrix/targets/KXTextTarget.h>

#include "../common/ExampleWindow.h"
#include "../common/SelfCheck.h"

using namespace kestrix;

namespace {

HWND CreateMainWindow() { return example::CreateExampleWindow(L"KestrixTextDropExample", L"Drop text here", 100, 100); }

const wchar_t* KindName(TDropTextFormat kind) {
  static const wchar_t* names[] = {L"link", L"HTML", L"rich text", L"text", L"files", L"custom format"};
  return names[kind];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool selfCheck = argc > 1 && std::wstring(argv[1]) == L"--self-check";

  // [snippet:first-target]
  TKestrixLibrary library;  // OLE for this thread, for as long as the application runs

  HWND wnd = CreateMainWindow();
  vcl::TWinControl window(nullptr, wnd);  // the library's view of the application's own window

  TKXTextTarget target(nullptr);
  target.setAcceptTextFormats({dtfURL, dtfIEHTML, dtfRichText, dtfText, dtfFiles});
  target.setAcceptorControl(&window);  // registers the window as a drop target
  target.setOnDrop([&](vcl::TObject*, vcl::TWinControl*, const std::wstring& text, int x, int y) {
    example::PrintUtf8(std::wstring(L"dropped ") + KindName(target.getDroppedTextFormat()) + L" at " +
                       std::to_wstring(x) + L"," + std::to_wstring(y) + L": " + text);
    if (target.getDroppedTextFormat() == dtfURL)
      example::PrintUtf8(L"title: " + target.getURLTitleW());  // UTF-16: every character of the title
  });
  // [end]

  if (selfCheck) {
    const std::wstring sent = L"Hello from Kestrix: caf\u00E9, \u4E2D\u6587";
    TKXTextSource source(nullptr);
    source.setText(sent);
    example::PumpFor(300);
    if (!example::DragInto(wnd, source)) return 2;
    example::PumpFor(100);
    bool ok = target.getText() == sent && target.getDroppedTextFormat() == dtfText;
    source.setText(L"Copied and pasted: \u00FC\u00DF");
    ok = ok && source.CopyToClipboard() && target.PasteFromClipboard() && target.getText() == source.getText();
    example::PrintUtf8(ok ? L"self-check passed" : L"self-check FAILED");
    return ok ? 0 : 1;
  }

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Ctrl+V pastes: the clipboard's text arrives as a drop at (-1, -1).
    if (msg.message == WM_KEYDOWN && msg.wParam == 'V' && (GetKeyState(VK_CONTROL) & 0x8000))
      target.PasteFromClipboard();
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
