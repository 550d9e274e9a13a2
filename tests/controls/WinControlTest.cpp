// TControl / TWinControl on real windows: creation on demand, message routing through WindowProc,
// wrapping an application's own window, destruction and re-creation.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "support/TestSupport.h"

using namespace vcl;

namespace {

using kxtest::ClassOf;
using kxtest::WindowText;

bool Contains(const std::vector<UINT>& seen, UINT msg) { return std::find(seen.begin(), seen.end(), msg) != seen.end(); }

// Records every message a control's WindowProc sees, passing each on to the handler it replaced.
struct TMessageLog {
  std::vector<UINT> seen;
  void Hook(TControl& control) {
    TWndMethod previous = control.getWindowProc();
    control.setWindowProc([this, previous](TMessage& m) {
      seen.push_back(m.Msg);
      previous(m);
    });
  }
};

}  // namespace

TEST(WinControl, HandleIsCreatedOnFirstReadParentsFirst) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  auto* panel = new TPanel(&owner);
  auto* list = new TListBox(&owner);
  panel->SetParent(form);
  list->SetParent(panel);
  EXPECT_FALSE(form->HandleAllocated());
  EXPECT_FALSE(list->HandleAllocated());

  HWND wnd = list->Handle();
  ASSERT_TRUE(IsWindow(wnd));
  EXPECT_EQ(ClassOf(wnd), L"ListBox");
  EXPECT_EQ(GetParent(wnd), panel->Handle());
  EXPECT_EQ(GetParent(panel->Handle()), form->Handle());
  EXPECT_EQ(GetAncestor(form->Handle(), GA_PARENT), GetDesktopWindow());  // a form is top-level
  EXPECT_EQ(list->Handle(), wnd);                                           // created once
}

TEST(WinControl, ParentWindowCreatesItsChildrenAndReparentingMovesWindows) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  auto* edit = new TEdit(&owner);
  edit->SetParent(form);
  form->HandleNeeded();
  ASSERT_TRUE(edit->HandleAllocated());
  EXPECT_EQ(GetParent(edit->Handle()), form->Handle());

  // Without a parent a control lives in a hidden parking window, and comes back when placed.
  auto* loose = new TEdit(&owner);
  HWND looseWnd = loose->Handle();
  HWND parking = GetParent(looseWnd);
  ASSERT_NE(parking, nullptr);
  EXPECT_FALSE(IsWindowVisible(parking));
  loose->SetParent(form);
  EXPECT_EQ(loose->Handle(), looseWnd);
  EXPECT_EQ(GetParent(looseWnd), form->Handle());
  loose->SetParent(nullptr);
  EXPECT_EQ(GetParent(looseWnd), parking);
}

TEST(WinControl, PendingValuesMoveIntoTheWindowAndAreReadFromItAfterwards) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  auto* edit = new TEdit(&owner);
  edit->SetParent(form);
  edit->SetText(L"before");
  edit->SetBounds(12, 34, 150, 24);
  edit->SetVisible(false);
  EXPECT_FALSE(edit->HandleAllocated());
  EXPECT_EQ(edit->Text(), L"before");

  HWND wnd = edit->Handle();
  EXPECT_EQ(WindowText(wnd), L"before");
  EXPECT_FALSE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_VISIBLE);
  RECT r;
  GetWindowRect(wnd, &r);
  MapWindowPoints(HWND_DESKTOP, form->Handle(), reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 12);
  EXPECT_EQ(r.top, 34);
  EXPECT_EQ(r.right - r.left, 150);

  // The window holds the values now: changes made behind the control's back are what it reads.
  SetWindowTextW(wnd, L"changed");
  MoveWindow(wnd, 5, 6, 70, 20, FALSE);
  ShowWindow(wnd, SW_SHOW);
  EXPECT_EQ(edit->Text(), L"changed");
  EXPECT_EQ(edit->Left(), 5);
  EXPECT_EQ(edit->Top(), 6);
  EXPECT_EQ(edit->Width(), 70);
  EXPECT_EQ(edit->Height(), 20);
  EXPECT_TRUE(edit->Visible());
}

