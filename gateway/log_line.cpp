#include "gateway/log_line.h"

#include "common/error_message_db.h"
#include "common/log_text.h"
#include "common/message_fifo.h"

void LogLine::Log(const AnsiString& text) {
  line_ = text;
  StampAndPush();
}

void LogLine::LogKept(const AnsiString& text) {
  line_ = text;
  StampAndPush(true);
}

void LogLine::LogError(const char* section, std::int32_t code,
                       const AnsiString& argument) {
  if (!gErrMsgDB->Format(section, code, line_, argument)) {
    line_ = MissingErrorText(section, code, argument);
  }
  StampAndPush();
}

void LogLine::LogError(const char* section, std::int32_t code,
                       const AnsiString& first, const AnsiString& second) {
  if (!gErrMsgDB->Format(section, code, line_, first, second)) {
    line_ = MissingErrorText(section, code, first + ", " + second);
  }
  StampAndPush();
}

void LogLine::StampAndPush(bool kept) {
  TimeStamp(line_);
  if (kept) {
    gMsgFIFO->PushKept(line_);
  } else {
    gMsgFIFO->Push(line_);
  }
}
