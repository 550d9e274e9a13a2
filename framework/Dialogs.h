#pragma once
// Message dialogs: the system's message box, or the answer a test supplies through the hook.
#include <cstdint>
#include <functional>
#include <string>

#include "framework/Export.h"
#include "framework/Types.h"

namespace vcl {

enum TMsgDlgType : std::uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
// The buttons a message box can show. mbHelp adds a Help button, which sends WM_HELP and closes
// nothing.
enum TMsgDlgBtn : std::uint8_t { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbHelp };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;

// The answers: the button pressed, with the values of the system's IDOK ... IDNO.
using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;

// Answers MessageDlg in place of the message box (tests); it gets the text, type and buttons.
using TMessageDlgHook = std::function<TModalResult(const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons)>;

// Installs Hook (an empty one restores the message box) and returns the hook it replaces.
KX_API TMessageDlgHook SetMessageDlgHook(TMessageDlgHook Hook);

// Shows Msg in a modal message box titled after DlgType, with the closest set of buttons the
// system offers (Yes/No/Cancel, Yes/No, OK/Cancel, Abort/Retry/Ignore, Retry/Cancel, else OK), owned
// by the active window; returns the button pressed (mrYes, mrNo, ...). HelpCtx is not used.
KX_API TModalResult MessageDlg(const std::wstring& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);

}  // namespace vcl
