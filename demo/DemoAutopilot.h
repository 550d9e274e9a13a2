#pragma once
// The demo's self-driving mode: a second thread that plays a real drag with synthesized mouse
// input, as a user would, while the user-interface thread runs the drag loop.
#include <windows.h>

#include <thread>

class TDemoAutopilot {
 public:
  TDemoAutopilot() = default;
  TDemoAutopilot(const TDemoAutopilot&) = delete;
  TDemoAutopilot& operator=(const TDemoAutopilot&) = delete;
  ~TDemoAutopilot();

  // Presses the left button on from, moves in steps onto to, and releases it there (screen points).
  void Drag(POINT from, POINT to);

 private:
  std::thread FThread;
};
