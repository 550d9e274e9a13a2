#pragma once
// Controls: TControl (anything placed on a form) and TWinControl (a control that is a real Win32
// window). Everything here runs on the user-interface thread that creates the windows.
//
// Message routing. Every message a windowed control's window receives, and every Perform, goes to
// the control's WindowProc first. WindowProc starts as the control's own WndProc, whose default
// passes the message on to the window class's procedure. A party that wants to see the messages
// first (a drop target binding an acceptor) saves the current WindowProc with getWindowProc,
// installs its own with setWindowProc, passes every message on to the saved one, and later puts the
// saved one back:
//     TWndMethod saved = control->getWindowProc();
//     control->setWindowProc([this, saved](TMessage& m) { /* look first */ saved(m); });
//     ...
//     control->setWindowProc(saved);
// The window is subclassed from its very first message (WM_NCCREATE) to its last (WM_NCDESTROY),
// so WM_DESTROY also travels through WindowProc. A handler may replace WindowProc while it runs.
// An exception leaving WindowProc for a message the system delivered stops at the window procedure
// and goes to Application->HandleException; Perform, a plain call, lets it reach its caller. A
// control must not be destroyed from inside one of its own messages.
//
// State. A control keeps no copy of what its window holds: reads go to the window each time. Values
// that must exist before the window does (caption, bounds, visibility, items of list boxes and
// combo boxes, lines of memos) are kept only until the window is created and are taken back from
// the window when it is destroyed, so a recreated window looks the same. Reading never creates a
// window; writing selection or items of list and tree views does.
#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Types.h"

namespace vcl {

// A window message as WindowProc sees it; Result is what the window procedure returns.
struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// A per-control message handler (see the routing note above).
using TWndMethod = std::function<void(TMessage& Message)>;

enum TShiftStateItem : std::uint8_t { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

class TWinControl;

class KX_API TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  // Takes the control out of its owner first (BeginDestruction), so that the owner's other
  // components hear of the removal (Notification, opRemove) while the control, and its window,
  // still exist.
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  // Moves the control into AParent (nil takes it out). A windowed control whose new parent has a
  // window gets its own window at once, as a shown form shows its controls.
  virtual void SetParent(TWinControl* AParent);

  // The caption (WM_GETTEXT / WM_SETTEXT through Perform).
  std::wstring Text() const;
  void SetText(const std::wstring& Value);
  std::wstring Caption() const { return Text(); }
  void SetCaption(const std::wstring& Value) { SetText(Value); }

  // Hands Msg to WindowProc (not through the message queue) and returns the message's Result.
  LRESULT Perform(UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0);

  // The message handler that sees every message first; see the note at the top of this header.
  // setWindowProc with an empty function puts the control's own WndProc back.
  TWndMethod getWindowProc() const;
  void setWindowProc(TWndMethod Value);

  // Position relative to the parent's client area (to the screen for a top-level form).
  virtual int Left() const { return FLeft; }
  virtual int Top() const { return FTop; }
  virtual int Width() const { return FWidth; }
  virtual int Height() const { return FHeight; }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  void SetLeft(int Value) { SetBounds(Value, Top(), Width(), Height()); }
  void SetTop(int Value) { SetBounds(Left(), Value, Width(), Height()); }
  void SetWidth(int Value) { SetBounds(Left(), Top(), Value, Height()); }
  void SetHeight(int Value) { SetBounds(Left(), Top(), Width(), Value); }
  TRect BoundsRect() const { return {Left(), Top(), Left() + Width(), Top() + Height()}; }

  virtual bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }

  // Screen <-> client coordinates of this control.
  virtual TPoint ScreenToClient(TPoint Point);
  virtual TPoint ClientToScreen(TPoint Point);

  // Mouse events, raised after the window's own handling of the button or move message (so a
  // list box has already moved its selection when OnMouseDown runs). Tree and list views track the
  // mouse inside their own button-down handling; their OnMouseDown comes after that tracking.
  const TMouseEvent& OnMouseDown() const { return FOnMouseDown; }
  void SetOnMouseDown(TMouseEvent Value) { FOnMouseDown = std::move(Value); }
  const TMouseEvent& OnMouseUp() const { return FOnMouseUp; }
  void SetOnMouseUp(TMouseEvent Value) { FOnMouseUp = std::move(Value); }
  const TMouseMoveEvent& OnMouseMove() const { return FOnMouseMove; }
  void SetOnMouseMove(TMouseMoveEvent Value) { FOnMouseMove = std::move(Value); }

