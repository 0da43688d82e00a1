#include "ui/complib/combo_box.h"

#include "ui/complib/text.h"

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  connect(this, &QComboBox::activated, this, [this] {
    if (OnChange) OnChange();
  });
}

void TComboBox::Add(const AnsiString& text) { addItem(ToQString(text)); }

AnsiString TComboBox::Strings(int index) const {
  return ToAnsiString(itemText(index));
}

int TComboBox::IndexOf(const AnsiString& text) const {
  return findText(ToQString(text), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

AnsiString TComboBox::Text() const {
  return currentIndex() < 0 ? AnsiString() : Strings(currentIndex());
}
