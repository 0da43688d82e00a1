#pragma once
// TComboBox: a drop-down list without typing: only its items can be
// chosen. ItemIndex is the chosen item, -1 for none.
#include <QComboBox>
#include <functional>

#include "platform/ansi_string.h"

class TComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TComboBox(QWidget* parent);

  void Clear() { clear(); }
  void Add(const AnsiString& text);
  int Count() const { return count(); }
  AnsiString Strings(int index) const;
  // The item's index, -1 when the list has no such text.
  int IndexOf(const AnsiString& text) const;

  int ItemIndex() const { return currentIndex(); }
  void SetItemIndex(int index) { setCurrentIndex(index); }
  // The chosen item's text, "" when none is chosen.
  AnsiString Text() const;

  // The operator chose an item (not run when the program sets ItemIndex).
  std::function<void()> OnChange;
};
