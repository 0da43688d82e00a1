#pragma once
// AnsiString and Qt's QString meet here. The 8-bit text of the log and the
// error-text file is taken as UTF-8, the character set of Linux locales;
// plain ASCII (all the program's own texts) passes unchanged either way.
#include <QString>

#include "platform/ansi_string.h"

inline QString ToQString(const AnsiString& text) {
  return QString::fromUtf8(text.data(), text.Length());
}

inline AnsiString ToAnsiString(const QString& text) {
  return AnsiString(text.toUtf8().toStdString());
}
