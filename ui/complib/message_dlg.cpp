#include "ui/complib/message_dlg.h"

#include <QMessageBox>

#include "ui/complib/text.h"

namespace {

struct TypeLook {
  QMessageBox::Icon icon;
  const char* caption;
};

TypeLook LookOf(TMsgDlgType type) {
  switch (type) {
    case mtWarning:
      return {QMessageBox::Warning, "Warning"};
    case mtError:
      return {QMessageBox::Critical, "Error"};
    case mtInformation:
      return {QMessageBox::Information, "Information"};
    case mtConfirmation:
      break;
  }
  return {QMessageBox::Question, "Confirm"};
}

QMessageBox::StandardButton QtButton(TMsgDlgBtn button) {
  switch (button) {
    case mbYes:
      return QMessageBox::Yes;
    case mbNo:
      return QMessageBox::No;
    case mbOK:
      return QMessageBox::Ok;
    case mbCancel:
      break;
  }
  return QMessageBox::Cancel;
}

int ModalResult(int qt_button) {
  switch (qt_button) {
    case QMessageBox::Yes:
      return mrYes;
    case QMessageBox::No:
      return mrNo;
    case QMessageBox::Ok:
      return mrOk;
    case QMessageBox::Cancel:
      return mrCancel;
  }
  return mrNone;
}

}  // namespace

int MessageDlg(const AnsiString& Msg, TMsgDlgType DlgType,
               std::initializer_list<TMsgDlgBtn> Buttons, int /*HelpCtx*/) {
  QMessageBox::StandardButtons buttons;
  for (TMsgDlgBtn button : Buttons) buttons |= QtButton(button);
  const TypeLook look = LookOf(DlgType);
  QMessageBox box(look.icon, look.caption, ToQString(Msg), buttons);
  return ModalResult(box.exec());
}
