#pragma once
// TLabeledEdit: a one-line text field with its caption, which stays
// beside it (above, or on its left) wherever the field goes.
#include <QLineEdit>

#include "platform/ansi_string.h"

class QLabel;

enum TLabelPosition { lpAbove, lpLeft };

class TLabeledEdit : public QLineEdit {
 public:
  TLabeledEdit(const AnsiString& caption, QWidget* parent,
               TLabelPosition position = lpAbove);

  AnsiString Text() const;
  void SetText(const AnsiString& text);

  QLabel* EditLabel;

 protected:
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceLabel();

  TLabelPosition position_;
};
