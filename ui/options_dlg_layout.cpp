// The options dialog's controls: where they stand, what they offer, and
// which handler each event runs.
#include <QGroupBox>
#include <QLabel>

#include "common/config_values.h"
#include "ui/options_dlg.h"
#include "ui/tree_images.h"

namespace {

constexpr const char* kIPv4Pattern = "^(\\d{1,3}\\.){3}\\d{1,3}$";

QLabel* NewLabel(const char* text, QWidget* parent, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  label->adjustSize();
  return label;
}

TCSpinEdit* NewSpinEdit(const char* name, QWidget* parent, QRect where,
                        int min_value, int max_value) {
  auto* edit = new TCSpinEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(where);
  edit->SetBounds(min_value, max_value);
  return edit;
}

TRadioGroup* NewRadioGroup(const char* name, const char* caption,
                           QWidget* parent, QRect where,
                           std::initializer_list<const char*> items) {
  auto* group = new TRadioGroup(caption, parent);
  group->setObjectName(name);
  group->setGeometry(where);
  for (const char* item : items) group->AddItem(item);
  group->SetItemIndex(0);
  return group;
}

}  // namespace

TOptionsDlg::TOptionsDlg(QWidget* parent)
    : TForm(parent), ipPattern(kIPv4Pattern, 0) {
  setObjectName("OptionsDlg");
  SetCaption("Options");
  SetClientSize(452, 445);
  BuildTree();
  pcOptions = new TPageControl(this);
  pcOptions->setObjectName("pcOptions");
  pcOptions->setGeometry(121, 0, 331, 390);
  BuildServerPage();
  BuildPortPage();
  BuildButtons();
  ConnectHandlers();
}

void TOptionsDlg::BuildTree() {
  imgListTvOptions.Add(DrawTreeImage(kComputerImage));
  imgListTvOptions.Add(DrawTreeImage(kComputerSelectedImage));
  imgListTvOptions.Add(DrawTreeImage(kPlugImage));
  imgListTvOptions.Add(DrawTreeImage(kPlugSelectedImage));
  tvOptions = new TTreeView(this);
  tvOptions->setObjectName("tvOptions");
  tvOptions->setGeometry(0, 0, 121, 390);
  tvOptions->setIndentation(19);
  tvOptions->Images = &imgListTvOptions;

  pmOptions = new TPopupMenu(this);
  pmOptions->setObjectName("pmOptions");
  miAddSerialPort = pmOptions->AddItem("miAddSerialPort", "Add Serial Port",
                                       [this] { miAddSerialPortClick(); });
  pmDelete = new TPopupMenu(this);
  pmDelete->setObjectName("pmDelete");
  Delete1 = pmDelete->AddItem("Delete1", "Delete", [this] { Delete1Click(); });
}

void TOptionsDlg::BuildButtons() {
  auto* panel = new QWidget(this);
  panel->setObjectName("Panel1");
  panel->setGeometry(0, 390, 452, 55);
  // OK sets its result itself, after its checks.
  OkBtn = new TBitBtn(bkCustom, panel);
  OkBtn->setObjectName("OkBtn");
  OkBtn->SetCaption("OK");
  OkBtn->SetDefault(true);
  OkBtn->setGeometry(264, 15, 80, 25);
  CancelBtn = new TBitBtn(bkCancel, panel);
  CancelBtn->setObjectName("CancelBtn");
  CancelBtn->SetCaption("CANCEL");
  CancelBtn->setGeometry(356, 15, 80, 25);
}

void TOptionsDlg::BuildServerPage() {
  TabSheet1 = pcOptions->AddPage("TabSheet1");
  lbeIP = new TLabeledEdit("IP Address", TabSheet1);
  lbeIP->setObjectName("lbeIP");
  lbeIP->setGeometry(16, 32, 140, 21);
  lbeIP->setMaxLength(15);
  Button1 = new TBitBtn(bkCustom, TabSheet1);
  Button1->setObjectName("Button1");
  Button1->SetCaption("...");
  Button1->setGeometry(160, 32, 24, 21);

  NewLabel("Port Number", TabSheet1, 16, 66);
  csePortNumber = NewSpinEdit("csePortNumber", TabSheet1, {16, 82, 100, 22}, 0, 65535);
  NewLabel("Max Connections", TabSheet1, 160, 66);
  cseMaxConn = NewSpinEdit("cseMaxConn", TabSheet1, {160, 82, 100, 22}, 1, 2000);

  auto* timeouts = new QGroupBox("Time-out Setting(ms)", TabSheet1);
  timeouts->setGeometry(8, 120, 310, 70);
  NewLabel("Send", timeouts, 8, 20);
  cseTxTimeout = NewSpinEdit("cseTxTimeout", timeouts, {8, 36, 100, 22}, 5, 60000);
  NewLabel("Receive", timeouts, 152, 20);
  cseRxTimeout = NewSpinEdit("cseRxTimeout", timeouts, {152, 36, 100, 22}, 0, 0);

  auto* start = new QGroupBox("System Start", TabSheet1);
  start->setGeometry(8, 200, 310, 70);
  cbxRunSvr = new TCheckBox("Running Server", start);
  cbxRunSvr->setObjectName("cbxRunSvr");
  cbxRunSvr->setGeometry(8, 20, 290, 20);
  cbxTrayIcon = new TCheckBox("Minimize Window to Tray Icon", start);
  cbxTrayIcon->setObjectName("cbxTrayIcon");
  cbxTrayIcon->setGeometry(8, 42, 290, 20);
}

