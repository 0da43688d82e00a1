// The options dialog's behaviour: filling it, the tree and its menus, the
// port page and its handlers, adding and deleting ports, OK and saving.
#include "ui/options_dlg.h"

#include <cstdlib>

#include "gateway/ipv4_text.h"
#include "ui/complib/message_dlg.h"

namespace {

constexpr const char* kIniFileName = "Quorvelin.ini";
enum ImageIndex { kRootImage, kRootSelectedImage, kLeafImage, kLeafSelectedImage };

// A decimal integer and nothing else, saturated to int's range.
bool ReadDecimal(const AnsiString& text, int& value) {
  if (text.IsEmpty()) return false;
  char* end = nullptr;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || end == text.c_str()) return false;
  value = number > INT32_MAX ? INT32_MAX : number < INT32_MIN ? INT32_MIN
                                                              : static_cast<int>(number);
  return true;
}

// A missing or malformed number leaves the control as it was.
void ShowNumber(TCSpinEdit* edit, const AnsiString& text) {
  int value = 0;
  if (ReadDecimal(text, value)) edit->SetValue(value);
}

bool IsPortName(const AnsiString& text) { return text.Pos("COM") > 0; }

AnsiString JoinPorts(const AnsiStrVector& ports) {
  AnsiString joined;
  for (const AnsiString& port : ports) {
    if (!joined.IsEmpty()) joined += ",";
    joined += port;
  }
  return joined;
}

}  // namespace

void TOptionsDlg::FormShow() {
  // A file that cannot be opened leaves the copy, and what it lacks, as
  // the last reading left them.
  const int read = ini.Load(kIniFileName);
  if (read != kIniCannotOpen) readStoppedEarly_ = read == kIniBadLine;
  tvOptions->Clear();
  TTreeNode* root = tvOptions->Add("Server");
  ports.clear();
  SplitTokens(GetIniString(ini, "ServerInfo", "SerialPorts"), ports, kListDelimiters);
  for (const AnsiString& port : ports) tvOptions->AddChild(root, port);
  FillServerPage();
  pcOptions->SetActivePageIndex(kServerPage);
  tvOptions->setFocus();
  tvOptions->Select(root);
  cbxRunSvr->SetChecked(GetIniString(ini, "SystemStart", "RunServer") == "true");
  cbxTrayIcon->SetChecked(GetIniString(ini, "SystemStart", "TrayIcon") == "true");
}

void TOptionsDlg::FillServerPage() {
  lbeIP->SetText(GetIniString(ini, "ServerInfo", "IP"));
  ShowNumber(csePortNumber, GetIniString(ini, "ServerInfo", "TCPPort"));
  ShowNumber(cseTxTimeout, GetIniString(ini, "ServerInfo", "TxTimeout"));
  ShowNumber(cseRxTimeout, GetIniString(ini, "ServerInfo", "RxTimeout"));
  ShowNumber(cseMaxConn, GetIniString(ini, "ServerInfo", "MaxConnections"));
}

void TOptionsDlg::tvOptionsGetImageIndex(TTreeNode* Node) {
  // The picture follows the children, not the kind of node.
  if (Node->HasChildren())
    Node->ImageIndex = Node->Selected() ? kRootSelectedImage : kRootImage;
  else
    Node->ImageIndex = Node->Selected() ? kLeafSelectedImage : kLeafImage;
}

void TOptionsDlg::tvOptionsGetSelectedIndex(TTreeNode* Node) {
  Node->SelectedIndex = Node->ImageIndex;
}

