#include "framework/Forms.h"

#include "framework/Dialogs.h"
#include "framework/SysUtils.h"

namespace vcl {

TApplication* Application = new TApplication(nullptr);  // lives as long as the process

// ---- TForm ----

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner) {
  FLeft = 100;
  FTop = 100;
  FWidth = 480;
  FHeight = 360;
  FVisible = false;
}

void TForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | (FVisible ? WS_VISIBLE : 0);
  Params.WndParent = nullptr;
}

void TForm::Close() {
  Hide();
  if (Application->MainForm() == this) Application->Terminate();
}

void TForm::WndProc(TMessage& Message) {
  if (Message.Msg == WM_CLOSE) {
    Close();
    Message.Result = 0;
    return;
  }
  TWinControl::WndProc(Message);
}

void TForm::SetVisible(bool Value) {
  if (!Value) {
    TWinControl::SetVisible(false);
    return;
  }
  HandleNeeded();
  ShowWindow(FHandle, SW_SHOW);
  UpdateWindow(FHandle);
}

// ---- TApplication ----

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      FTerminated = true;
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TApplication::HandleMessage() {
  MSG msg;
  BOOL r = GetMessageW(&msg, nullptr, 0, 0);
  if (r == 0 || r == -1) {
    FTerminated = true;
    return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void TApplication::Run() {
  if (FMainForm) FMainForm->Show();
  while (!FTerminated) HandleMessage();
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr e = std::current_exception();
  if (!e) return;
  try {
    std::rethrow_exception(e);
  } catch (const EAbort&) {
    return;
  } catch (...) {
  }
  if (TExceptionEvent handler = FOnException) handler(Sender, e);
  else ShowException(e);
}

void TApplication::ShowException(std::exception_ptr E) {
  std::wstring text;
  try {
    std::rethrow_exception(E);
  } catch (const Exception& x) {
    text = x.Message();
  } catch (const std::exception& x) {
    text = UnicodeFromUtf8(x.what());
  } catch (...) {
    text = L"Unknown exception";
  }
  MessageDlg(text, mtError, {mbOK}, 0);
}

}  // namespace vcl
