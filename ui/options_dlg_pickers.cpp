// The options dialog's buttons and menu item that open the pickers.
#include "ui/choice_serial_port_dlg.h"
#include "ui/complib/message_dlg.h"
#include "ui/ip_list_dlg.h"
#include "ui/main_unit.h"
#include "ui/options_dlg.h"
#include "ui/unit_list_dlg.h"

void TOptionsDlg::ChoiceUnitIdsBtnClick() {
  AnsiStrVector others;
  AnsiStrVector mine;
  for (const AnsiString& port : ports) {
    if (port == currentPort) continue;
    SplitTokens(GetIniString(ini, port, "SlaveAddrList"), others, kListDelimiters);
  }
  SplitTokens(GetIniString(ini, currentPort, "SlaveAddrList"), mine, kListDelimiters);
  UnitListDlg->MarkIds(others, mine);
  if (UnitListDlg->ShowModal() != mrOk) return;
  AnsiString ids;
  UnitListDlg->CheckedIds(ids);
  lbeUnits->SetText(ids);
  SetIniValue(ini, currentPort, "SlaveAddrList", ids);
}

void TOptionsDlg::Button1Click() {
  if (IPListDlg->ShowModal() != mrOk) return;
  AnsiString address;
  if (IPListDlg->SelectedAddress(address)) lbeIP->SetText(address);
}

void TOptionsDlg::miAddSerialPortClick() {
  if (ChoiceSerialPortDlg->FillPorts(ports) <= 0) {
    MessageDlg("No more available Serial Ports can be use!", mtError, {mbOK}, 0);
    return;
  }
  AnsiStrVector used;
  for (const AnsiString& port : ports)
    SplitTokens(GetIniString(ini, port, "SlaveAddrList"), used, kListDelimiters);
  if (ChoiceSerialPortDlg->MarkUsedIds(used) < 1) {
    MessageDlg("No more available Unit IDs can be use!", mtError, {mbOK}, 0);
    return;
  }
  if (ChoiceSerialPortDlg->ShowModal() != mrOk) return;
  AnsiString ids;
  ChoiceSerialPortDlg->CheckedIds(ids);
  const AnsiString port = ChoiceSerialPortDlg->SelectedPort();
  currentPort = port;
  AddPortSection(port, ids);
  TTreeNode* node = tvOptions->AddChild(tvOptions->Item(0), port);
  tvOptions->Select(node);
  ShowPortPage(port);
  pcOptions->SetActivePageIndex(kPortPage);
}
