#include "ui/complib/spin_edit.h"

#include <QLineEdit>
#include <algorithm>

#include "ui/complib/text.h"

TCSpinEdit::TCSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
  lineEdit()->setText("0");
  connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
    if (OnChange) OnChange();
  });
}

void TCSpinEdit::SetBounds(int min_value, int max_value) {
  min_value_ = min_value;
  max_value_ = max_value;
}

int TCSpinEdit::Clamped(int value) const {
  if (min_value_ == max_value_) return value;
  return std::clamp(value, min_value_, max_value_);
}

int TCSpinEdit::Value() const {
  bool is_number = false;
  const int value = lineEdit()->text().trimmed().toInt(&is_number);
  return is_number ? value : min_value_;
}

void TCSpinEdit::SetValue(int value) {
  SetText(AnsiString(Clamped(value)));
}

AnsiString TCSpinEdit::Text() const { return ToAnsiString(lineEdit()->text()); }

void TCSpinEdit::SetText(const AnsiString& text) {
  lineEdit()->setText(ToQString(text));
}

void TCSpinEdit::stepBy(int steps) { SetValue(Value() + steps); }

QAbstractSpinBox::StepEnabled TCSpinEdit::stepEnabled() const {
  if (min_value_ == max_value_) return StepUpEnabled | StepDownEnabled;
  StepEnabled enabled = StepNone;
  if (Value() < max_value_) enabled |= StepUpEnabled;
  if (Value() > min_value_) enabled |= StepDownEnabled;
  return enabled;
}

void TCSpinEdit::focusOutEvent(QFocusEvent* event) {
  const AnsiString clamped(Clamped(Value()));
  if (min_value_ != max_value_ && Text() != clamped) SetText(clamped);
  QAbstractSpinBox::focusOutEvent(event);
}
