#pragma once
// What the examples' --self-check modes share: a real drag played with synthesized mouse input,
// as a user would make it, so that each example can prove itself without a person at the screen.
// The button goes down on this (the user-interface) thread; a second thread then moves the mouse
// and releases the button while this thread sits in OLE's drag loop.
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

namespace example {

inline void SendMouse(DWORD flags, POINT screen = {}) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = flags;
  SendInput(1, &in, sizeof in);
}

// Pumps this thread's messages for ms milliseconds.
inline void PumpFor(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

// Presses the left button at a screen point and waits until the system reports it down.
inline bool PressAt(POINT screen) {
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, screen);
  PumpFor(100);
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  for (int i = 0; i < 200; ++i) {
    if (GetAsyncKeyState(VK_LBUTTON) & 0x8000) return true;
    PumpFor(10);
  }
  return false;
}

// Moves onto a screen point in a few steps and releases the button there, on its own thread; join
// it once the drag loop has returned.
inline std::thread MoveAndReleaseAt(POINT from, POINT to) {
  return std::thread([from, to] {
    enum { kSteps = 8, kStepMs = 60 };
    Sleep(300);  // the drag loop starts
    for (int i = 1; i <= kSteps; ++i) {
      SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE,
                {from.x + (to.x - from.x) * i / kSteps, from.y + (to.y - from.y) * i / kSteps});
      Sleep(kStepMs);
    }
    Sleep(300);  // the target answers DragOver
    SendMouse(MOUSEEVENTF_LEFTUP);
  });
}

// The screen point at the centre of a window's client area.
inline POINT CentreOf(HWND wnd) {
  RECT r{};
  GetClientRect(wnd, &r);
  POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ClientToScreen(wnd, &p);
  return p;
}

inline void PrintUtf8(const std::wstring& line) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), n, nullptr, nullptr);
  std::printf("%s\n", utf8.c_str());
  std::fflush(stdout);
}

}  // namespace example
