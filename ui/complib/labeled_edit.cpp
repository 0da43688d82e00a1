#include "ui/complib/labeled_edit.h"

#include <QLabel>

#include "ui/complib/text.h"

namespace {
constexpr int kLabelGap = 3;
}

TLabeledEdit::TLabeledEdit(const AnsiString& caption, QWidget* parent,
                           TLabelPosition position)
    : QLineEdit(parent),
      EditLabel(new QLabel(ToQString(caption), parent)),
      position_(position) {
  EditLabel->setBuddy(this);
  EditLabel->adjustSize();
  PlaceLabel();
}

AnsiString TLabeledEdit::Text() const { return ToAnsiString(text()); }

void TLabeledEdit::SetText(const AnsiString& text) { setText(ToQString(text)); }

void TLabeledEdit::moveEvent(QMoveEvent* event) {
  QLineEdit::moveEvent(event);
  PlaceLabel();
}

void TLabeledEdit::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  PlaceLabel();
}

void TLabeledEdit::PlaceLabel() {
  const QSize label = EditLabel->sizeHint();
  if (position_ == lpAbove) {
    EditLabel->move(x(), y() - label.height() - kLabelGap);
  } else {
    EditLabel->move(x() - label.width() - kLabelGap,
                    y() + (height() - label.height()) / 2);
  }
}