TEST(WinControl, WindowProcSeesEveryMessageFromCreationToDestruction) {
  TComponent owner(nullptr);
  auto* edit = new TEdit(&owner);
  TMessageLog log;
  log.Hook(*edit);

  HWND wnd = edit->Handle();
  EXPECT_TRUE(Contains(log.seen, WM_NCCREATE));
  EXPECT_TRUE(Contains(log.seen, WM_CREATE));
  EXPECT_EQ(log.seen.front(), UINT(WM_NCCREATE));  // nothing before it slipped past

  SendMessageW(wnd, WM_APP + 7, 1, 2);
  EXPECT_EQ(log.seen.back(), UINT(WM_APP + 7));
  PostMessageW(wnd, WM_APP + 8, 0, 0);
  kxtest::PumpMessages(0);
  EXPECT_EQ(log.seen.back(), UINT(WM_APP + 8));
  EXPECT_EQ(edit->Perform(WM_APP + 9), 0);
  EXPECT_EQ(log.seen.back(), UINT(WM_APP + 9));

  delete edit;
  EXPECT_FALSE(IsWindow(wnd));
  EXPECT_TRUE(Contains(log.seen, WM_DESTROY));
  EXPECT_EQ(log.seen.back(), UINT(WM_NCDESTROY));
}

TEST(WinControl, ReplacedWindowProcDecidesAndSavedOneRestoresTheDefault) {
  TComponent owner(nullptr);
  auto* edit = new TEdit(&owner);
  HWND wnd = edit->Handle();
  SetWindowTextW(wnd, L"kept");

  TWndMethod saved = edit->getWindowProc();
  int swallowed = 0;
  edit->setWindowProc([&](TMessage& m) {
    if (m.Msg == WM_SETTEXT) {  // consumed: the window never sees it
      ++swallowed;
      m.Result = TRUE;
      return;
    }
    if (m.Msg == WM_APP) {
      m.Result = 42;
      return;
    }
    saved(m);
  });
  SetWindowTextW(wnd, L"lost");
  EXPECT_EQ(swallowed, 1);
  EXPECT_EQ(WindowText(wnd), L"kept");
  EXPECT_EQ(edit->Perform(WM_APP), 42);
  EXPECT_EQ(SendMessageW(wnd, WM_APP, 0, 0), 42);

  edit->setWindowProc(saved);
  SetWindowTextW(wnd, L"back");
  EXPECT_EQ(swallowed, 1);
  EXPECT_EQ(WindowText(wnd), L"back");
  EXPECT_EQ(edit->Text(), L"back");

  // An empty handler also means the control's own.
  edit->setWindowProc(nullptr);
  edit->SetText(L"own");
  EXPECT_EQ(WindowText(wnd), L"own");
}

TEST(WinControl, HooksStackAndAnyOfThemCanRestoreTheOriginal) {
  TComponent owner(nullptr);
  auto* list = new TListBox(&owner);
  HWND wnd = list->Handle();
  TWndMethod original = list->getWindowProc();
  TMessageLog first, second;
  first.Hook(*list);
  second.Hook(*list);

  SendMessageW(wnd, WM_APP + 1, 0, 0);
  EXPECT_TRUE(Contains(first.seen, WM_APP + 1));
  EXPECT_TRUE(Contains(second.seen, WM_APP + 1));

  // The first hook goes away with the original, dropping the second as well.
  list->setWindowProc(original);
  SendMessageW(wnd, WM_APP + 2, 0, 0);
  EXPECT_FALSE(Contains(first.seen, WM_APP + 2));
  EXPECT_FALSE(Contains(second.seen, WM_APP + 2));
  EXPECT_EQ(list->Items().Add(L"still works"), 0);
  EXPECT_EQ(SendMessageW(wnd, LB_GETCOUNT, 0, 0), 1);
}

