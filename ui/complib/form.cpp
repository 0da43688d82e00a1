#include "ui/complib/form.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "ui/complib/bit_btn.h"
#include "ui/complib/fonts.h"
#include "ui/complib/text.h"

TForm::TForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setFont(FormFont("MS Sans Serif", -11));
}

void TForm::SetCaption(const AnsiString& caption) {
  setWindowTitle(ToQString(caption));
}

void TForm::SetClientSize(int width, int height) {
  setFixedSize(width, height);
}

int TForm::ShowModal() {
  modal_result_ = mrNone;
  exec();
  if (modal_result_ == mrNone) modal_result_ = mrCancel;
  return modal_result_;
}

void TForm::SetModalResult(int result) {
  modal_result_ = result;
  if (presses_in_progress_ == 0) CloseSoonOnModalResult();
}

void TForm::Press(int button_result, const std::function<void()>& handler) {
  struct Counted {
    int& count;
    explicit Counted(int& c) : count(c) { ++count; }
    ~Counted() { --count; }
  };
  {
    Counted pressing(presses_in_progress_);
    if (button_result != mrNone) modal_result_ = button_result;
    if (handler) handler();
  }
  if (presses_in_progress_ == 0) CloseSoonOnModalResult();
}

void TForm::CloseSoonOnModalResult() {
  if (modal_result_ == mrNone) return;
  // Not at once: whoever set the result is still running.
  QMetaObject::invokeMethod(
      this, [this] { CloseOnModalResult(); }, Qt::QueuedConnection);
}

void TForm::CloseOnModalResult() {
  if (modal_result_ != mrNone && isVisible()) done(modal_result_);
}

void TForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
    if (OnShow) OnShow();
  }
  QDialog::showEvent(event);
}

void TForm::reject() {
  if (TBitBtn* cancel = CancelButton())
    cancel->click();
  else
    modal_result_ = mrCancel;
  // Whoever closes the form from outside expects it closed on return.
  CloseOnModalResult();
}

TBitBtn* TForm::CancelButton() const {
  for (TBitBtn* button : findChildren<TBitBtn*>()) {
    if (button->Cancel && button->isEnabled()) return button;
  }
  return nullptr;
}
