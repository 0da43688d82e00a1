#pragma once
// TCSpinEdit: a number field with up and down arrows. Its text is what
// counts: handlers read Text, and a text set by the program stands as
// given until the operator changes it. The operator types digits only.
// With bounds that differ, every value given, every step and the value
// typed (when the field loses the focus, or FinishTyping is called) are
// clamped into them; equal bounds (the default 0 and 0) clamp nothing, but
// the arrows stop at 0.
#include <QAbstractSpinBox>
#include <functional>

#include "platform/ansi_string.h"

class TCSpinEdit : public QAbstractSpinBox {
 public:
  explicit TCSpinEdit(QWidget* parent = nullptr);

  void SetBounds(int min_value, int max_value);
  int MinValue() const { return min_value_; }
  int MaxValue() const { return max_value_; }

  // The text as a decimal number; a text that is none reads as the
  // minimum.
  int Value() const;
  void SetValue(int value);

  AnsiString Text() const;
  void SetText(const AnsiString& text);

  // Clamps what the operator typed, as leaving the field does; a text the
  // program set, or one already clamped, stays as it is.
  void FinishTyping();

  // The text changed, by the program or by the operator.
  std::function<void()> OnChange;

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  void stepBy(int steps) override;
  StepEnabled stepEnabled() const override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  bool IsBounded() const { return min_value_ != max_value_; }
  long long Number() const;
  long long Clamped(long long value) const;
  void SetNumber(long long value);

  int min_value_ = 0;
  int max_value_ = 0;
  // The text is the operator's, typed since the program last set one.
  bool typed_ = false;
};
