#pragma once
// ErrorMessageDatabase: the operator's texts for the system's error codes,
// read from the error-text file that the configuration names. One section
// per component ("Setting", "ComList", "ModbusTCP", "ModbusRTU"), the code
// printed with "%d" as the key. Lookups never fail loudly: a missing text
// gives false and leaves the caller's string as it was.
#include <cstdint>

#include "platform/ansi_string.h"
#include "platform/global_object.h"

class ErrorMessageDatabase {
 public:
  ErrorMessageDatabase();
  ~ErrorMessageDatabase();
  ErrorMessageDatabase(const ErrorMessageDatabase&) = delete;
  ErrorMessageDatabase& operator=(const ErrorMessageDatabase&) = delete;

  // True when the file was read whole. A file that cannot be opened keeps
  // the former texts.
  bool Load(const char* file_name);

  // The stored text as it stands ("%s" stays "%s").
  bool GetMessage(const AnsiString& section, std::int32_t code,
                  AnsiString& text) const;
  // The stored text with its "%s" filled by the arguments in order and
  // "%%" made one percent sign. The text is never used as a printf format:
  // any other conversion, and a "%s" beyond the arguments, stays as written.
  bool Format(const AnsiString& section, std::int32_t code, AnsiString& text,
              const AnsiString& argument) const;
  bool Format(const AnsiString& section, std::int32_t code, AnsiString& text,
              const AnsiString& first, const AnsiString& second) const;

  class Impl;

 private:
  Impl* impl_;
};

extern GlobalObject<ErrorMessageDatabase> gErrMsgDB;

// The line for a code the error-text file has no text for: it still names
// the section and the code, then `arguments` when there are any, so that
// an earlier failure's text never stands in for it.
AnsiString MissingErrorText(const AnsiString& section, std::int32_t code,
                            const AnsiString& arguments = AnsiString());
