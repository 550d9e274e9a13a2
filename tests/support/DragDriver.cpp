#include "support/DragDriver.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace kxtest {

namespace {

// Long enough for OLE's drag loop (which polls about every 50 ms) to see each position.
constexpr DWORD kStepPause = 60;

POINT CursorPos() {
  POINT p{};
  GetCursorPos(&p);
  return p;
}

// Absolute coordinates are 0..65535 over the primary screen; rounding up makes the system's
// conversion back (coordinate * size / 65536) land on the pixel asked for.
LONG Normalise(LONG pixel, int size) {
  if (size <= 0) return 0;
  return static_cast<LONG>((static_cast<LONGLONG>(pixel) * 65536 + size - 1) / size);
}

void SendOne(INPUT input) { SendInput(1, &input, sizeof input); }

}  // namespace

int VirtualKeyOf(MouseButton button) {
  switch (button) {
    case MouseButton::Right: return VK_RBUTTON;
    case MouseButton::Middle: return VK_MBUTTON;
    default: return VK_LBUTTON;
  }
}

POINT ScreenPointOf(HWND wnd, POINT client) {
  ClientToScreen(wnd, &client);
  return client;
}

void SendMouseMove(POINT screen) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = Normalise(screen.x, GetSystemMetrics(SM_CXSCREEN));
  in.mi.dy = Normalise(screen.y, GetSystemMetrics(SM_CYSCREEN));
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendOne(in);
}

void SendButton(MouseButton button, bool down) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  switch (button) {
    case MouseButton::Right: in.mi.dwFlags = down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP; break;
    case MouseButton::Middle: in.mi.dwFlags = down ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP; break;
    default: in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP; break;
  }
  SendOne(in);
}

void SendKey(WORD vk, bool down) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendOne(in);
}

bool WaitForKeyState(int vk, bool down, DWORD ms) {
  return PumpUntil([&] { return ((GetAsyncKeyState(vk) & 0x8000) != 0) == down; }, ms);
}

// ---- DragScript ----------------------------------------------------------------------------------

