#include "ui/complib/bit_btn.h"

#include <QStyle>

#include "ui/complib/form.h"
#include "ui/complib/text.h"

TBitBtn::TBitBtn(TBitBtnKind kind, QWidget* parent) : QPushButton(parent) {
  switch (kind) {
    case bkOK:
      setText("OK");
      setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
      ModalResult = mrOk;
      setDefault(true);
      break;
    case bkCancel:
      setText("Cancel");
      setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
      ModalResult = mrCancel;
      Cancel = true;
      break;
    case bkCustom:
      break;
  }
  connect(this, &QPushButton::clicked, this, &TBitBtn::Press);
}

void TBitBtn::SetCaption(const AnsiString& caption) {
  setText(ToQString(caption));
}

void TBitBtn::Press() {
  if (auto* form = qobject_cast<TForm*>(window()))
    form->Press(ModalResult, OnClick);
  else if (OnClick)
    OnClick();
}