 protected:
  // The control's own message handling; the end of every WindowProc chain.
  virtual void WndProc(TMessage& Message);
  // What happens to a message nobody handled. A control without a window answers the text
  // messages from its pending caption.
  virtual void DefaultHandler(TMessage& Message);
  // Runs WindowProc for Message (kept alive for the call, even if a handler replaces it).
  void Dispatch(TMessage& Message);
  // The first step of destroying a control: marks it csDestroying and takes it out of its owner,
  // whose other components are notified (opRemove). A class that adds state calls it first in its
  // destructor, so that those components see the control whole; later calls do nothing.
  void BeginDestruction();

  std::wstring FText;  // the caption while there is no window
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;
  TWinControl* FParent = nullptr;

 private:
  friend class TWinControl;
  void MouseMessage(const TMessage& Message);

  std::shared_ptr<const TWndMethod> FWindowProc;
  TMouseEvent FOnMouseDown, FOnMouseUp;
  TMouseMoveEvent FOnMouseMove;
};

// A control without a window of its own; it paints on its parent's window.
class KX_API TGraphicControl : public TControl {
 public:
  using TControl::TControl;
  ~TGraphicControl() override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetVisible(bool Value) override;
  // Asks the parent to repaint the control's area.
  void Invalidate();

 protected:
  friend class TWinControl;
  // Paints the control; Canvas's origin is the control's top-left corner and its clip region the
  // control's bounds.
  virtual void Paint(HDC /*Canvas*/) {}
};

// What CreateWindowExW gets; a control's CreateParams fills it.
struct TCreateParams {
  std::wstring WinClassName;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
};

class KX_API TWinControl : public TControl {
 public:
  // A control whose window is created on the first read of Handle.
  explicit TWinControl(TComponent* AOwner);
  // A control over a window the application created itself (it must belong to the calling
  // thread; EInvalidOperation otherwise, or when another control already wraps it). The control
  // subclasses the window at once; it never destroys it and un-subclasses it when the control is
  // destroyed. Parent stays nil: the window keeps its own parent.
  TWinControl(TComponent* AOwner, HWND Wnd);
  // Destruction, in this order: the owner's other components are notified of the removal; the
  // controls placed in this one are destroyed (each notifying in the same way), as a parent frees
  // its controls; then the window is destroyed (WM_DESTROY passes through WindowProc) or, for a
  // wrapped window, un-subclassed. Controls placed in another must therefore be made with new.
  ~TWinControl() override;

  // The window, created on first read: the parent's window first, then this one (a control without
  // a parent is created inside a hidden parking window). Raises EOSError when the window cannot be
  // created. A wrapped control whose window has been destroyed answers nullptr.
  HWND Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  // Creates the window if it does not exist yet.
  void HandleNeeded();
  // True for a control made over an application's own window.
  bool Wrapped() const { return FWrapped; }
  // Destroys the window and creates a new one with the same state (WM_DESTROY passes through
  // WindowProc). List boxes, combo boxes, edits and memos keep their items and text; tree and list
  // views come back empty. Does nothing for a wrapped control or one without a window.
  void RecreateWnd();
  // Destroys the window if there is one (not for a wrapped control); the next Handle creates anew.
  void DestroyHandle();

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const;

  int Left() const override;
  int Top() const override;
  int Width() const override;
  int Height() const override;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  bool Visible() const override;
  void SetVisible(bool Value) override;
  void SetParent(TWinControl* AParent) override;
  TPoint ScreenToClient(TPoint Point) override;
  TPoint ClientToScreen(TPoint Point) override;
  void SetFocus();
  bool Focused() const;

 protected:
  friend class TControl;
  friend class TGraphicControl;
  friend struct TWinControlAccess;

  void WndProc(TMessage& Message) override;
  // Passes the message to the window class's procedure (when there is a window).
  void DefaultHandler(TMessage& Message) override;
  // The window to create. The default is a plain child window of the framework's own class.
  virtual void CreateParams(TCreateParams& Params);
  // Called once the new window exists: pushes the pending state into it.
  virtual void InitializeWindow();
  // Called while an owned window is being destroyed (WM_DESTROY): takes the state back from it.
  virtual void SaveWindowState();
  // Paints a window of the framework's own class (forms, panels); graphic child controls are
  // painted after it.
  virtual void PaintWindow(HDC /*DC*/) {}
  // Sends a message straight to the window; 0 when there is none (reads never create it).
  LRESULT Send(UINT Msg, WPARAM WParam = 0, LPARAM LParam = 0) const;

  HWND FHandle = nullptr;

 private:
  void CreateHandle();
  void Attach(HWND Wnd);
  void Detach();
  LRESULT MainWndProc(UINT Msg, WPARAM WParam, LPARAM LParam) noexcept;
  void PaintFrameworkWindow();
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);

  WNDPROC FDefWndProc = nullptr;
  bool FWrapped = false;
  bool FOwnClass = false;
  std::vector<TControl*> FControls;
};

}  // namespace vcl