void TOptionsDlg::BuildPortPage() {
  TabSheet2 = pcOptions->AddPage("TabSheet2");
  NewLabel("Baudrate", TabSheet2, 16, 16);
  cbxBaudrate = new TComboBox(TabSheet2);
  cbxBaudrate->setObjectName("cbxBaudrate");
  cbxBaudrate->setGeometry(16, 32, 120, 22);
  for (const char* rate : {"110", "300", "600", "1200", "2400", "4800", "9600",
                           "14400", "19200", "28800", "56000", "57600", "115200"})
    cbxBaudrate->Add(rate);
  cbxBaudrate->SetItemIndex(0);

  rgByteSize = NewRadioGroup("rgByteSize", "Number of bits", TabSheet2,
                             {168, 8, 150, 64}, {"7 bit", "8 bit"});
  rgParity = NewRadioGroup("rgParity", "Parity", TabSheet2, {8, 80, 150, 84},
                           {"odd", "even", "none"});
  rgStopBits = NewRadioGroup("rgStopBits", "Stop Bits", TabSheet2,
                             {168, 80, 150, 84}, {"1 bit", "1.5 bit", "2 bit"});

  auto* timeouts = new QGroupBox("Serial I/O Time-out(ms)", TabSheet2);
  timeouts->setGeometry(8, 172, 310, 70);
  NewLabel("Write", timeouts, 8, 20);
  cseWriteTimeout = NewSpinEdit("cseWriteTimeout", timeouts, {8, 36, 100, 22}, 5,
                               kLongestDialogPortTimeoutMs);
  NewLabel("Read", timeouts, 152, 20);
  cseReadTimeout = NewSpinEdit("cseReadTimeout", timeouts, {152, 36, 100, 22}, 5,
                               kLongestDialogPortTimeoutMs);

  NewLabel("RTS Delay", TabSheet2, 16, 254);
  cseRTS = NewSpinEdit("cseRTS", TabSheet2, {16, 270, 100, 22}, 0, 60000);
  NewLabel("ms", TabSheet2, 122, 274);

  lbeUnits = new TLabeledEdit("UNIT ID List", TabSheet2, lpLeft);
  lbeUnits->setObjectName("lbeUnits");
  lbeUnits->setGeometry(96, 316, 190, 21);
  lbeUnits->setReadOnly(true);
  ChoiceUnitIdsBtn = new TBitBtn(bkCustom, TabSheet2);
  ChoiceUnitIdsBtn->setObjectName("ChoiceUnitIdsBtn");
  ChoiceUnitIdsBtn->SetCaption("...");
  ChoiceUnitIdsBtn->setGeometry(290, 316, 24, 21);
}

void TOptionsDlg::ConnectHandlers() {
  OnShow = [this] { FormShow(); };
  tvOptions->OnMouseUp = [this](TMouseButton Button, int X, int Y) {
    tvOptionsMouseUp(Button, X, Y);
  };
  tvOptions->OnGetImageIndex = [this](TTreeNode* Node) { tvOptionsGetImageIndex(Node); };
  tvOptions->OnGetSelectedIndex = [this](TTreeNode* Node) {
    tvOptionsGetSelectedIndex(Node);
  };
  OkBtn->OnClick = [this] { OkBtnClick(); };
  Button1->OnClick = [this] { Button1Click(); };
  ChoiceUnitIdsBtn->OnClick = [this] { ChoiceUnitIdsBtnClick(); };
  cbxBaudrate->OnChange = [this] { cbxBaudrateSelect(); };
  rgByteSize->OnClick = [this] { rgByteSizeClick(); };
  rgParity->OnClick = [this] { rgParityClick(); };
  rgStopBits->OnClick = [this] { rgStopBitsClick(); };
  cseRTS->OnChange = [this] { cseRTSChange(); };
  cseWriteTimeout->OnChange = [this] { cseWriteTimeoutChange(); };
  cseReadTimeout->OnChange = [this] { cseReadTimeoutChange(); };
}
