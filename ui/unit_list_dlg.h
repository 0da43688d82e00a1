#pragma once
// TUnitListDlg: the unit ids of one serial port. The ids of the other
// ports are shown checked and locked, this port's checked and free to
// change.
#include "common/string_tokenizer.h"
#include "ui/complib/bit_btn.h"
#include "ui/complib/check_list_box.h"
#include "ui/complib/form.h"

class TUnitListDlg : public TForm {
  Q_OBJECT

 public:
  explicit TUnitListDlg(QWidget* parent = nullptr);

  TCheckListBox* clbUnitIds;
  TBitBtn* OkBtn;
  TBitBtn* BitBtn2;

  // Locks the ids of `others`, checks those of `mine` and puts the caret
  // on the highest of them; the number of items left enabled. An id both
  // name stays locked.
  int MarkIds(const AnsiStrVector& others, const AnsiStrVector& mine);
  // After mrOk: this port's ids, ascending, joined with ",".
  bool CheckedIds(AnsiString& ids) const;

  void FormCreate();
  void clbUnitIdsClick();
  void OkBtnClick();
};
