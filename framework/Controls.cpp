#include "framework/Controls.h"

#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "framework/Forms.h"
#include "framework/SysUtils.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace vcl {

namespace {

// Two window properties tie a subclassed window to its control: the control itself, and the
// procedure that was in place before, kept on the window so that the chain still works if the
// control lets go while another party has subclassed on top of it.
constexpr const wchar_t* kControlProp = L"KestrixVcl.Control";
constexpr const wchar_t* kDefProcProp = L"KestrixVcl.DefProc";
constexpr const wchar_t* kFrameworkClass = L"KestrixVclWindow";

HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

void RegisterFrameworkClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = ModuleInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kFrameworkClass;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw EOSError(Format(L"Cannot register the window class (%u)", static_cast<unsigned>(GetLastError())));
  registered = true;
}

// Controls without a parent get their windows here until they are placed on one.
HWND ParkingWindow() {
  static HWND parking = nullptr;
  if (parking && IsWindow(parking)) return parking;
  RegisterFrameworkClass();
  parking = CreateWindowExW(WS_EX_TOOLWINDOW, kFrameworkClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            ModuleInstance(), nullptr);
  return parking;
}

LRESULT CALLBACK ControlWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

// The control whose window CreateWindowExW is making right now; the CBT hook subclasses that
// window before its first message.
TWinControl* creatingControl = nullptr;

LRESULT CALLBACK CreationHookProc(int Code, WPARAM WParam, LPARAM LParam);

class TCreationScope {
 public:
  explicit TCreationScope(TWinControl* Control)
      : FPrevious(std::exchange(creatingControl, Control)),
        FHook(SetWindowsHookExW(WH_CBT, CreationHookProc, nullptr, GetCurrentThreadId())) {}
  TCreationScope(const TCreationScope&) = delete;
  TCreationScope& operator=(const TCreationScope&) = delete;
  ~TCreationScope() {
    if (FHook) UnhookWindowsHookEx(FHook);
    creatingControl = FPrevious;
  }

 private:
  TWinControl* FPrevious;
  HHOOK FHook;
};

class TPaintScope {
 public:
  explicit TPaintScope(HWND Wnd) : FWnd(Wnd), FDC(BeginPaint(Wnd, &FPaint)) {}
  TPaintScope(const TPaintScope&) = delete;
  TPaintScope& operator=(const TPaintScope&) = delete;
  ~TPaintScope() { EndPaint(FWnd, &FPaint); }
  HDC DC() const { return FDC; }

 private:
  HWND FWnd;
  PAINTSTRUCT FPaint{};
  HDC FDC;
};

TShiftState ShiftFromKeys(WPARAM Keys) {
  TShiftState s;
  if (Keys & MK_SHIFT) s.Include(ssShift);
  if (Keys & MK_CONTROL) s.Include(ssCtrl);
  if (Keys & MK_LBUTTON) s.Include(ssLeft);
  if (Keys & MK_RBUTTON) s.Include(ssRight);
  if (Keys & MK_MBUTTON) s.Include(ssMiddle);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  return s;
}

TMouseButton ButtonOf(UINT Msg) {
  switch (Msg) {
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: return mbRight;
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK: return mbMiddle;
    default: return mbLeft;
  }
}

// A window's rectangle in its parent's client coordinates (screen coordinates for a top-level one).
RECT BoundsInParent(HWND Wnd) {
  RECT r{};
  GetWindowRect(Wnd, &r);
  HWND parent = (GetWindowLongPtrW(Wnd, GWL_STYLE) & WS_CHILD) ? GetAncestor(Wnd, GA_PARENT) : nullptr;
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

// The window procedure and the creation hook reach the control's private side through here.
struct TWinControlAccess {
  static void Attach(TWinControl* Control, HWND Wnd) { Control->Attach(Wnd); }
  static LRESULT MainWndProc(TWinControl* Control, UINT Msg, WPARAM WParam, LPARAM LParam) {
    return Control->MainWndProc(Msg, WParam, LParam);
  }
};

namespace {

LRESULT CALLBACK ControlWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (auto* control = static_cast<TWinControl*>(GetPropW(Wnd, kControlProp)))
    return TWinControlAccess::MainWndProc(control, Msg, WParam, LParam);
  // The control let go while another procedure was subclassed on top: keep forwarding.
  auto defProc = reinterpret_cast<WNDPROC>(GetPropW(Wnd, kDefProcProp));
  LRESULT r = defProc ? CallWindowProcW(defProc, Wnd, Msg, WParam, LParam) : DefWindowProcW(Wnd, Msg, WParam, LParam);
  if (Msg == WM_NCDESTROY) RemovePropW(Wnd, kDefProcProp);
  return r;
}

LRESULT CALLBACK CreationHookProc(int Code, WPARAM WParam, LPARAM LParam) {
  if (Code == HCBT_CREATEWND && creatingControl)
    TWinControlAccess::Attach(std::exchange(creatingControl, nullptr), reinterpret_cast<HWND>(WParam));
  return CallNextHookEx(nullptr, Code, WParam, LParam);
}

}  // namespace

