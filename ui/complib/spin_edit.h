#pragma once
// TCSpinEdit: a number field with up and down arrows. Its text is what
// counts: handlers read Text, and a text set by the program stands as
// given until the operator leaves the field. With bounds that differ,
// every value given and the value typed (when the field loses the focus)
// are clamped into them; equal bounds (the default 0 and 0) clamp nothing.
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

  // The text changed, by the program or by the operator.
  std::function<void()> OnChange;

 protected:
  void stepBy(int steps) override;
  StepEnabled stepEnabled() const override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  int Clamped(int value) const;

  int min_value_ = 0;
  int max_value_ = 0;
};