TEST(WinControl, ReplacingTheHandlerFromInsideItselfIsSafe) {
  TComponent owner(nullptr);
  auto* edit = new TEdit(&owner);
  HWND wnd = edit->Handle();
  TWndMethod saved = edit->getWindowProc();
  int calls = 0;
  edit->setWindowProc([&, saved](TMessage& m) {
    ++calls;
    edit->setWindowProc(saved);  // unhooks while running
    saved(m);
  });
  SetWindowTextW(wnd, L"once");
  SetWindowTextW(wnd, L"twice");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(WindowText(wnd), L"twice");
}

TEST(WinControl, ExceptionInAHandlerStopsAtTheWindowProcedure) {
  TComponent owner(nullptr);
  auto* edit = new TEdit(&owner);
  HWND wnd = edit->Handle();
  TWndMethod saved = edit->getWindowProc();
  edit->setWindowProc([saved](TMessage& m) {
    if (m.Msg == WM_APP) throw std::runtime_error("handler failed");
    saved(m);
  });
  TObject* sender = nullptr;
  std::string what;
  TExceptionEvent previous = Application->OnException();
  Application->SetOnException([&](TObject* s, std::exception_ptr e) {
    sender = s;
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      what = x.what();
    }
  });
  EXPECT_EQ(SendMessageW(wnd, WM_APP, 0, 0), 0);
  Application->SetOnException(previous);
  EXPECT_EQ(sender, edit);
  EXPECT_EQ(what, "handler failed");
  // Perform is a plain call: the exception reaches its caller.
  EXPECT_THROW(edit->Perform(WM_APP), std::runtime_error);
}

TEST(WinControl, WrapsAnApplicationWindowAndGivesItBackUnchanged) {
  HWND host = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
  HWND raw = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | LBS_NOTIFY, 0, 0, 100, 100, host, nullptr, nullptr, nullptr);
  ASSERT_TRUE(raw);
  const LONG_PTR classProc = GetWindowLongPtrW(raw, GWLP_WNDPROC);
  SendMessageW(raw, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"alpha"));
  SendMessageW(raw, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"beta"));
  SendMessageW(raw, LB_SETCURSEL, 1, 0);
  {
    TComponent owner(nullptr);
    auto* list = new TListBox(&owner, raw);
    EXPECT_TRUE(list->Wrapped());
    EXPECT_EQ(list->Handle(), raw);
    EXPECT_EQ(list->Parent(), nullptr);
    EXPECT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Items()[0], L"alpha");
    EXPECT_EQ(list->ItemIndex(), 1);
    TMessageLog log;
    log.Hook(*list);
    SendMessageW(raw, LB_GETCOUNT, 0, 0);
    EXPECT_TRUE(Contains(log.seen, LB_GETCOUNT));
    // A second control cannot take the same window.
    EXPECT_THROW(TListBox(nullptr, raw), EInvalidOperation);
  }
  EXPECT_TRUE(IsWindow(raw));
  EXPECT_EQ(GetWindowLongPtrW(raw, GWLP_WNDPROC), classProc);
  EXPECT_EQ(SendMessageW(raw, LB_GETCOUNT, 0, 0), 2);
  TListBox again(nullptr, raw);  // free to be wrapped again
  EXPECT_EQ(again.Count(), 2);
  DestroyWindow(host);
  EXPECT_FALSE(again.HandleAllocated());
}

