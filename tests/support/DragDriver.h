#pragma once
// Real drags for end-to-end tests: synthesized mouse and keyboard input (SendInput) that a second
// thread plays while the user-interface thread sits in OLE's modal DoDragDrop loop.
//
// Typical use, on the user-interface thread:
//   kxtest::DragDriver driver;
//   ASSERT_TRUE(driver.Press(source, {20, 20}));          // button down, seen by this thread
//   driver.Run(kxtest::DropOn(target, {30, 30}));         // moves and release, on a second thread
//   HRESULT hr = DoDragDrop(data, dropSource, DROPEFFECT_COPY, &effect);   // or Execute()
//   ASSERT_TRUE(driver.Wait());
// The driver releases whatever it still holds down when it is destroyed, so a failing test does
// not leave a button pressed for the next one.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kxtest {

enum class MouseButton { Left, Right, Middle };

// The virtual-key code of a button (VK_LBUTTON, VK_RBUTTON, VK_MBUTTON).
int VirtualKeyOf(MouseButton button);
// The screen point of a point in a window's client area.
POINT ScreenPointOf(HWND wnd, POINT client);

// Single synthesized events. Moves are absolute, in screen pixels.
void SendMouseMove(POINT screen);
void SendButton(MouseButton button, bool down);
void SendKey(WORD vk, bool down);

// Pumps this thread's messages until GetAsyncKeyState reports the key (or button) down or up as
// asked; false when ms pass first.
bool WaitForKeyState(int vk, bool down, DWORD ms);

// Steps that the driver thread plays in order.
class DragScript {
 public:
  // Moves in `steps` straight-line steps from the cursor's position onto a client point of wnd,
  // pausing between them long enough for the drag loop to see each position.
  DragScript& MoveTo(HWND wnd, POINT client, int steps = 5);
  DragScript& MoveToScreen(POINT screen, int steps = 5);
  DragScript& Down(MouseButton button);
  DragScript& Up(MouseButton button);
  DragScript& KeyDown(WORD vk);
  DragScript& KeyUp(WORD vk);
  // A key pressed and released.
  DragScript& Tap(WORD vk);
  DragScript& Pause(DWORD ms);
  // Waits (on the driver thread) until pred() holds, at most ms; the script goes on either way,
  // and Wait() then reports the step as failed when it timed out. pred runs on the driver thread,
  // so it must read only thread-safe state (atomics).
  DragScript& WaitUntil(std::function<bool()> pred, DWORD ms = 5000);
  // Runs any action on the driver thread.
  DragScript& Call(std::function<void()> action);

 private:
  friend class DragDriver;
  struct Step {
    std::function<bool()> run;  // false: the step failed (a WaitUntil that timed out)
  };
  std::vector<Step> FSteps;
};

// The usual end of a drag: a short pause for the loop to start, moves onto the target, a pause so
// that the target answers DragOver (and the source sees its feedback), then the button's release.
DragScript DropOn(HWND target, POINT client, MouseButton button = MouseButton::Left);
// Moves onto a point, then Escape while the button stays down; the button is released afterwards.
DragScript EscapeOver(HWND wnd, POINT client, MouseButton button = MouseButton::Left);

class DragDriver {
 public:
  DragDriver() = default;
  DragDriver(const DragDriver&) = delete;
  DragDriver& operator=(const DragDriver&) = delete;
  ~DragDriver();

  // On the user-interface thread: brings wnd's top-level window to the foreground, moves onto its
  // client point, presses the button and pumps messages until both GetAsyncKeyState and this
  // thread's key state show it down. False when that does not happen within ms.
  bool Press(HWND wnd, POINT client, MouseButton button = MouseButton::Left, DWORD ms = 3000);
  // Starts playing the script on a second thread and returns at once: call DoDragDrop next.
  void Run(DragScript script);
  // Pumps messages until the script has finished (at most ms); true when every step succeeded.
  bool Wait(DWORD ms = 15000);
  // Releases every button and key the driver has pressed and not released.
  void ReleaseAll();

 private:
  void Join();
  std::thread FThread;
  std::atomic<bool> FDone{true};
  std::atomic<bool> FOk{true};
};

// What most drags of the tests do: presses the button on a client point of wnd, plays the script on
// the driver thread, runs drag (Execute, or DoDragDrop) on this thread and waits for the script,
// each failure a test failure. drag's result; false, without a drag, when the button did not go
// down. What drag throws reaches the caller (the driver finishes its script first).
bool DragWith(HWND wnd, POINT client, DragScript script, const std::function<bool()>& drag,
              MouseButton button = MouseButton::Left);

// A plain top-level window for tests (unmanaged popup, visible, not activated on creation), at a
// screen rectangle; destroyed with the owner.
class TestWindow {
 public:
  TestWindow(const std::wstring& title, RECT screen, bool activate = true);
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  ~TestWindow();
  HWND Handle() const { return FWnd; }
  // The client point at the window's centre.
  POINT Centre() const;

 private:
  HWND FWnd = nullptr;
};

}  // namespace kxtest
