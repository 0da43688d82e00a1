#pragma once
// TCheckBox: a box the operator ticks, read and set as Checked.
#include <QCheckBox>

#include "platform/ansi_string.h"
#include "ui/complib/text.h"

class TCheckBox : public QCheckBox {
 public:
  TCheckBox(const AnsiString& caption, QWidget* parent)
      : QCheckBox(ToQString(caption), parent) {}

  bool Checked() const { return isChecked(); }
  void SetChecked(bool checked) { setChecked(checked); }
};
