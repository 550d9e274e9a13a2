#include "DemoAutopilot.h"

namespace {

void MoveTo(POINT p) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = MulDiv(p.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = MulDiv(p.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof in);
}

void Button(bool down) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &in, sizeof in);
}

}  // namespace

TDemoAutopilot::~TDemoAutopilot() {
  if (FThread.joinable()) FThread.join();
}

void TDemoAutopilot::Drag(POINT from, POINT to) {
  if (FThread.joinable()) FThread.join();  // the previous drag's input has been played by now
  FThread = std::thread([from, to] {
    enum { kSteps = 10, kStepMs = 60 };
    MoveTo(from);
    Sleep(200);
    Button(true);
    // The button-down reaches the donor, whose handler starts the drag loop on the UI thread.
    for (int i = 0; i < 100 && !(GetAsyncKeyState(VK_LBUTTON) & 0x8000); ++i) Sleep(10);
    Sleep(400);
    for (int i = 1; i <= kSteps; ++i) {
      MoveTo({from.x + (to.x - from.x) * i / kSteps, from.y + (to.y - from.y) * i / kSteps});
      Sleep(kStepMs);
    }
    Sleep(400);  // the target answers DragOver and the source sees its feedback
    Button(false);
  });
}
