// Forms, the application's message pump and message dialogs.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "support/TestSupport.h"

using namespace vcl;

TEST(Form, TopLevelWindowHiddenUntilShownAndHiddenOnClose) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  form->SetCaption(L"Kestrix form");
  form->SetBounds(120, 110, 320, 240);
  HWND wnd = form->Handle();
  EXPECT_FALSE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_CHILD);
  EXPECT_EQ(GetAncestor(wnd, GA_PARENT), GetDesktopWindow());
  wchar_t caption[64] = {};
  GetWindowTextW(wnd, caption, 64);
  EXPECT_STREQ(caption, L"Kestrix form");
  EXPECT_FALSE(IsWindowVisible(wnd));

  form->Show();
  EXPECT_TRUE(IsWindowVisible(wnd));
  EXPECT_TRUE(form->Visible());
  // The system's close command hides the form; its window stays.
  SendMessageW(wnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(wnd));
  EXPECT_FALSE(IsWindowVisible(wnd));
  form->Show();
  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_FALSE(Application->Terminated());  // not the main form
}

TEST(Form, ShowCreatesTheFormWithItsControls) {
  TComponent owner(nullptr);
  auto* form = new TForm(&owner);
  auto* button = new TButton(&owner);
  button->SetParent(form);
  button->SetCaption(L"OK");
  form->Show();
  ASSERT_TRUE(button->HandleAllocated());
  EXPECT_TRUE(IsWindowVisible(button->Handle()));
  form->Hide();
}

TEST(Application, ProcessMessagesDispatchesWhatIsWaiting) {
  TComponent owner(nullptr);
  auto* edit = new TEdit(&owner);
  int seen = 0;
  TWndMethod previous = edit->getWindowProc();
  edit->setWindowProc([&](TMessage& m) {
    seen += m.Msg == WM_APP + 3;
    previous(m);
  });
  PostMessageW(edit->Handle(), WM_APP + 3, 0, 0);
  PostMessageW(edit->Handle(), WM_APP + 3, 0, 0);
  EXPECT_EQ(seen, 0);
  Application->ProcessMessages();
  edit->setWindowProc(previous);
  EXPECT_EQ(seen, 2);
  EXPECT_FALSE(Application->Terminated());
}

TEST(Dialogs, HookSuppliesTheAnswerAndSeesTheQuestion) {
  std::wstring text;
  TMsgDlgType type = mtCustom;
  TMsgDlgButtons buttons;
  TMessageDlgHook previous = SetMessageDlgHook([&](const std::wstring& m, TMsgDlgType t, TMsgDlgButtons b) {
    text = m;
    type = t;
    buttons = b;
    return mrNo;
  });
  EXPECT_EQ(MessageDlg(L"Move it?", mtError, {mbYes, mbNo}, 0), mrNo);
  EXPECT_EQ(text, L"Move it?");
  EXPECT_EQ(type, mtError);
  EXPECT_EQ(buttons, (TMsgDlgButtons{mbYes, mbNo}));
  TMessageDlgHook mine = SetMessageDlgHook(previous);
  EXPECT_TRUE(static_cast<bool>(mine));
  EXPECT_EQ(mrYes, 6);
  EXPECT_EQ(mrNo, 7);
}

TEST(Dialogs, WithoutAHookTheSystemMessageBoxAnswers) {
  // Another thread finds the box this thread shows and presses its No button.
  const DWORD uiThread = GetCurrentThreadId();
  std::atomic<bool> pressed{false};
  std::wstring title;
  std::pair<std::atomic<bool>*, std::wstring*> state{&pressed, &title};
  std::thread presser([&] {
    for (int i = 0; i < 500 && !pressed; ++i) {
      Sleep(10);
      EnumThreadWindows(
          uiThread,
          [](HWND wnd, LPARAM param) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(wnd, cls, 16);
            HWND no = GetDlgItem(wnd, IDNO);
            if (wcscmp(cls, L"#32770") != 0 || !no) return TRUE;
            auto* state = reinterpret_cast<std::pair<std::atomic<bool>*, std::wstring*>*>(param);
            wchar_t caption[64] = {};
            GetWindowTextW(wnd, caption, 64);
            *state->second = caption;
            PostMessageW(wnd, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(no));
            *state->first = true;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&state));
    }
  });
  TModalResult answer = MessageDlg(L"Really?", mtConfirmation, {mbYes, mbNo}, 0);
  presser.join();
  EXPECT_TRUE(pressed);
  EXPECT_EQ(answer, mrNo);
  EXPECT_EQ(title, L"Confirm");
}
