#pragma once
// The text a serial port keeps for a failed system call.
#include "platform/ansi_string.h"
#include "platform/win_types.h"

// The system's text of the error code, or "unknow error code" followed
// directly by the code in signed decimal when the system has none.
AnsiString SerialErrorText(DWORD code);