void TOptionsDlg::tvOptionsMouseUp(TMouseButton Button, int X, int Y) {
  TTreeNode* node = tvOptions->GetNodeAt(X, Y);
  if (node == nullptr) return;
  if (Button == mbLeft) {
    if (!node->Selected()) return;
    if (IsPortName(node->Text())) {
      currentPort = node->Text();
      ShowPortPage(currentPort);
      pcOptions->SetActivePageIndex(kPortPage);
    } else {
      pcOptions->SetActivePageIndex(kServerPage);
    }
  } else if (Button == mbRight) {
    const QPoint at = tvOptions->ClientOrigin() + QPoint(X, Y);
    if (node->Text() == "Server") {
      tvOptions->Select(node);
      pcOptions->SetActivePageIndex(kServerPage);
      pmOptions->Popup(at.x(), at.y());
    } else if (IsPortName(node->Text()) && node->Selected()) {
      // The page keeps showing, and writing into, its own port.
      deleteTarget_ = node->Text();
      pmDelete->Popup(at.x(), at.y());
    }
  }
}

void TOptionsDlg::ShowPortPage(const AnsiString& port) {
  SelectBaudrate(GetIniString(ini, port, "Baudrate"));
  SelectStopBits(GetIniString(ini, port, "StopBits"));
  SelectByteSize(GetIniString(ini, port, "ByteSize"));
  SelectParity(GetIniString(ini, port, "Parity"));
  cseRTS->SetText(GetIniString(ini, port, "RtsDelay"));
  ShowNumber(cseWriteTimeout, GetIniString(ini, port, "TxTimeout"));
  ShowNumber(cseReadTimeout, GetIniString(ini, port, "RxTimeout"));
  lbeUnits->SetText(GetIniString(ini, port, "SlaveAddrList"));
}

void TOptionsDlg::SelectBaudrate(const AnsiString& value) {
  // A rate the list lacks shows no selection rather than the last port's.
  cbxBaudrate->SetItemIndex(cbxBaudrate->IndexOf(value));
}

void TOptionsDlg::SelectStopBits(const AnsiString& value) {
  rgStopBits->SetItemIndex(value == "1" ? 0 : value == "1.5" ? 1 : 2);
}

void TOptionsDlg::SelectByteSize(const AnsiString& value) {
  rgByteSize->SetItemIndex(value == "7" ? 0 : 1);
}

void TOptionsDlg::SelectParity(const AnsiString& value) {
  for (int i = 0; i < rgParity->ItemCount(); ++i) {
    if (rgParity->ItemText(i) == value) {
      rgParity->SetItemIndex(i);
      return;
    }
  }
}

void TOptionsDlg::cbxBaudrateSelect() {
  SetIniValue(ini, currentPort, "Baudrate", cbxBaudrate->Text());
}

void TOptionsDlg::rgByteSizeClick() {
  SetIniValue(ini, currentPort, "ByteSize", rgByteSize->ItemIndex() == 0 ? 7 : 8);
}

void TOptionsDlg::rgParityClick() {
  SetIniValue(ini, currentPort, "Parity", rgParity->ItemText(rgParity->ItemIndex()));
}

void TOptionsDlg::rgStopBitsClick() {
  static const char* const kStopBits[] = {"1", "1.5", "2"};
  const int index = rgStopBits->ItemIndex();
  if (index < 0 || index > 2) return;
  SetIniValue(ini, currentPort, "StopBits", kStopBits[index]);
}

void TOptionsDlg::cseRTSChange() {
  if (!currentPort.IsEmpty())
    SetIniValue(ini, currentPort, "RtsDelay", cseRTS->Text());
}

void TOptionsDlg::cseWriteTimeoutChange() {
  SetIniValue(ini, currentPort, "TxTimeout", cseWriteTimeout->Text());
}

void TOptionsDlg::cseReadTimeoutChange() {
  SetIniValue(ini, currentPort, "RxTimeout", cseReadTimeout->Text());
}

void TOptionsDlg::AddPortSection(const AnsiString& port, const AnsiString& unit_ids) {
  ports.push_back(port);
  AddPortDefaults(ini, port, unit_ids);
}

