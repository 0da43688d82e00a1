#include "ui/complib/memo.h"

#include <QTextBlock>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "ui/complib/text.h"

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {}

void TMemoLines::Add(const AnsiString& line) {
  memo_.appendPlainText(ToQString(line));
}

int TMemoLines::Count() const {
  // An empty view has no line, although its document holds one empty block.
  if (memo_.document()->isEmpty()) return 0;
  return memo_.document()->blockCount();
}

AnsiString TMemoLines::Strings(int index) const {
  return ToAnsiString(memo_.document()->findBlockByNumber(index).text());
}

void TMemoLines::Clear() { memo_.clear(); }

namespace {

[[noreturn]] void ThrowFileError(const char* what, const AnsiString& name,
                                 int error) {
  throw std::runtime_error(std::string(what) + " \"" + name.str() + "\". " +
                           std::strerror(error));
}

}  // namespace

void TMemoLines::SaveToFile(const AnsiString& file_name) const {
  FILE* file = std::fopen(file_name.c_str(), "wb");
  if (file == nullptr) ThrowFileError("Cannot create file", file_name, errno);
  int error = 0;
  const int count = Count();
  for (int i = 0; i < count && error == 0; ++i) {
    const AnsiString line = Strings(i) + "\r\n";
    const auto length = static_cast<size_t>(line.Length());
    if (std::fwrite(line.data(), 1, length, file) != length) error = errno;
  }
  // Buffered bytes that cannot be written fail at the close.
  if (std::fclose(file) != 0 && error == 0) error = errno;
  if (error != 0) ThrowFileError("Cannot write file", file_name, error);
}
