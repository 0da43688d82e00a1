// The options dialog's behaviour: filling it, the tree and its menus, the
// port page and its handlers, adding and deleting ports, OK and saving.
#include "ui/options_dlg.h"

#include "gateway/ipv4_text.h"
#include "ui/complib/message_dlg.h"
#include "ui/options_values.h"

namespace {

constexpr const char* kIniFileName = "Quorvelin.ini";
enum ImageIndex { kRootImage, kRootSelectedImage, kLeafImage, kLeafSelectedImage };

// Why OK may not replace the file after a reading with this result, or ""
// when it may. `cannot_read` says why a file could not be read at all.
AnsiString ReadProblem(int read_result, const std::string& cannot_read) {
  const AnsiString file(kIniFileName);
  if (read_result == kIniCannotOpen) return AnsiString(cannot_read);
  if (read_result == kIniBadLine)
    return file + " has a line that cannot be read; correct it by hand. "
                  "The options are not saved.";
  if (read_result == kIniNothingRead)
    return file + " holds no setting that can be read; correct it by hand. "
                  "The options are not saved.";
  if (read_result == kIniLoneCarriageReturn)
    return file + " has a carriage return without a line feed after it; "
                  "correct it by hand. The options are not saved.";
  return AnsiString();
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
  // A file that cannot be read leaves the copy as an earlier showing left
  // it, edits the operator cancelled included: OK must not write it.
  std::string cannot_read;
  const int read = LoadEditableIni(ini, kIniFileName, cannot_read);
  readProblem_ = ReadProblem(read, cannot_read);
  tvOptions->Clear();
  TTreeNode* root = tvOptions->Add("Server");
  ports.clear();
  SplitTokens(GetIniString(ini, "ServerInfo", "SerialPorts"), ports, kListDelimiters);
  for (const AnsiString& port : ports) tvOptions->AddChild(root, port);
  FillServerPage();
  pcOptions->SetActivePageIndex(kServerPage);
  tvOptions->setFocus();
  tvOptions->Select(root);
  cbxRunSvr->SetChecked(ShownChecked(GetIniString(ini, "SystemStart", "RunServer")));
  cbxTrayIcon->SetChecked(ShownChecked(GetIniString(ini, "SystemStart", "TrayIcon")));
}

// Each field shows what the gateway reads from its key; a value it reads
// nothing from is shown as written, unclamped, and so is a number beyond
// the field's bounds.
void TOptionsDlg::FillServerPage() {
  lbeIP->SetText(ShownAddress(GetIniString(ini, "ServerInfo", "IP")));
  csePortNumber->SetText(ShownTcpPort(GetIniString(ini, "ServerInfo", "TCPPort")));
  cseTxTimeout->SetText(ShownUnsigned(GetIniString(ini, "ServerInfo", "TxTimeout")));
  cseRxTimeout->SetText(ShownUnsigned(GetIniString(ini, "ServerInfo", "RxTimeout")));
  cseMaxConn->SetText(ShownUnsigned(GetIniString(ini, "ServerInfo", "MaxConnections")));
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

// Shows what the gateway reads from the port's section. A value the page
// cannot show leaves its control without a selection, or shows it as
// written; it stays in the copy until the operator edits that control.
void TOptionsDlg::ShowPortPage(const AnsiString& port) {
  fillingPortPage_ = true;
  SelectBaudrate(GetIniString(ini, port, "Baudrate"));
  SelectStopBits(GetIniString(ini, port, "StopBits"));
  SelectByteSize(GetIniString(ini, port, "ByteSize"));
  SelectParity(GetIniString(ini, port, "Parity"));
  cseRTS->SetText(ShownUnsigned(GetIniString(ini, port, "RtsDelay")));
  cseWriteTimeout->SetText(ShownUnsigned(GetIniString(ini, port, "TxTimeout")));
  cseReadTimeout->SetText(ShownUnsigned(GetIniString(ini, port, "RxTimeout")));
  lbeUnits->SetText(GetIniString(ini, port, "SlaveAddrList"));
  fillingPortPage_ = false;
}

void TOptionsDlg::SelectBaudrate(const AnsiString& value) {
  cbxBaudrate->SetItemIndex(cbxBaudrate->IndexOf(ShownBaudrate(value)));
}

void TOptionsDlg::SelectStopBits(const AnsiString& value) {
  rgStopBits->SetItemIndex(StopBitsItem(value));
}

void TOptionsDlg::SelectByteSize(const AnsiString& value) {
  rgByteSize->SetItemIndex(ByteSizeItem(value));
}

void TOptionsDlg::SelectParity(const AnsiString& value) {
  rgParity->SetItemIndex(ParityItem(value));
}

// The operator's change of page 1, into the section of the port it shows.
void TOptionsDlg::WritePortValue(const char* key, const AnsiString& value) {
  if (fillingPortPage_ || currentPort.IsEmpty()) return;
  SetIniValue(ini, currentPort, key, value);
}

void TOptionsDlg::cbxBaudrateSelect() {
  WritePortValue("Baudrate", cbxBaudrate->Text());
}

void TOptionsDlg::rgByteSizeClick() {
  static const char* const kByteSizes[] = {"7", "8"};
  const int index = rgByteSize->ItemIndex();
  if (index < 0 || index > 1) return;
  WritePortValue("ByteSize", kByteSizes[index]);
}

void TOptionsDlg::rgParityClick() {
  if (rgParity->ItemIndex() < 0) return;
  WritePortValue("Parity", rgParity->ItemText(rgParity->ItemIndex()));
}

void TOptionsDlg::rgStopBitsClick() {
  static const char* const kStopBits[] = {"1", "1.5", "2"};
  const int index = rgStopBits->ItemIndex();
  if (index < 0 || index > 2) return;
  WritePortValue("StopBits", kStopBits[index]);
}

void TOptionsDlg::cseRTSChange() { WritePortValue("RtsDelay", cseRTS->Text()); }

void TOptionsDlg::cseWriteTimeoutChange() {
  WritePortValue("TxTimeout", cseWriteTimeout->Text());
}

void TOptionsDlg::cseReadTimeoutChange() {
  WritePortValue("RxTimeout", cseReadTimeout->Text());
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
  // Enter presses OK while the focus is still in a field: finish its
  // typing as leaving it would.
  for (TCSpinEdit* field : findChildren<TCSpinEdit*>()) field->FinishTyping();
  if (!readProblem_.IsEmpty()) {
    // Saving the copy would drop what the reader did not take.
    MessageDlg(readProblem_, mtError, {mbOK}, 0);
    return;
  }
  // The address the file holds is checked whether the operator edited it
  // or not: the gateway cannot listen on a name such as "localhost". OK
  // adds no missing key, so without one the field's text is not saved, and
  // not checked.
  if (FindIniValue(ini, "ServerInfo", "IP") != nullptr && !IsValidIP(lbeIP->Text())) {
    MessageDlg("Invalid IP address setting", mtError, {mbOK}, 0);
    pcOptions->SetActivePageIndex(kServerPage);
    lbeIP->setFocus();
    SelectNode("Server");
    return;
  }
  CopyServerPageIntoIni();
  AnsiString refusal;
  if (FindRefusedValue(ini, ports, refusal)) {
    MessageDlg(refusal + " The options are not saved.", mtError, {mbOK}, 0);
    return;
  }
  std::string error_text;
  if (!SaveIni(error_text)) {
    // The edits stay on screen and in the copy: the operator may retry.
    MessageDlg(AnsiString(error_text), mtError, {mbOK}, 0);
    return;
  }
  SetModalResult(mrOk);
}

// Page 0 shows each value as the gateway reads it; one the operator left
// as shown stays as written, so that "1000ms", "TRUE" or a number beyond
// the field's bounds is not replaced by another spelling of itself, or
// by something else.
bool TOptionsDlg::IsServerValueEdited(const char* key, const AnsiString& shown_now,
                                      AnsiString (*shown_for)(const AnsiString&)) const {
  return shown_now != shown_for(GetIniString(ini, "ServerInfo", key));
}

void TOptionsDlg::CopyServerValue(const char* key, const AnsiString& shown_now,
                                  AnsiString (*shown_for)(const AnsiString&)) {
  if (IsServerValueEdited(key, shown_now, shown_for))
    SetIniValue(ini, "ServerInfo", key, shown_now);
}

void TOptionsDlg::CopySwitch(const char* key, const TCheckBox* box) {
  if (box->Checked() != ShownChecked(GetIniString(ini, "SystemStart", key)))
    SetIniValue(ini, "SystemStart", key, box->Checked() ? "true" : "false");
}

void TOptionsDlg::CopyServerPageIntoIni() {
  CopyServerValue("IP", lbeIP->Text(), ShownAddress);
  CopyServerValue("TCPPort", csePortNumber->Text(), ShownTcpPort);
  CopyServerValue("TxTimeout", cseTxTimeout->Text(), ShownUnsigned);
  CopyServerValue("RxTimeout", cseRxTimeout->Text(), ShownUnsigned);
  CopyServerValue("MaxConnections", cseMaxConn->Text(), ShownUnsigned);
  if (!ports.empty()) SetIniValue(ini, "ServerInfo", "SerialPorts", JoinPorts(ports));
  CopySwitch("RunServer", cbxRunSvr);
  CopySwitch("TrayIcon", cbxTrayIcon);
}

bool TOptionsDlg::SaveIni(std::string& error_text, const std::string& file_name) {
  const std::string& target = file_name.empty() ? ini.FileName() : file_name;
  // Without a file that was read there is nothing to rewrite.
  if (target.empty()) return true;
  return WriteIniFile(ini, target, error_text) == 0;
}