void TOptionsDlg::Delete1Click() {
  AnsiString question;
  question.sprintf("Do you want to delete %s?", deleteTarget_.c_str());
  if (MessageDlg(question, mtConfirmation, {mbOK, mbCancel}, 0) != mrOk) return;
  DeletePort(deleteTarget_);
}

void TOptionsDlg::DeletePort(const AnsiString& port) {
  if (ports.empty()) return;
  RemoveIniSection(ini, port);
  for (auto entry = ports.begin(); entry != ports.end(); ++entry) {
    if (*entry == port) {
      ports.erase(entry);
      break;
    }
  }
  SetIniValue(ini, "ServerInfo", "SerialPorts", JoinPorts(ports));
  for (int i = 0; i < tvOptions->Count(); ++i) {
    if (tvOptions->Item(i)->Text() == port) {
      tvOptions->Delete(tvOptions->Item(i));
      break;
    }
  }
  TTreeNode* shown = tvOptions->Selected();
  if (shown == nullptr) return;
  if (IsPortName(shown->Text())) {
    currentPort = shown->Text();
    ShowPortPage(currentPort);
  } else {
    shown->Expand(true);
    pcOptions->SetActivePageIndex(kServerPage);
  }
}

void TOptionsDlg::SelectNode(const AnsiString& text) {
  for (int i = 0; i < tvOptions->Count(); ++i) {
    if (tvOptions->Item(i)->Text() == text) {
      tvOptions->Select(tvOptions->Item(i));
      return;
    }
  }
}

bool TOptionsDlg::IsValidIP(const AnsiString& address) {
  if (ipPattern.Exec(address.c_str(), address.Length(), 0, 0) < 1) return false;
  // The pattern lets 999 through, which the gateway would refuse to bind.
  in_addr unused;
  return ParseIpv4Text(address.c_str(), unused);
}

void TOptionsDlg::OkBtnClick() {
  if (readStoppedEarly_) {
    // Only the part above the unreadable line was read: saving would
    // drop the rest of the file.
    MessageDlg(AnsiString(kIniFileName) +
                   " has a line that cannot be read; correct it by hand. "
                   "The options are not saved.",
               mtError, {mbOK}, 0);
    return;
  }
  if (!IsValidIP(lbeIP->Text())) {
    MessageDlg("Invalid IP address setting", mtError, {mbOK}, 0);
    pcOptions->SetActivePageIndex(kServerPage);
    lbeIP->setFocus();
    SelectNode("Server");
    return;
  }
  CopyServerPageIntoIni();
  std::string error_text;
  if (!SaveIni(error_text)) {
    // The edits stay on screen and in the copy: the operator may retry.
    MessageDlg(AnsiString(error_text), mtError, {mbOK}, 0);
    return;
  }
  SetModalResult(mrOk);
}

void TOptionsDlg::CopyServerPageIntoIni() {
  SetIniValue(ini, "ServerInfo", "IP", lbeIP->Text());
  SetIniValue(ini, "ServerInfo", "TCPPort", csePortNumber->Text());
  SetIniValue(ini, "ServerInfo", "TxTimeout", cseTxTimeout->Text());
  SetIniValue(ini, "ServerInfo", "RxTimeout", cseRxTimeout->Text());
  SetIniValue(ini, "ServerInfo", "MaxConnections", cseMaxConn->Text());
  if (!ports.empty()) SetIniValue(ini, "ServerInfo", "SerialPorts", JoinPorts(ports));
  SetIniValue(ini, "SystemStart", "RunServer", cbxRunSvr->Checked() ? "true" : "false");
  SetIniValue(ini, "SystemStart", "TrayIcon", cbxTrayIcon->Checked() ? "true" : "false");
}

bool TOptionsDlg::SaveIni(std::string& error_text, const std::string& file_name) {
  const std::string& target = file_name.empty() ? ini.FileName() : file_name;
  // Without a file that was read there is nothing to rewrite.
  if (target.empty()) return true;
  return WriteIniFile(ini, target, error_text) == 0;
}
