#pragma once
// TIPListDlg: picks one of this machine's IPv4 addresses.
#include "ui/complib/bit_btn.h"
#include "ui/complib/form.h"
#include "ui/complib/list_box.h"

class TIPListDlg : public TForm {
  Q_OBJECT

 public:
  explicit TIPListDlg(QWidget* parent = nullptr);

  TListBox* lbxIP;
  TBitBtn* BitBtn1;
  TBitBtn* BitBtn2;

  // Rebuilds the list at every showing, the first address selected.
  void FormShow();
  // After mrOk: the selected address; false when the list is empty.
  bool SelectedAddress(AnsiString& address) const;
};
