#include "ui/choice_serial_port_dlg.h"

#include <QStyle>

#include "platform/serial_ports_list.h"
#include "ui/complib/fonts.h"
#include "ui/unit_id_items.h"

TChoiceSerialPortDlg::TChoiceSerialPortDlg(QWidget* parent) : TForm(parent) {
  setObjectName("ChoiceSerialPortDlg");
  SetCaption("New Serial Port Setting");
  SetClientSize(313, 498);
  const QFont list_font = FormFont("MS Sans Serif", -13);
  const QFont label_font = FormFont("MS Sans Serif", -13, FontStyle::Bold);

  Label1 = new QLabel("Serial Port", this);
  Label1->setFont(label_font);
  Label1->move(48, 40);

  cbxSerialPorts = new TComboBox(this);
  cbxSerialPorts->setObjectName("cbxSerialPorts");
  cbxSerialPorts->setFont(list_font);
  cbxSerialPorts->setGeometry(48, 56, 225, 24);

  Label2 = new QLabel("UNIT ID List", this);
  Label2->setFont(label_font);
  Label2->move(48, 112);

  clbUnitIds = new TCheckListBox(this);
  clbUnitIds->setObjectName("clbUnitIds");
  clbUnitIds->setFont(list_font);
  clbUnitIds->setGeometry(48, 128, 225, 297);
  clbUnitIds->OnClick = [this] { clbUnitIdsClick(); };

  // No modal result of its own: the check on OK decides.
  OkBtn = new TBitBtn(bkCustom, this);
  OkBtn->setObjectName("OkBtn");
  OkBtn->SetCaption("OK");
  OkBtn->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  OkBtn->SetDefault(true);
  OkBtn->setGeometry(40, 448, 75, 25);
  OkBtn->OnClick = [this] { OkBtnClick(); };

  CancelBtn = new TBitBtn(bkCancel, this);
  CancelBtn->setObjectName("CancelBtn");
  CancelBtn->setGeometry(208, 448, 75, 25);

  setTabOrder(cbxSerialPorts, clbUnitIds);
  setTabOrder(clbUnitIds, OkBtn);
  setTabOrder(OkBtn, CancelBtn);

  OnShow = [this] { FormShow(); };
  FormCreate();
}

void TChoiceSerialPortDlg::FormCreate() { AddUnitIdItems(*clbUnitIds); }

void TChoiceSerialPortDlg::FormShow() { cbxSerialPorts->SetItemIndex(0); }

int TChoiceSerialPortDlg::FillPorts(const AnsiStrVector& configured) {
  cbxSerialPorts->Clear();
  std::vector<AnsiString> ports;
  const int count = EnumSerialPorts(ports, configured);
  for (const AnsiString& port : ports) cbxSerialPorts->Add(port);
  return count;
}

int TChoiceSerialPortDlg::MarkUsedIds(const AnsiStrVector& used) {
  const UnitIdSet locked = IdsNamedBy(used);
  int free = 0;
  for (int id = 0; id < clbUnitIds->Count(); ++id) {
    const bool is_locked = locked.test(static_cast<std::size_t>(id));
    clbUnitIds->SetChecked(id, is_locked);
    clbUnitIds->SetItemEnabled(id, !is_locked);
    if (!is_locked) ++free;
    clbUnitIds->SetSelected(id, false);
  }
  return free;
}

void TChoiceSerialPortDlg::clbUnitIdsClick() { ToggleSelectedGroup(*clbUnitIds); }

void TChoiceSerialPortDlg::OkBtnClick() {
  SetModalResult(AnIdIsChosen(*clbUnitIds) ? mrOk : mrNone);
}

bool TChoiceSerialPortDlg::CheckedIds(AnsiString& ids) const {
  return AppendChosenIds(*clbUnitIds, ids);
}

AnsiString TChoiceSerialPortDlg::SelectedPort() const {
  return cbxSerialPorts->Text();
}
