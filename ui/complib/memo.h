#pragma once
// TMemo: a multi-line text view whose lines are reached through Lines, as
// a list of strings that can be added to, read and saved to a file.
#include <QPlainTextEdit>

#include "platform/ansi_string.h"

class TMemo;

class TMemoLines {
 public:
  explicit TMemoLines(TMemo& memo) : memo_(memo) {}

  // Appends one line; line breaks inside it start further lines.
  void Add(const AnsiString& line);
  int Count() const;
  AnsiString Strings(int index) const;
  void Clear();
  // Writes every line followed by a carriage return and a line feed into
  // a new file beside the named one, which replaces it only once complete.
  // Throws std::runtime_error with the system's reason when the file
  // cannot be written; an existing file is then left as it was.
  void SaveToFile(const AnsiString& file_name) const;

 private:
  TMemo& memo_;
};

class TMemo : public QPlainTextEdit {
 public:
  explicit TMemo(QWidget* parent = nullptr);

  void Clear() { clear(); }
  // Beyond `count` lines the oldest go; 0 keeps every line.
  void SetMaxLines(int count) { setMaximumBlockCount(count); }

  TMemoLines Lines{*this};
};
