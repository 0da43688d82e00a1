#include "ui/unit_list_dlg.h"

#include "ui/complib/fonts.h"
#include "ui/unit_id_items.h"

TUnitListDlg::TUnitListDlg(QWidget* parent) : TForm(parent) {
  setObjectName("UnitListDlg");
  SetCaption("Modbus Device ID List");
  SetClientSize(307, 448);

  clbUnitIds = new TCheckListBox(this);
  clbUnitIds->setObjectName("clbUnitIds");
  clbUnitIds->setFont(FormFont("MS Sans Serif", -13));
  clbUnitIds->setGeometry(32, 40, 241, 329);
  clbUnitIds->OnClick = [this] { clbUnitIdsClick(); };

  OkBtn = new TBitBtn(bkOK, this);
  OkBtn->setObjectName("OkBtn");
  OkBtn->setGeometry(32, 400, 75, 25);
  OkBtn->OnClick = [this] { OkBtnClick(); };

  BitBtn2 = new TBitBtn(bkCancel, this);
  BitBtn2->setObjectName("BitBtn2");
  BitBtn2->setGeometry(200, 400, 75, 25);

  setTabOrder(clbUnitIds, OkBtn);
  setTabOrder(OkBtn, BitBtn2);
  // The form is reused: without this the focus stays where the last
  // showing left it (on OK, when that was clicked), and the operator's
  // first keys would press OK instead of moving through the ids.
  OnShow = [this] { clbUnitIds->setFocus(); };

  FormCreate();
}

void TUnitListDlg::FormCreate() { AddUnitIdItems(*clbUnitIds); }

int TUnitListDlg::MarkIds(const AnsiStrVector& others, const AnsiStrVector& mine) {
  const UnitIdSet locked = IdsNamedBy(others);
  const UnitIdSet own = IdsNamedBy(mine);
  int enabled = 0;
  for (int id = 0; id < clbUnitIds->Count(); ++id) {
    const auto bit = static_cast<std::size_t>(id);
    if (locked.test(bit)) {
      clbUnitIds->SetItemEnabled(id, false);
      clbUnitIds->SetChecked(id, true);
    } else {
      // Ascending ids: the caret ends on this port's highest.
      if (own.test(bit)) clbUnitIds->SetItemIndex(id);
      clbUnitIds->SetItemEnabled(id, true);
      clbUnitIds->SetChecked(id, own.test(bit));
      ++enabled;
    }
    clbUnitIds->SetSelected(id, false);
  }
  return enabled;
}

void TUnitListDlg::clbUnitIdsClick() { ToggleSelectedGroup(*clbUnitIds); }

void TUnitListDlg::OkBtnClick() {
  // The button's own mrOk is taken back, or the refused OK would close.
  if (!AnIdIsChosen(*clbUnitIds)) SetModalResult(mrNone);
}

bool TUnitListDlg::CheckedIds(AnsiString& ids) const {
  return AppendChosenIds(*clbUnitIds, ids);
}
