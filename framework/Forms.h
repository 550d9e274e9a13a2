#pragma once
// Forms (top-level windows) and the application object.
#include <exception>
#include <functional>

#include "framework/Controls.h"

namespace vcl {

// A top-level window of its own; it starts hidden (Show makes it visible and active). Closing it,
// with Close or the system's close command, hides it; closing the application's main form also
// ends Application->Run.
class KX_API TForm : public TWinControl {
 public:
  explicit TForm(TComponent* AOwner);
  void SetVisible(bool Value) override;
  void Close();

 protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;
};

// Receives an exception that escaped a window procedure; E is the exception being handled.
using TExceptionEvent = std::function<void(TObject* Sender, std::exception_ptr E)>;

class KX_API TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);

  // Dispatches every message waiting in the calling thread's queue, then returns. WM_QUIT sets
  // Terminated.
  void ProcessMessages();
  // Waits for one message and dispatches it.
  void HandleMessage();
  // Shows the main form (if one is set) and dispatches messages until Terminated.
  void Run();
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }
  TForm* MainForm() const { return FMainForm; }
  void SetMainForm(TForm* Value) { FMainForm = Value; }

  // Called from inside a catch block: hands the exception being handled to OnException or, when
  // none is assigned, shows its message with MessageDlg. EAbort is passed over silently.
  void HandleException(TObject* Sender);
  void ShowException(std::exception_ptr E);
  const TExceptionEvent& OnException() const { return FOnException; }
  void SetOnException(TExceptionEvent Value) { FOnException = std::move(Value); }

 private:
  bool FTerminated = false;
  TForm* FMainForm = nullptr;
  TExceptionEvent FOnException;
};

// The one application object of the process.
extern KX_API TApplication* Application;

}  // namespace vcl
