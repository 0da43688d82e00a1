#pragma once
// TChoiceSerialPortDlg: picks a serial port for a new port section: one of
// the ports the system offers that the configuration does not list yet,
// and one or more unit ids that no other port uses.
#include <QLabel>

#include "common/string_tokenizer.h"
#include "ui/complib/bit_btn.h"
#include "ui/complib/check_list_box.h"
#include "ui/complib/combo_box.h"
#include "ui/complib/form.h"

class TChoiceSerialPortDlg : public TForm {
  Q_OBJECT

 public:
  explicit TChoiceSerialPortDlg(QWidget* parent = nullptr);

  QLabel* Label1;
  TComboBox* cbxSerialPorts;
  QLabel* Label2;
  TCheckListBox* clbUnitIds;
  TBitBtn* OkBtn;
  TBitBtn* CancelBtn;

  // Offers the system's ports but `configured`; the number offered.
  int FillPorts(const AnsiStrVector& configured);
  // Locks the ids `used` names (checked and greyed) and frees all others;
  // the number left free.
  int MarkUsedIds(const AnsiStrVector& used);
  // After mrOk: the chosen ids, ascending, joined with ",".
  bool CheckedIds(AnsiString& ids) const;
  // After mrOk: the chosen port, such as COM3.
  AnsiString SelectedPort() const;

  void FormCreate();
  void FormShow();
  void clbUnitIdsClick();
  void OkBtnClick();
};
