#pragma once
// The examples' --self-check helpers (self_check.h) for the C++ examples: the same real drag,
// played with synthesized mouse input, with C++ types.
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "self_check.h"

namespace example {

inline void SendMouse(DWORD flags, POINT screen = {}) { example_send_mouse(flags, screen); }

// Pumps this thread's messages for ms milliseconds.
inline void PumpFor(DWORD ms) { example_pump_for(ms); }

// Presses the left button at a screen point and waits until the system reports it down.
inline bool PressAt(POINT screen) { return example_press_at(screen) != 0; }

// Moves onto a screen point in a few steps and releases the button there, on its own thread; join
// it once the drag loop has returned.
inline std::thread MoveAndReleaseAt(POINT from, POINT to) {
  return std::thread([from, to] { example_move_and_release(from, to); });
}

// The screen point at the centre of a window's client area.
inline POINT CentreOf(HWND wnd) { return example_centre_of(wnd); }

// Drags what source offers (any of the library's sources) from the left of a window onto its
// centre and drops it there; false when the button could not be pressed.
template <class Source>
bool DragInto(HWND wnd, Source& source) {
  const POINT to = CentreOf(wnd), from{to.x - 150, to.y};
  if (!PressAt(from)) return false;
  std::thread mover = MoveAndReleaseAt(from, to);
  source.Execute();
  mover.join();
  return true;
}

inline void PrintUtf8(const std::wstring& line) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), n, nullptr, nullptr);
  std::printf("%s\n", utf8.c_str());
  std::fflush(stdout);
}

}  // namespace example