// ---- TControl ----

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
  LeaveOwner();
  SetParent(nullptr);
}

void TControl::LeaveOwner() {
  if (TComponent* owner = Owner()) owner->RemoveComponent(this);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  for (TWinControl* p = AParent; p; p = p->FParent)
    if (p == this) throw EInvalidOperation(L"A control cannot be placed inside itself");
  if (FParent) FParent->RemoveControl(this);
  FParent = AParent;
  if (AParent) AParent->InsertControl(this);
}

std::wstring TControl::Text() const {
  auto* self = const_cast<TControl*>(this);
  LRESULT length = self->Perform(WM_GETTEXTLENGTH);
  if (length <= 0) return {};
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = self->Perform(WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(static_cast<size_t>(std::clamp<LRESULT>(copied, 0, length)));
  return buffer;
}

void TControl::SetText(const std::wstring& Value) { Perform(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Value.c_str())); }

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage message{Msg, WParam, LParam, 0};
  Dispatch(message);
  return message.Result;
}

void TControl::Dispatch(TMessage& Message) {
  if (std::shared_ptr<const TWndMethod> proc = FWindowProc) (*proc)(Message);
  else WndProc(Message);
}

TWndMethod TControl::getWindowProc() const {
  if (FWindowProc) return *FWindowProc;
  auto* self = const_cast<TControl*>(this);
  return [self](TMessage& Message) { self->WndProc(Message); };
}

void TControl::setWindowProc(TWndMethod Value) {
  FWindowProc = Value ? std::make_shared<const TWndMethod>(std::move(Value)) : nullptr;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  FLeft = ALeft;
  FTop = ATop;
  FWidth = AWidth;
  FHeight = AHeight;
}

void TControl::SetVisible(bool Value) { FVisible = Value; }

TPoint TControl::ScreenToClient(TPoint Point) {
  if (!FParent) return Point;
  TPoint p = FParent->ScreenToClient(Point);
  return {p.X - FLeft, p.Y - FTop};
}

TPoint TControl::ClientToScreen(TPoint Point) {
  if (!FParent) return Point;
  return FParent->ClientToScreen({Point.X + FLeft, Point.Y + FTop});
}

void TControl::WndProc(TMessage& Message) {
  DefaultHandler(Message);
  switch (Message.Msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP:
      MouseMessage(Message);
      break;
    default:
      break;
  }
}

void TControl::DefaultHandler(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETTEXTLENGTH:
      Message.Result = static_cast<LRESULT>(FText.size());
      break;
    case WM_GETTEXT: {
      auto* buffer = reinterpret_cast<wchar_t*>(Message.LParam);
      if (!buffer || Message.WParam == 0) {
        Message.Result = 0;
        break;
      }
      size_t n = std::min(FText.size(), static_cast<size_t>(Message.WParam) - 1);
      std::copy_n(FText.data(), n, buffer);
      buffer[n] = L'\0';
      Message.Result = static_cast<LRESULT>(n);
      break;
    }
    case WM_SETTEXT:
      FText = Message.LParam ? reinterpret_cast<const wchar_t*>(Message.LParam) : L"";
      Message.Result = TRUE;
      break;
    default:
      break;
  }
}

void TControl::MouseMessage(const TMessage& Message) {
  const int x = GET_X_LPARAM(Message.LParam), y = GET_Y_LPARAM(Message.LParam);
  TShiftState shift = ShiftFromKeys(Message.WParam);
  switch (Message.Msg) {
    case WM_MOUSEMOVE:
      if (TMouseMoveEvent handler = FOnMouseMove) handler(this, shift, x, y);
      break;
    case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
      shift.Include(ssDouble);
      [[fallthrough]];
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
      if (TMouseEvent handler = FOnMouseDown) handler(this, ButtonOf(Message.Msg), shift, x, y);
      break;
    default:
      if (TMouseEvent handler = FOnMouseUp) handler(this, ButtonOf(Message.Msg), shift, x, y);
      break;
  }
}

// ---- TGraphicControl ----

TGraphicControl::~TGraphicControl() { Invalidate(); }

