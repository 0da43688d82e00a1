#pragma once
// TBitBtn: a push button with a glyph that can carry a modal result. A
// press (mouse, Space, Enter as the default button, Escape as the Cancel
// button) first hands its modal result to its form, then runs OnClick,
// which may take the result back with SetModalResult(mrNone).
#include <QPushButton>
#include <functional>

#include "platform/ansi_string.h"
#include "ui/complib/modal_result.h"

// bkOK: "OK", mrOk, the default button. bkCancel: "Cancel", mrCancel, the
// button that Escape presses. bkCustom: a caption of the caller's and no
// modal result.
enum TBitBtnKind { bkCustom, bkOK, bkCancel };

class TBitBtn : public QPushButton {
  Q_OBJECT

 public:
  TBitBtn(TBitBtnKind kind, QWidget* parent);

  void SetCaption(const AnsiString& caption);
  // Enter presses the default button wherever the focus is in the form.
  void SetDefault(bool is_default) { setDefault(is_default); }

  int ModalResult = mrNone;
  bool Cancel = false;
  std::function<void()> OnClick;

 private:
  void Press();
};
