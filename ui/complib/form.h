#pragma once
// TForm: a dialog form with a fixed client area (a dialog border), centred
// on the screen at every showing, shown modally by ShowModal.
//
// Closing follows the modal result: setting it to anything but mrNone ends
// the modal showing once the event in progress has been handled, so a
// button that carries a result (TBitBtn) can have its click handler take
// the result back (set mrNone) and keep the form open. Escape and the
// window's close button press the form's Cancel button, or give mrCancel
// when it has none.
#include <QDialog>
#include <functional>

#include "platform/ansi_string.h"
#include "ui/complib/modal_result.h"

class TBitBtn;

class TForm : public QDialog {
  Q_OBJECT

 public:
  explicit TForm(QWidget* parent = nullptr);

  void SetCaption(const AnsiString& caption);
  // The size inside the border, fixed: the operator cannot resize it.
  void SetClientSize(int width, int height);

  // Shows the form and runs its own event loop until it closes; returns
  // the modal result it closed with (mrCancel when it was closed by other
  // means than a modal result).
  int ShowModal();
  int ModalResult() const { return modal_result_; }
  void SetModalResult(int result);

  // A button press: hands the button's modal result (unless mrNone) to
  // the form, runs the button's handler, and only then closes the form if
  // the result still asks for it. A message box that the handler shows
  // runs its own event loop; the form must not close inside it.
  void Press(int button_result, const std::function<void()>& handler);

  // Runs at every showing, before the form appears.
  std::function<void()> OnShow;

  // Escape, the close button, and anybody closing the form from outside:
  // the form is closed on return unless its Cancel button's handler took
  // the result back.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CloseOnModalResult();
  void CloseSoonOnModalResult();
  TBitBtn* CancelButton() const;

  int modal_result_ = mrNone;
  int presses_in_progress_ = 0;
};
