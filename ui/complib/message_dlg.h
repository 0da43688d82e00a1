#pragma once
// MessageDlg: a modal message box with a type, a set of buttons and the
// number of the button pressed as its result.
#include <initializer_list>

#include "platform/ansi_string.h"
#include "ui/complib/modal_result.h"

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel };

// The box is titled by its type ("Warning", "Error", "Information",
// "Confirm"). Escape or the window's close button gives the result of
// Cancel or No, whichever the box has. There is no help: `HelpCtx` is
// accepted and ignored.
int MessageDlg(const AnsiString& Msg, TMsgDlgType DlgType,
               std::initializer_list<TMsgDlgBtn> Buttons, int HelpCtx);
