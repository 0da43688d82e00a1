#pragma once
// The two helpers every producer of a log line uses: the time stamp in
// front of the line, and the text of a system error code.
#include <cstdint>

#include "platform/ansi_string.h"
#include "platform/local_time.h"

// "hh:mm:ss - " of the given time, 24-hour clock.
AnsiString TimeStampPrefix(const SYSTEMTIME& time);

// Puts the local time in front of the line: abc becomes 09:05:07 - abc.
void TimeStamp(AnsiString& line);

// The system's text of an error code, unchanged; "unknow error code"
// followed directly by the code when the system has none.
void SysErrorText(AnsiString& text, std::int32_t code);