void TGraphicControl::Invalidate() {
  if (!FParent || !FParent->FHandle) return;
  RECT r{FLeft, FTop, FLeft + FWidth, FTop + FHeight};
  InvalidateRect(FParent->FHandle, &r, TRUE);
}

void TGraphicControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  Invalidate();
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  Invalidate();
}

void TGraphicControl::SetVisible(bool Value) {
  TControl::SetVisible(Value);
  Invalidate();
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) { FWidth = 185; FHeight = 41; }

TWinControl::TWinControl(TComponent* AOwner, HWND Wnd) : TControl(AOwner) {
  if (!Wnd || !IsWindow(Wnd) || GetWindowThreadProcessId(Wnd, nullptr) != GetCurrentThreadId())
    throw EInvalidOperation(L"Only a window of the calling thread can be wrapped");
  if (GetPropW(Wnd, kControlProp)) throw EInvalidOperation(L"The window already belongs to a control");
  FWrapped = true;
  Attach(Wnd);
}

TWinControl::~TWinControl() {
  Destroying();
  LeaveOwner();
  while (!FControls.empty()) delete FControls.back();  // each takes itself out of the list
  if (FHandle && !FWrapped) DestroyWindow(FHandle);    // WM_NCDESTROY lets go of the window
  Detach();
}

TControl* TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount()) throw EListError(Format(L"List index out of bounds (%d)", Index));
  return FControls[static_cast<size_t>(Index)];
}

void TWinControl::InsertControl(TControl* AControl) { FControls.push_back(AControl); }

void TWinControl::RemoveControl(TControl* AControl) {
  auto it = std::find(FControls.begin(), FControls.end(), AControl);
  if (it != FControls.end()) FControls.erase(it);
}

HWND TWinControl::Handle() {
  HandleNeeded();
  return FHandle;
}

void TWinControl::HandleNeeded() {
  if (FHandle || FWrapped) return;
  if (FParent) FParent->HandleNeeded();  // a parent creates the windows of its children too
  if (!FHandle) CreateHandle();
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params.WinClassName = kFrameworkClass;
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | (FVisible ? WS_VISIBLE : 0);
  Params.ExStyle = 0;
  Params.X = FLeft;
  Params.Y = FTop;
  Params.Width = FWidth;
  Params.Height = FHeight;
  Params.WndParent = FParent ? FParent->FHandle : nullptr;
}

void TWinControl::CreateHandle() {
  TCreateParams params;
  CreateParams(params);
  FOwnClass = params.WinClassName == kFrameworkClass;
  if (FOwnClass) RegisterFrameworkClass();
  if (!params.WndParent && (params.Style & WS_CHILD)) params.WndParent = ParkingWindow();
  HWND wnd;
  {
    TCreationScope scope(this);
    wnd = CreateWindowExW(params.ExStyle, params.WinClassName.c_str(), FText.c_str(), params.Style, params.X,
                          params.Y, params.Width, params.Height, params.WndParent, nullptr, ModuleInstance(), nullptr);
  }
  if (!wnd)
    throw EOSError(Format(L"Error creating window of class %s (%u)", params.WinClassName,
                          static_cast<unsigned>(GetLastError())));
  if (!FHandle) Attach(wnd);  // another CBT hook kept ours from seeing the creation
  InitializeWindow();
  const std::vector<TControl*> children = FControls;
  for (TControl* c : children)
    if (auto* w = dynamic_cast<TWinControl*>(c); w && !w->FHandle && !w->FWrapped) w->CreateHandle();
}

void TWinControl::InitializeWindow() {
  Send(WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  // Some classes ignore the creation text; they get it now.
  if (!FText.empty() && Send(WM_GETTEXTLENGTH) == 0) Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(FText.c_str()));
  FText.clear();
  FText.shrink_to_fit();
}

void TWinControl::SaveWindowState() {
  RECT r = BoundsInParent(FHandle);
  FVisible = Visible();
  std::wstring text = Text();
  FLeft = r.left;
  FTop = r.top;
  FWidth = r.right - r.left;
  FHeight = r.bottom - r.top;
  FText = std::move(text);
}

void TWinControl::Attach(HWND Wnd) {
  FHandle = Wnd;
  FDefWndProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(Wnd, GWLP_WNDPROC));
  SetPropW(Wnd, kDefProcProp, reinterpret_cast<HANDLE>(FDefWndProc));
  SetPropW(Wnd, kControlProp, this);
  SetWindowLongPtrW(Wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWindowProc));
}

