#include "ui/complib/status_bar.h"

#include <QLabel>

#include "ui/complib/text.h"

AnsiString TStatusPanel::Text() const { return ToAnsiString(label_->text()); }

void TStatusPanel::SetText(const AnsiString& text) {
  label_->setText(ToQString(text));
}

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(true);
}

void TStatusBar::AddPanel(const AnsiString& text, int width) {
  auto* label = new QLabel(ToQString(text), this);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setFixedWidth(width);
  addWidget(label);
  panels_.emplace_back(label);
}
