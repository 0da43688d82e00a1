#include "gateway/serial_error_text.h"

#include <string>

#include "platform/error_text.h"

AnsiString SerialErrorText(DWORD code) {
  std::string text;
  if (SystemErrorMessage(static_cast<int>(code), text)) return AnsiString(text);
  AnsiString unknown;
  unknown.sprintf("unknow error code%d", static_cast<int>(code));
  return unknown;
}
