#include "gateway/log_line.h"

#include "common/error_message_db.h"
#include "common/log_text.h"
#include "common/message_fifo.h"

namespace {

AnsiString MissingTextLine(const char* section, std::int32_t code,
                           const AnsiString& arguments) {
  AnsiString line;
  line.sprintf("%s error %d (no text in the error-text file): %s", section,
               static_cast<int>(code), arguments.c_str());
  return line;
}

}  // namespace

void LogLine::Log(const AnsiString& text) {
  line_ = text;
  StampAndPush();
}

void LogLine::LogError(const char* section, std::int32_t code,
                       const AnsiString& argument) {
  if (!gErrMsgDB->Format(section, code, line_, argument)) {
    line_ = MissingTextLine(section, code, argument);
  }
  StampAndPush();
}

void LogLine::LogError(const char* section, std::int32_t code,
                       const AnsiString& first, const AnsiString& second) {
  if (!gErrMsgDB->Format(section, code, line_, first, second)) {
    line_ = MissingTextLine(section, code, first + ", " + second);
  }
  StampAndPush();
}

void LogLine::StampAndPush() {
  TimeStamp(line_);
  gMsgFIFO->Push(line_);
}
