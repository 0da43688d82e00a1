#pragma once
// The local wall-clock time, as the log's time stamp reads it.
#include "platform/win_types.h"

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

void GetLocalTime(SYSTEMTIME* time);
