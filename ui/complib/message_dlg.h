#pragma once
// MessageDlg: a modal message box with a type, a set of buttons and the
// number of the button pressed as its result.
#include <initializer_list>

#include "platform/ansi_string.h"

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel };

// Modal results: which button closed a dialog.
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

// The box is titled by its type ("Warning", "Error", "Information",
// "Confirm"). Escape or the window's close button gives the result of
// Cancel or No, whichever the box has. There is no help: `HelpCtx` is
// accepted and ignored.
int MessageDlg(const AnsiString& Msg, TMsgDlgType DlgType,
               std::initializer_list<TMsgDlgBtn> Buttons, int HelpCtx);