void TWinControl::Detach() {
  HWND wnd = std::exchange(FHandle, nullptr);
  if (!wnd) return;
  if (GetPropW(wnd, kControlProp) == this) RemovePropW(wnd, kControlProp);
  if (GetWindowLongPtrW(wnd, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&ControlWindowProc)) {
    SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FDefWndProc));
    RemovePropW(wnd, kDefProcProp);
  }
  FDefWndProc = nullptr;
}

LRESULT TWinControl::MainWndProc(UINT Msg, WPARAM WParam, LPARAM LParam) noexcept {
  TMessage message{Msg, WParam, LParam, 0};
  try {
    Dispatch(message);
  } catch (...) {
    try {
      Application->HandleException(this);
    } catch (...) {
    }
  }
  if (Msg == WM_NCDESTROY) Detach();
  return message.Result;
}

void TWinControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_DESTROY:
      // The window is going while the control stays: keep what it holds for the next window.
      if (!FWrapped && !ComponentState().Contains(csDestroying)) SaveWindowState();
      break;
    case WM_PAINT:
      if (FOwnClass && FHandle) {
        PaintFrameworkWindow();
        Message.Result = 0;
        return;
      }
      break;
    default:
      break;
  }
  TControl::WndProc(Message);
}

void TWinControl::DefaultHandler(TMessage& Message) {
  if (!FHandle) {
    TControl::DefaultHandler(Message);
    return;
  }
  Message.Result = CallWindowProcW(FDefWndProc, FHandle, Message.Msg, Message.WParam, Message.LParam);
}

void TWinControl::PaintFrameworkWindow() {
  TPaintScope paint(FHandle);
  HDC dc = paint.DC();
  PaintWindow(dc);
  for (TControl* c : FControls) {
    auto* g = dynamic_cast<TGraphicControl*>(c);
    if (!g || !g->FVisible) continue;
    int saved = SaveDC(dc);
    IntersectClipRect(dc, g->FLeft, g->FTop, g->FLeft + g->FWidth, g->FTop + g->FHeight);
    SetViewportOrgEx(dc, g->FLeft, g->FTop, nullptr);
    g->Paint(dc);
    RestoreDC(dc, saved);
  }
}

LRESULT TWinControl::Send(UINT Msg, WPARAM WParam, LPARAM LParam) const {
  return FHandle ? SendMessageW(FHandle, Msg, WParam, LParam) : 0;
}

void TWinControl::RecreateWnd() {
  if (!FHandle || FWrapped) return;
  DestroyHandle();
  HandleNeeded();
}

void TWinControl::DestroyHandle() {
  if (FHandle && !FWrapped) DestroyWindow(FHandle);
}

int TWinControl::Left() const { return FHandle ? BoundsInParent(FHandle).left : FLeft; }
int TWinControl::Top() const { return FHandle ? BoundsInParent(FHandle).top : FTop; }

int TWinControl::Width() const {
  if (!FHandle) return FWidth;
  RECT r = BoundsInParent(FHandle);
  return r.right - r.left;
}

int TWinControl::Height() const {
  if (!FHandle) return FHeight;
  RECT r = BoundsInParent(FHandle);
  return r.bottom - r.top;
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  if (FHandle) SetWindowPos(FHandle, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  else TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

bool TWinControl::Visible() const {
  return FHandle ? (GetWindowLongPtrW(FHandle, GWL_STYLE) & WS_VISIBLE) != 0 : FVisible;
}

void TWinControl::SetVisible(bool Value) {
  if (FHandle) {
    ShowWindow(FHandle, Value ? SW_SHOW : SW_HIDE);
    return;
  }
  FVisible = Value;
  if (Value && FParent && FParent->FHandle) HandleNeeded();
}

void TWinControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  TControl::SetParent(AParent);
  if (FHandle) {
    if (AParent) ::SetParent(FHandle, AParent->Handle());
    else if (!FWrapped) ::SetParent(FHandle, ParkingWindow());
  } else if (AParent && AParent->FHandle && !FWrapped) {
    HandleNeeded();
  }
}

TPoint TWinControl::ScreenToClient(TPoint Point) {
  POINT p{Point.X, Point.Y};
  if (HWND wnd = Handle()) ::ScreenToClient(wnd, &p);
  return {p.x, p.y};
}

TPoint TWinControl::ClientToScreen(TPoint Point) {
  POINT p{Point.X, Point.Y};
  if (HWND wnd = Handle()) ::ClientToScreen(wnd, &p);
  return {p.x, p.y};
}

void TWinControl::SetFocus() {
  if (HWND wnd = Handle()) ::SetFocus(wnd);
}

bool TWinControl::Focused() const { return FHandle && GetFocus() == FHandle; }

}  // namespace vcl
