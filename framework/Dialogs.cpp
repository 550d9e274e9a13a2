#include "framework/Dialogs.h"

#include <windows.h>

#include <utility>

namespace vcl {

namespace {

TMessageDlgHook& DialogHook() {
  static TMessageDlgHook hook;
  return hook;
}

UINT ButtonStyle(TMsgDlgButtons b) {
  UINT help = b.Contains(mbHelp) ? MB_HELP : 0;
  b.Exclude(mbHelp);
  if (b == TMsgDlgButtons{mbYes, mbNo, mbCancel}) return help | MB_YESNOCANCEL;
  if (b == TMsgDlgButtons{mbYes, mbNo}) return help | MB_YESNO;
  if (b == TMsgDlgButtons{mbOK, mbCancel}) return help | MB_OKCANCEL;
  if (b == TMsgDlgButtons{mbAbort, mbRetry, mbIgnore}) return help | MB_ABORTRETRYIGNORE;
  if (b == TMsgDlgButtons{mbRetry, mbCancel}) return help | MB_RETRYCANCEL;
  return help | MB_OK;
}

struct TTypeStyle {
  const wchar_t* caption;
  UINT icon;
};

TTypeStyle TypeStyle(TMsgDlgType t) {
  switch (t) {
    case mtWarning: return {L"Warning", MB_ICONWARNING};
    case mtError: return {L"Error", MB_ICONERROR};
    case mtInformation: return {L"Information", MB_ICONINFORMATION};
    case mtConfirmation: return {L"Confirm", MB_ICONQUESTION};
    default: return {L"", 0};
  }
}

}  // namespace

TMessageDlgHook SetMessageDlgHook(TMessageDlgHook Hook) { return std::exchange(DialogHook(), std::move(Hook)); }

TModalResult MessageDlg(const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) {
  (void)HelpCtx;
  if (TMessageDlgHook hook = DialogHook()) return hook(Msg, DlgType, Buttons);
  TTypeStyle style = TypeStyle(DlgType);
  HWND owner = GetActiveWindow();
  return MessageBoxW(owner, Msg.c_str(), style.caption, ButtonStyle(Buttons) | style.icon | (owner ? 0 : MB_TASKMODAL));
}

}  // namespace vcl
