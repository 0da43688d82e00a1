#include "ui/ip_list_dlg.h"

#include "platform/local_addresses.h"
#include "ui/complib/fonts.h"

TIPListDlg::TIPListDlg(QWidget* parent) : TForm(parent) {
  setObjectName("IPListDlg");
  SetCaption("Available IP address List");
  SetClientSize(313, 214);

  lbxIP = new TListBox(this);
  lbxIP->setObjectName("lbxIP");
  lbxIP->setFont(FormFont("MS Sans Serif", -13));
  lbxIP->setCursor(Qt::PointingHandCursor);
  lbxIP->setGeometry(32, 16, 249, 137);

  BitBtn1 = new TBitBtn(bkOK, this);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->setGeometry(40, 176, 75, 25);

  BitBtn2 = new TBitBtn(bkCancel, this);
  BitBtn2->setObjectName("BitBtn2");
  BitBtn2->setGeometry(200, 176, 75, 25);

  setTabOrder(lbxIP, BitBtn1);
  setTabOrder(BitBtn1, BitBtn2);

  OnShow = [this] { FormShow(); };
}

void TIPListDlg::FormShow() {
  lbxIP->Clear();
  // The interfaces' own addresses: a lookup of the host's name finds only
  // what /etc/hosts says on most machines.
  for (const std::string& address : LocalIPv4Addresses()) lbxIP->Add(address);
  lbxIP->SetItemIndex(0);
}

bool TIPListDlg::SelectedAddress(AnsiString& address) const {
  if (lbxIP->ItemIndex() < 0) return false;
  address = lbxIP->Strings(lbxIP->ItemIndex());
  return true;
}
