#include "ui/complib/spin_edit.h"

#include <QLineEdit>
#include <algorithm>
#include <climits>
#include <string>

#include "ui/complib/text.h"

namespace {

// Enough digits for any unsigned 32-bit number, and too few to overflow
// the arithmetic of a step.
constexpr int kMostDigits = 10;

}  // namespace

TCSpinEdit::TCSpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
  lineEdit()->setText("0");
  connect(lineEdit(), &QLineEdit::textChanged, this, [this] {
    if (OnChange) OnChange();
  });
  // Only the operator's edits: the program's texts do not report here.
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] { typed_ = true; });
}

void TCSpinEdit::SetBounds(int min_value, int max_value) {
  min_value_ = min_value;
  max_value_ = max_value;
}

long long TCSpinEdit::Clamped(long long value) const {
  if (!IsBounded()) return value;
  return std::clamp<long long>(value, min_value_, max_value_);
}

long long TCSpinEdit::Number() const {
  bool is_number = false;
  const long long value = lineEdit()->text().trimmed().toLongLong(&is_number);
  return is_number ? value : min_value_;
}

int TCSpinEdit::Value() const {
  return static_cast<int>(std::clamp<long long>(Number(), INT_MIN, INT_MAX));
}

void TCSpinEdit::SetNumber(long long value) {
  SetText(AnsiString(std::to_string(Clamped(value))));
}

void TCSpinEdit::SetValue(int value) { SetNumber(value); }

AnsiString TCSpinEdit::Text() const { return ToAnsiString(lineEdit()->text()); }

void TCSpinEdit::SetText(const AnsiString& text) {
  typed_ = false;
  lineEdit()->setText(ToQString(text));
}

QValidator::State TCSpinEdit::validate(QString& input, int&) const {
  if (input.size() > kMostDigits) return QValidator::Invalid;
  for (const QChar c : input) {
    if (c < '0' || c > '9') return QValidator::Invalid;
  }
  return input.isEmpty() ? QValidator::Intermediate : QValidator::Acceptable;
}

void TCSpinEdit::stepBy(int steps) {
  // The field holds no negative number: even unbounded, it stops at 0.
  SetNumber(std::max(Number() + steps, 0LL));
}

QAbstractSpinBox::StepEnabled TCSpinEdit::stepEnabled() const {
  const long long lowest = IsBounded() ? min_value_ : 0;
  StepEnabled enabled = StepNone;
  if (!IsBounded() || Number() < max_value_) enabled |= StepUpEnabled;
  if (Number() > lowest) enabled |= StepDownEnabled;
  return enabled;
}

void TCSpinEdit::FinishTyping() {
  if (!IsBounded() || !typed_) return;
  const AnsiString clamped(std::to_string(Clamped(Number())));
  if (Text() != clamped) SetText(clamped);
}

void TCSpinEdit::focusOutEvent(QFocusEvent* event) {
  FinishTyping();
  QAbstractSpinBox::focusOutEvent(event);
}
