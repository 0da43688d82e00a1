#include "common/log_text.h"

#include <string>

#include "platform/error_text.h"

AnsiString TimeStampPrefix(const SYSTEMTIME& time) {
  AnsiString prefix;
  prefix.sprintf("%02u:%02u:%02u - ", unsigned{time.wHour},
                 unsigned{time.wMinute}, unsigned{time.wSecond});
  return prefix;
}

void TimeStamp(AnsiString& line) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  line = TimeStampPrefix(now) + line;
}

void SysErrorText(AnsiString& text, std::int32_t code) {
  std::string system_text;
  if (SystemErrorMessage(code, system_text)) {
    text = AnsiString(std::move(system_text));
  } else {
    text.sprintf("unknow error code%d", code);
  }
}