DragScript& DragScript::MoveToScreen(POINT to, int steps) {
  if (steps < 1) steps = 1;
  FSteps.push_back({[to, steps] {
    POINT from = CursorPos();
    for (int i = 1; i <= steps; ++i) {
      POINT p{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
      SendMouseMove(p);
      Sleep(kStepPause);
    }
    return true;
  }});
  return *this;
}

DragScript& DragScript::MoveTo(HWND wnd, POINT client, int steps) {
  return MoveToScreen(ScreenPointOf(wnd, client), steps);
}

DragScript& DragScript::Down(MouseButton button) {
  FSteps.push_back({[button] { SendButton(button, true); return true; }});
  return *this;
}

DragScript& DragScript::Up(MouseButton button) {
  FSteps.push_back({[button] { SendButton(button, false); return true; }});
  return *this;
}

DragScript& DragScript::KeyDown(WORD vk) {
  FSteps.push_back({[vk] { SendKey(vk, true); return true; }});
  return *this;
}

DragScript& DragScript::KeyUp(WORD vk) {
  FSteps.push_back({[vk] { SendKey(vk, false); return true; }});
  return *this;
}

DragScript& DragScript::Tap(WORD vk) {
  KeyDown(vk);
  Pause(kStepPause);
  return KeyUp(vk);
}

DragScript& DragScript::Pause(DWORD ms) {
  FSteps.push_back({[ms] { Sleep(ms); return true; }});
  return *this;
}

DragScript& DragScript::WaitUntil(std::function<bool()> pred, DWORD ms) {
  FSteps.push_back({[pred = std::move(pred), ms] {
    DWORD start = GetTickCount();
    while (!pred()) {
      if (GetTickCount() - start > ms) return false;
      Sleep(10);
    }
    return true;
  }});
  return *this;
}

DragScript& DragScript::Call(std::function<void()> action) {
  FSteps.push_back({[action = std::move(action)] { action(); return true; }});
  return *this;
}

bool DragWith(HWND wnd, POINT client, DragScript script, const std::function<bool()>& drag, MouseButton button) {
  DragDriver driver;
  if (!driver.Press(wnd, client, button)) {
    ADD_FAILURE() << "the button did not go down";
    return false;
  }
  driver.Run(std::move(script));
  const bool result = drag();
  EXPECT_TRUE(driver.Wait());
  return result;
}

DragScript DropOn(HWND target, POINT client, MouseButton button) {
  DragScript s;
  s.Pause(200).MoveTo(target, client).Pause(300).Up(button).Pause(kStepPause);
  return s;
}

DragScript EscapeOver(HWND wnd, POINT client, MouseButton button) {
  DragScript s;
  s.Pause(200).MoveTo(wnd, client).Pause(200).Tap(VK_ESCAPE).Pause(200).Up(button).Pause(kStepPause);
  return s;
}

// ---- DragDriver ----------------------------------------------------------------------------------

DragDriver::~DragDriver() {
  Join();
  ReleaseAll();
}

bool DragDriver::Press(HWND wnd, POINT client, MouseButton button, DWORD ms) {
  HWND top = GetAncestor(wnd, GA_ROOT);
  SetForegroundWindow(top);
  SendMouseMove(ScreenPointOf(wnd, client));
  PumpMessages(50);
  SendButton(button, true);
  int vk = VirtualKeyOf(button);
  // GetAsyncKeyState changes at once; this thread's own key state (which OLE's drag loop reads)
  // only once the button message has been retrieved.
  if (!WaitForKeyState(vk, true, ms)) return false;
  return PumpUntil([vk] { return (GetKeyState(vk) & 0x8000) != 0; }, ms);
}

void DragDriver::Run(DragScript script) {
  Join();
  FDone = false;
  FOk = true;
  FThread = std::thread([this, steps = std::move(script.FSteps)] {
    bool ok = true;
    for (const auto& step : steps) ok = step.run() && ok;
    FOk = ok;
    FDone = true;
  });
}

bool DragDriver::Wait(DWORD ms) {
  bool finished = PumpUntil([this] { return FDone.load(); }, ms);
  if (finished) Join();
  return finished && FOk;
}

void DragDriver::Join() {
  if (!FThread.joinable()) return;
  // Pumping while waiting keeps a thread that sends messages to this one from stalling.
  PumpUntil([this] { return FDone.load(); }, 30000);
  FThread.join();
}

void DragDriver::ReleaseAll() {
  for (MouseButton b : {MouseButton::Left, MouseButton::Right, MouseButton::Middle})
    if (GetAsyncKeyState(VirtualKeyOf(b)) & 0x8000) SendButton(b, false);
  for (WORD vk : {WORD{VK_ESCAPE}, WORD{VK_SHIFT}, WORD{VK_CONTROL}, WORD{VK_MENU}})
    if (GetAsyncKeyState(vk) & 0x8000) SendKey(vk, false);
  PumpMessages(30);
}

// ---- TestWindow ----------------------------------------------------------------------------------

namespace {

const wchar_t kTestWindowClass[] = L"KxTestDragWindow";

void RegisterTestWindowClass() {
  static bool registered = [] {
    WNDCLASSEXW wc{sizeof wc};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kTestWindowClass;
    return RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

}  // namespace

TestWindow::TestWindow(const std::wstring& title, RECT r, bool activate) {
  RegisterTestWindowClass();
  FWnd = CreateWindowExW(activate ? 0 : WS_EX_NOACTIVATE, kTestWindowClass, title.c_str(), WS_POPUP | WS_BORDER,
                         r.left, r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
  if (FWnd) {
    ShowWindow(FWnd, activate ? SW_SHOW : SW_SHOWNOACTIVATE);
    UpdateWindow(FWnd);
  }
}

TestWindow::~TestWindow() {
  if (FWnd) DestroyWindow(FWnd);
}

POINT TestWindow::Centre() const {
  RECT r{};
  GetClientRect(FWnd, &r);
  return {(r.right - r.left) / 2, (r.bottom - r.top) / 2};
}

}  // namespace kxtest