TEST(WinControl, WrappedWindowDestroyedByItsApplication) {
  HWND raw = CreateWindowExW(0, L"EDIT", L"x", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
  TComponent owner(nullptr);
  auto* edit = new TEdit(&owner, raw);
  TMessageLog log;
  log.Hook(*edit);
  DestroyWindow(raw);
  EXPECT_TRUE(Contains(log.seen, WM_DESTROY));
  EXPECT_FALSE(edit->HandleAllocated());
  EXPECT_EQ(edit->Handle(), nullptr);  // nothing to create for a window the control never made
  EXPECT_EQ(edit->SelText(), L"");
  delete edit;
}

TEST(WinControl, OnlyWindowsOfTheCallingThreadCanBeWrapped) {
  std::atomic<HWND> foreign{nullptr};
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread other([&] {
    foreign = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    WaitForSingleObject(release, 10000);
    DestroyWindow(foreign);
  });
  while (!foreign) Sleep(1);
  EXPECT_THROW(TEdit(nullptr, foreign.load()), EInvalidOperation);
  EXPECT_THROW(TEdit(nullptr, static_cast<HWND>(nullptr)), EInvalidOperation);
  SetEvent(release);
  other.join();
  CloseHandle(release);
}

TEST(WinControl, ExternalDestructionKeepsTheStateForTheNextWindow) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  auto* list = new TListBox(&owner);
  list->SetParent(form);
  list->Items().Add(L"one");
  list->Items().Add(L"two");
  list->SetBounds(3, 4, 90, 80);
  list->SetItemIndex(1);
  HWND first = list->Handle();

  DestroyWindow(first);
  EXPECT_FALSE(list->HandleAllocated());
  EXPECT_EQ(list->Count(), 2);  // kept while there is no window
  EXPECT_EQ(list->Left(), 3);

  HWND second = list->Handle();
  EXPECT_NE(second, first);
  EXPECT_EQ(SendMessageW(second, LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(second, LB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(list->Width(), 90);
}

TEST(WinControl, RecreateWndRoutesDestroyThroughWindowProcAndKeepsItems) {
  TMessageLog log;  // outlives the control, which it hears until the end
  TComponent owner(nullptr);
  auto* list = new TListBox(&owner);
  list->Items().Add(L"a");
  list->Items().Add(L"b");
  list->SetText(L"caption");
  HWND first = list->Handle();
  log.Hook(*list);
  list->RecreateWnd();
  HWND second = list->Handle();
  EXPECT_FALSE(IsWindow(first));
  EXPECT_NE(second, first);
  EXPECT_TRUE(Contains(log.seen, WM_DESTROY));
  EXPECT_TRUE(Contains(log.seen, WM_CREATE));  // the hook stays on the control
  EXPECT_EQ(SendMessageW(second, LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(list->Items()[1], L"b");
}

TEST(WinControl, DestroyingAParentDestroysTheControlsPlacedInIt) {
  TComponent owner(nullptr);
  auto* panel = new TPanel(&owner);
  auto* edit = new TEdit(&owner);
  auto* keep = new TEdit(&owner);
  edit->SetParent(panel);
  HWND editWnd = edit->Handle();
  delete panel;
  EXPECT_FALSE(IsWindow(editWnd));
  ASSERT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), keep);
}

namespace {

// Unhooks its control when told the control is going, as a drop target unbinds its acceptor.
class TUnhooker : public TComponent {
 public:
  using TComponent::TComponent;
  TWinControl* control = nullptr;
  TWndMethod saved;
  bool windowAlive = false;
  int itemsSeen = -1;
  std::vector<UINT> seen;

  void Hook(TWinControl* c) {
    control = c;
    saved = c->getWindowProc();
    c->setWindowProc([this](TMessage& m) {
      seen.push_back(m.Msg);
      saved(m);
    });
  }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove || AComponent != control) return;
    windowAlive = control->HandleAllocated() && IsWindow(control->Handle());
    if (auto* list = dynamic_cast<TCustomListBox*>(control)) itemsSeen = list->Count();
    control->setWindowProc(saved);
    control = nullptr;
  }
};

}  // namespace

TEST(WinControl, OwnerIsToldOfARemovalWhileTheControlAndItsWindowStillExist) {
  for (bool viaParent : {false, true}) {
    SCOPED_TRACE(viaParent ? "destroyed with its parent" : "destroyed alone");
    TComponent owner(nullptr);
    auto* unhooker = new TUnhooker(&owner);
    auto* form = new TForm(&owner);
    auto* list = new TListBox(&owner);
    list->SetParent(form);
    list->Items().Add(L"item");
    unhooker->Hook(list);
    list->HandleNeeded();
    if (viaParent) delete form;
    else delete list;
    EXPECT_EQ(unhooker->control, nullptr);
    EXPECT_TRUE(unhooker->windowAlive);
    EXPECT_EQ(unhooker->itemsSeen, 1);  // the control is still whole
    EXPECT_FALSE(Contains(unhooker->seen, WM_DESTROY));  // unhooked before the window went
  }
}

TEST(WinControl, ControlsListFollowsParent) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  auto* a = new TButton(&owner);
  auto* b = new TButton(&owner);
  a->SetParent(form);
  b->SetParent(form);
  EXPECT_EQ(form->ControlCount(), 2);
  EXPECT_EQ(form->Controls(1), b);
  delete a;
  EXPECT_EQ(form->ControlCount(), 1);
  EXPECT_EQ(form->Controls(0), b);
  EXPECT_THROW(form->Controls(1), EListError);
  EXPECT_THROW(form->SetParent(form), EInvalidOperation);
}

