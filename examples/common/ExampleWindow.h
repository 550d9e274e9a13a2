#pragma once
// The examples' own windows, made with CreateWindowExW as any application makes its windows.
#include <windows.h>

namespace example {

using MessageHandler = bool (*)(HWND, UINT, WPARAM, LPARAM);
inline MessageHandler gMessageHandler = nullptr;

inline LRESULT CALLBACK ExampleWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (gMessageHandler && gMessageHandler(wnd, msg, wParam, lParam)) return 0;
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(wnd, msg, wParam, lParam);
}

// A visible top-level window of a class of its own; closing it ends the message loop. OnMessage,
// when given, sees the messages of the examples' windows first and returns true for those it
// handled.
inline HWND CreateExampleWindow(const wchar_t* className, const wchar_t* title, int x, int y,
                                MessageHandler onMessage = nullptr) {
  if (onMessage) gMessageHandler = onMessage;
  WNDCLASSW wc{};
  wc.lpfnWndProc = ExampleWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = className;
  RegisterClassW(&wc);
  return CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, 480, 320, nullptr, nullptr,
                         wc.hInstance, nullptr);
}

// Runs the message loop until the main window closes.
inline int RunMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

}  // namespace example
