// The options dialog's buttons and menu item that open the pickers.
#include "ui/choice_serial_port_dlg.h"
#include "ui/complib/message_dlg.h"
#include "ui/ip_list_dlg.h"
#include "ui/main_unit.h"
#include "ui/options_dlg.h"
#include "ui/unit_list_dlg.h"

namespace {

// The SlaveAddrList tokens of `ports`, leaving out the port `except`.
AnsiStrVector UnitIdTokens(const EditableIni& ini, const AnsiStrVector& ports,
                           const AnsiString& except = AnsiString()) {
  AnsiStrVector tokens;
  for (const AnsiString& port : ports) {
    if (port == except) continue;
    SplitTokens(GetIniString(ini, port, "SlaveAddrList"), tokens, TOptionsDlg::kListDelimiters);
  }
  return tokens;
}

}  // namespace

void TOptionsDlg::ChoiceUnitIdsBtnClick() {
  UnitListDlg->MarkIds(UnitIdTokens(ini, ports, currentPort),
                       UnitIdTokens(ini, {currentPort}));
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
  if (ChoiceSerialPortDlg->MarkUsedIds(UnitIdTokens(ini, ports)) < 1) {
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
