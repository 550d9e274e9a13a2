// A window that offers a file made in memory to any application by dragging, and accepts files
// dropped on it, written with the C++ wrapper (kestrix.hpp) over the C interface: it needs nothing
// of the library's C++ API, so any C++17 compiler builds it (MinGW, MSVC, clang).
//
//   VirtualFileDrag.exe                 a window for use by hand: press the left button in it and
//                                       drag to a folder of the file manager; drop files on it to
//                                       list them; close it to quit
//   VirtualFileDrag.exe --self-check    drags the file into its own window with synthesized mouse
//                                       input; exits 0 when the dropped file's contents arrived whole
#include <windows.h>

#include <string>

#include <kestrix/kestrix.hpp>

#include "../common/SelfCheck.h"

namespace {

LRESULT CALLBACK MainWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(wnd, msg, wParam, lParam);
}

HWND CreateMainWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"KestrixVirtualFileExample";
  RegisterClassW(&wc);
  return CreateWindowExW(0, wc.lpszClassName, L"Drag from here, drop files here", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                         100, 100, 480, 320, nullptr, nullptr, wc.hInstance, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) try {
  const bool selfCheck = argc > 1 && std::wstring(argv[1]) == L"--self-check";

  // [snippet:wrapper]
  kx::Library library;  // kx_startup now, kx_shutdown when it goes out of scope
  HWND wnd = CreateMainWindow();

  // A file that exists only in memory: its contents are written when a target asks for them.
  const std::string contents = "Made in memory by the C++ wrapper's example.\r\n";
  kx::FileSource source;
  source.addVirtualFile(L"from-kestrix.txt", contents.size());
  source.onContents([&](std::size_t, kx::ContentsStream& out) { out.write(contents); });
  source.onAfterDrop([](bool dropped) { example::PrintUtf8(dropped ? L"taken" : L"not taken"); });

  // Files dropped on the window: each one's name and, for a small one, its contents.
  std::string received;
  kx::FileTarget target;
  target.onDrop([&](const kx::FileDrop& drop) {
    for (std::size_t i = 0; i < drop.count; ++i) {
      const kx::FileItem item = target.item(i);
      example::PrintUtf8(L"dropped " + item.name + L", " + std::to_wstring(item.size) + L" bytes");
      if (!(item.flags & KX_ITEM_FOLDER) && item.size < 4096) {
        const std::vector<unsigned char> bytes = target.readItem(i);
        received.assign(bytes.begin(), bytes.end());
      }
    }
    target.endDrop(true);
  });
  target.bind(wnd);
  // [end]

  if (selfCheck) {
    example::PumpFor(300);
    const POINT to = example::CentreOf(wnd), from{to.x - 150, to.y};
    if (!example::PressAt(from)) return 2;
    std::thread mover = example::MoveAndReleaseAt(from, to);
    const kx_effect effect = source.execute();
    mover.join();
    for (int i = 0; i < 50 && received.empty(); ++i) {  // an asynchronous drop comes from the loop
      kx::PumpMessages();
      Sleep(10);
    }
    const bool ok = effect == KX_EFFECT_COPY && received == contents;
    example::PrintUtf8(ok ? L"self-check passed" : L"self-check FAILED");
    return ok ? 0 : 1;
  }

  // Press the button in the window to drag the file out.
  // [snippet:wrapper-loop]
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_LBUTTONDOWN && msg.hwnd == wnd) source.execute();  // returns when the drag ends
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    kx::RethrowPending();  // what a handler threw during that message, thrown here
  }
  // [end]
  return 0;
} catch (const kx::Error& e) {
  example::PrintUtf8(L"Kestrix: " + e.message());
  return 1;
}
