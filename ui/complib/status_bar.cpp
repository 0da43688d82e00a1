#include "ui/complib/status_bar.h"

#include <QLabel>
#include <algorithm>

#include "ui/complib/text.h"

AnsiString TStatusPanel::Text() const { return ToAnsiString(label_->text()); }

void TStatusPanel::SetText(const AnsiString& text) {
  label_->setText(ToQString(text));
}

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(true);
}

namespace {

// A panel asks for its width (more when its text needs more: fonts differ
// from desktop to desktop) but gives way when the window is narrower, so
// that the panels never set the window's smallest size.
class PanelLabel : public QLabel {
 public:
  PanelLabel(const QString& text, int width, QWidget* parent)
      : QLabel(text, parent), width_(width) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
  }
  QSize sizeHint() const override {
    const QSize text = QLabel::sizeHint();
    return QSize(std::max(width_, text.width()), text.height());
  }
  QSize minimumSizeHint() const override {
    return QSize(0, QLabel::minimumSizeHint().height());
  }

 private:
  int width_;
};

}  // namespace

void TStatusBar::AddPanel(const AnsiString& text, int width) {
  auto* label = new PanelLabel(ToQString(text), width, this);
  addWidget(label);
  panels_.emplace_back(label);
}
