#include "ui/complib/memo.h"

#include <QTextBlock>
#include <stdexcept>
#include <string>

#include "common/replace_file.h"
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

void TMemoLines::SaveToFile(const AnsiString& file_name) const {
  std::string text;
  const int count = Count();
  for (int i = 0; i < count; ++i) text += Strings(i).str() + "\r\n";

  // A save that fails part-way (a full disk) must not cost the operator
  // the file that was there: the old one goes only once the new is whole.
  std::string error_text;
  if (ReplaceFileContent(file_name.str(), text, error_text) != 0)
    throw std::runtime_error(error_text);
}
