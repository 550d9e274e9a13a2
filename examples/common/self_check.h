/* What the examples' --self-check modes share, in plain C so that the C examples use it as well as
 * the C++ ones (SelfCheck.h): a real drag played with synthesized mouse input, as a user would make
 * it, so that each example can prove itself without a person at the screen. The button goes down on
 * the user-interface thread; a second thread then moves the mouse and releases the button while
 * that thread sits in OLE's drag loop. */
#ifndef KESTRIX_EXAMPLE_SELF_CHECK_H
#define KESTRIX_EXAMPLE_SELF_CHECK_H

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

static inline void example_send_mouse(DWORD flags, POINT screen) {
  INPUT in;
  ZeroMemory(&in, sizeof in);
  in.type = INPUT_MOUSE;
  in.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = flags;
  SendInput(1, &in, sizeof in);
}

/* Pumps this thread's messages for ms milliseconds. */
static inline void example_pump_for(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  do {
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(10);
  } while ((LONG)(end - GetTickCount()) > 0);
}

/* Presses the left button at a screen point; non-zero once the system reports it down. */
static inline int example_press_at(POINT screen) {
  int i;
  example_send_mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, screen);
  example_pump_for(100);
  example_send_mouse(MOUSEEVENTF_LEFTDOWN, screen);
  for (i = 0; i < 200; ++i) {
    if (GetAsyncKeyState(VK_LBUTTON) & 0x8000) return 1;
    example_pump_for(10);
  }
  return 0;
}

/* Moves onto a screen point in a few steps and releases the button there; runs on a thread of its
 * own while the user-interface thread is in the drag loop. */
static inline void example_move_and_release(POINT from, POINT to) {
  enum { kSteps = 8, kStepMs = 60 };
  int i;
  Sleep(300); /* the drag loop starts */
  for (i = 1; i <= kSteps; ++i) {
    POINT p;
    p.x = from.x + (to.x - from.x) * i / kSteps;
    p.y = from.y + (to.y - from.y) * i / kSteps;
    example_send_mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, p);
    Sleep(kStepMs);
  }
  Sleep(300); /* the target answers DragOver */
  example_send_mouse(MOUSEEVENTF_LEFTUP, to);
}

typedef struct example_move {
  POINT from, to;
} example_move;

static inline DWORD WINAPI example_move_thread(void* arg) {
  example_move move = *(example_move*)arg;
  free(arg);
  example_move_and_release(move.from, move.to);
  return 0;
}

/* example_move_and_release on a new thread; wait for the handle (and close it) once the drag loop
 * has returned. NULL when the thread cannot start. */
static inline HANDLE example_start_move_and_release(POINT from, POINT to) {
  HANDLE thread;
  example_move* move = (example_move*)malloc(sizeof *move);
  if (!move) return NULL;
  move->from = from;
  move->to = to;
  thread = CreateThread(NULL, 0, example_move_thread, move, 0, NULL);
  if (!thread) free(move);
  return thread;
}

/* The screen point at the centre of a window's client area. */
static inline POINT example_centre_of(HWND wnd) {
  RECT r;
  POINT p;
  GetClientRect(wnd, &r);
  p.x = (r.left + r.right) / 2;
  p.y = (r.top + r.bottom) / 2;
  ClientToScreen(wnd, &p);
  return p;
}

/* Prints a line as UTF-8. */
static inline void example_print_utf8(const wchar_t* line) {
  char buffer[1024];
  if (!WideCharToMultiByte(CP_UTF8, 0, line, -1, buffer, (int)sizeof buffer, NULL, NULL)) buffer[0] = '\0';
  printf("%s\n", buffer);
  fflush(stdout);
}

#endif /* KESTRIX_EXAMPLE_SELF_CHECK_H */
