#pragma once
// The one log line that each gateway thread keeps for all its messages:
// a message is assigned to it, stamped with the local time and a copy is
// pushed into the log queue. A line that finds the queue full is lost,
// unless it is kept.
#include <cstdint>

#include "platform/ansi_string.h"

class LogLine {
 public:
  // Logs `text` as it stands.
  void Log(const AnsiString& text);
  // The same for a line that says what Run or Stop did: it is queued
  // whatever the queue's bound.
  void LogKept(const AnsiString& text);

  // Logs the error text of (section, code) with its string arguments.
  // When the error-text file has no such text, the line says so itself,
  // naming the section, the code and the arguments, rather than
  // repeating the thread's previous line.
  void LogError(const char* section, std::int32_t code,
                const AnsiString& argument);
  void LogError(const char* section, std::int32_t code,
                const AnsiString& first, const AnsiString& second);

  const AnsiString& Text() const { return line_; }

 private:
  void StampAndPush(bool kept = false);

  AnsiString line_;
};
