// Drag detection for every mouse button, driven by synthesized input.
#include <gtest/gtest.h>

#include <atomic>

#include "formats/KXUtil.h"
#include "support/DragDriver.h"
#include "support/TestSupport.h"

using namespace kestrix;
using namespace kxtest;

namespace {

// Away from the screen's origin, so that client and screen coordinates differ.
constexpr RECT kWindowRect{120, 90, 320, 290};

// Where the timer below moves the capture to.
HWND gThief = nullptr;
void CALLBACK TakeCapture(HWND, UINT, UINT_PTR, DWORD) { SetCapture(gThief); }

MouseButton DriverButton(vcl::TMouseButton b) {
  return b == vcl::mbRight ? MouseButton::Right : b == vcl::mbMiddle ? MouseButton::Middle : MouseButton::Left;
}

}  // namespace

TEST(DragDetectEx, RightAndMiddleButtonsNeedMovementBeyondTheThresholds) {
  const int cx = GetSystemMetrics(SM_CXDRAG), cy = GetSystemMetrics(SM_CYDRAG);  // 4 and 4 on Wine
  struct Case {
    vcl::TMouseButton button;
    int dx, dy;
    bool drag;
  };
  const Case cases[] = {
      {vcl::mbRight, cx, 0, false},       {vcl::mbRight, cx + 1, 0, true},
      {vcl::mbRight, 0, -cy, false},      {vcl::mbRight, 0, -(cy + 1), true},
      {vcl::mbRight, -cx, cy, false},     {vcl::mbRight, -(cx + 1), 0, true},
      {vcl::mbRight, 0, 0, false},        {vcl::mbMiddle, -cx, 0, false},
      {vcl::mbMiddle, -(cx + 1), 0, true}, {vcl::mbMiddle, cx, cy, false},
      {vcl::mbMiddle, 0, cy + 1, true},   {vcl::mbMiddle, 0, 0, false},
  };
  TestWindow window(L"kx drag detect", kWindowRect);
  PumpMessages(100);
  const POINT start = window.Centre();
  const POINT screen = ScreenPointOf(window.Handle(), start);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "button " << int(c.button) << " by " << c.dx << "," << c.dy);
    DragDriver driver;
    ASSERT_TRUE(driver.Press(window.Handle(), start, DriverButton(c.button)));
    DragScript script;
    script.Pause(100);
    if (c.dx || c.dy) script.MoveToScreen({screen.x + c.dx, screen.y + c.dy}, 1).Pause(300);
    script.Up(DriverButton(c.button));
    driver.Run(std::move(script));
    EXPECT_EQ(DragDetectEx(window.Handle(), vcl::TPoint{start.x, start.y}, c.button), c.drag);
    EXPECT_EQ(GetCapture(), nullptr);  // released on both ways out
    EXPECT_TRUE(driver.Wait());
    WaitForKeyState(VirtualKeyOf(DriverButton(c.button)), false, 1000);
    PumpMessages(50);
  }
}

TEST(DragDetectEx, LeftButtonUsesTheSystemsDetection) {
  // The point goes to the system's DragDetect in screen coordinates, as Windows reads it. Wine's
  // DragDetect compares it with the client coordinates of WM_MOUSEMOVE instead, so there any move
  // counts as a drag: a move within the thresholds is no drag on Windows and one on Wine (where a
  // point passed unconverted would have made it none, as the window is away from the origin).
  const bool onWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  struct Case {
    int dx;
    bool drag;
  };
  TestWindow window(L"kx drag detect left", kWindowRect);
  PumpMessages(100);
  const POINT start = window.Centre();
  const POINT screen = ScreenPointOf(window.Handle(), start);
  for (Case c : {Case{0, false}, Case{2, onWine}, Case{40, true}}) {
    SCOPED_TRACE(c.dx);
    DragDriver driver;
    ASSERT_TRUE(driver.Press(window.Handle(), start));
    DragScript script;
    script.Pause(100);
    if (c.dx) script.MoveToScreen({screen.x + c.dx, screen.y}, 2).Pause(300);
    script.Up(MouseButton::Left);
    driver.Run(std::move(script));
    EXPECT_EQ(DragDetectEx(window.Handle(), vcl::TPoint{start.x, start.y}, vcl::mbLeft), c.drag);
    EXPECT_TRUE(driver.Wait());
    WaitForKeyState(VK_LBUTTON, false, 1000);
    PumpMessages(50);
  }
}

TEST(DragDetectEx, LosingTheCaptureEndsTheWait) {
  // While the button stays down, another window of this thread takes the mouse (an event handler
  // run from inside the wait): the release would go to that window, so the wait must not go on.
  TestWindow window(L"kx drag detect", kWindowRect);
  TestWindow other(L"kx other", RECT{400, 90, 500, 190}, false);
  PumpMessages(100);
  gThief = other.Handle();
  std::atomic<bool> returned{false};

  DragDriver driver;
  ASSERT_TRUE(driver.Press(window.Handle(), window.Centre(), MouseButton::Right));
  driver.Run(DragScript().WaitUntil([&] { return returned.load(); }).Up(MouseButton::Right));
  UINT_PTR timer = SetTimer(nullptr, 0, 100, TakeCapture);
  POINT start = window.Centre();
  bool drag = DragDetectEx(window.Handle(), vcl::TPoint{start.x, start.y}, vcl::mbRight);
  KillTimer(nullptr, timer);
  const bool stillDown = (GetAsyncKeyState(VK_RBUTTON) & 0x8000) != 0;
  returned = true;
  EXPECT_FALSE(drag);
  EXPECT_TRUE(stillDown);
  EXPECT_EQ(GetCapture(), other.Handle());  // the other window keeps what it took
  ReleaseCapture();
  EXPECT_TRUE(driver.Wait());

  // A window that is gone cannot hold the capture either.
  ASSERT_TRUE(driver.Press(window.Handle(), start, MouseButton::Right));
  returned = false;
  driver.Run(DragScript().WaitUntil([&] { return returned.load(); }).Up(MouseButton::Right));
  HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(gone);
  EXPECT_FALSE(DragDetectEx(gone, vcl::TPoint{start.x, start.y}, vcl::mbRight));
  EXPECT_TRUE(GetAsyncKeyState(VK_RBUTTON) & 0x8000);
  returned = true;
  EXPECT_TRUE(driver.Wait());
}