TEST(WinControl, CoordinatesAgreeWithTheWindow) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  form->SetBounds(200, 150, 300, 200);
  auto* panel = new TPanel(&owner);
  panel->SetParent(form);
  panel->SetBounds(10, 20, 100, 50);
  POINT expected{7, 9};
  ClientToScreen(panel->Handle(), &expected);
  TPoint screen = panel->ClientToScreen({7, 9});
  EXPECT_EQ(screen.X, expected.x);
  EXPECT_EQ(screen.Y, expected.y);
  TPoint back = panel->ScreenToClient(screen);
  EXPECT_EQ(back.X, 7);
  EXPECT_EQ(back.Y, 9);
  EXPECT_EQ(form->Left(), 200);
  EXPECT_EQ(panel->Top(), 20);
}

TEST(WinControl, MouseDownComesAfterTheControlMovedItsSelection) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  auto* list = new TListBox(&owner);
  list->SetParent(form);
  for (const wchar_t* s : {L"a", L"b", L"c"}) list->Items().Add(s);
  HWND wnd = list->Handle();
  RECT item;
  SendMessageW(wnd, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));
  int indexSeen = -2, x = -1, y = -1;
  TMouseButton button = mbRight;
  TShiftState shift;
  list->SetOnMouseDown([&](TObject* sender, TMouseButton b, TShiftState s, int X, int Y) {
    EXPECT_EQ(sender, list);
    indexSeen = list->ItemIndex();
    button = b;
    shift = s;
    x = X;
    y = Y;
  });
  int ups = 0;
  list->SetOnMouseUp([&](TObject*, TMouseButton b, TShiftState, int, int) { ups += b == mbLeft; });
  SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(item.left + 2, item.top + 1));
  SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(item.left + 2, item.top + 1));
  EXPECT_EQ(indexSeen, 2);
  EXPECT_EQ(button, mbLeft);
  EXPECT_TRUE(shift.Contains(ssLeft));
  EXPECT_TRUE(shift.Contains(ssShift));
  EXPECT_EQ(x, item.left + 2);
  EXPECT_EQ(y, item.top + 1);
  EXPECT_EQ(ups, 1);
}

namespace {

class TRedBox : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
  int paints = 0;

 protected:
  void Paint(HDC dc) override {
    ++paints;
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT all{0, 0, 1000, 1000};  // the clip keeps it inside the control
    FillRect(dc, &all, red);
    DeleteObject(red);
  }
};

}  // namespace

TEST(WinControl, GraphicControlsPaintOnTheirParent) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  form->SetBounds(50, 50, 200, 150);
  auto* box = new TRedBox(&owner);
  box->SetParent(form);
  box->SetBounds(10, 10, 20, 20);
  form->Show();
  UpdateWindow(form->Handle());
  EXPECT_GT(box->paints, 0);
  HDC dc = GetDC(form->Handle());
  EXPECT_EQ(GetPixel(dc, 15, 15), RGB(255, 0, 0));
  EXPECT_NE(GetPixel(dc, 40, 40), RGB(255, 0, 0));
  ReleaseDC(form->Handle(), dc);
  form->Hide();
}
