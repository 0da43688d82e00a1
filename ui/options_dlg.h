#pragma once
// TOptionsDlg: the modal dialog that edits "Quorvelin.ini". It reads the
// file into a working copy of its own at every showing, shows the server
// settings (page 0) and one page per serial port (page 1), writes every
// change of a port page into the copy at once, and on OK checks the IP
// address, copies page 0 in and writes the whole copy back to the file.
#include <string>

#include "common/ini_edit.h"
#include "common/my_pcre.h"
#include "common/string_tokenizer.h"
#include "platform/ansi_string.h"
#include "ui/complib/bit_btn.h"
#include "ui/complib/check_box.h"
#include "ui/complib/combo_box.h"
#include "ui/complib/form.h"
#include "ui/complib/image_list.h"
#include "ui/complib/labeled_edit.h"
#include "ui/complib/page_control.h"
#include "ui/complib/popup_menu.h"
#include "ui/complib/radio_group.h"
#include "ui/complib/spin_edit.h"
#include "ui/complib/tree_view.h"

class TOptionsDlg : public TForm {
  Q_OBJECT

 public:
  explicit TOptionsDlg(QWidget* parent = nullptr);

  TTreeView* tvOptions;
  TPageControl* pcOptions;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  TBitBtn* OkBtn;
  TBitBtn* CancelBtn;
  TLabeledEdit* lbeIP;
  TBitBtn* Button1;
  TCSpinEdit* csePortNumber;
  TCSpinEdit* cseMaxConn;
  TCSpinEdit* cseTxTimeout;
  TCSpinEdit* cseRxTimeout;
  TCheckBox* cbxRunSvr;
  TCheckBox* cbxTrayIcon;
  TComboBox* cbxBaudrate;
  TRadioGroup* rgByteSize;
  TRadioGroup* rgParity;
  TRadioGroup* rgStopBits;
  TCSpinEdit* cseWriteTimeout;
  TCSpinEdit* cseReadTimeout;
  TCSpinEdit* cseRTS;
  TLabeledEdit* lbeUnits;
  TBitBtn* ChoiceUnitIdsBtn;
  TImageList imgListTvOptions;
  TPopupMenu* pmOptions;
  QAction* miAddSerialPort;
  TPopupMenu* pmDelete;
  QAction* Delete1;

  // The pages of pcOptions.
  static constexpr int kServerPage = 0;
  static constexpr int kPortPage = 1;
  // What separates the names of a list in the file.
  static constexpr const char* kListDelimiters = ", \t";

  // Event handlers.
  void FormShow();
  void tvOptionsMouseUp(TMouseButton Button, int X, int Y);
  void tvOptionsGetImageIndex(TTreeNode* Node);
  void tvOptionsGetSelectedIndex(TTreeNode* Node);
  void cbxBaudrateSelect();
  void rgByteSizeClick();
  void rgParityClick();
  void rgStopBitsClick();
  void cseRTSChange();
  void cseWriteTimeoutChange();
  void cseReadTimeoutChange();
  void ChoiceUnitIdsBtnClick();
  void Button1Click();
  void miAddSerialPortClick();
  void Delete1Click();
  void OkBtnClick();

  // The working copy of the file, the ports in the order of the tree, and
  // the port whose page is shown (the section page 1 writes into).
  EditableIni ini;
  AnsiStrVector ports;
  AnsiString currentPort;

  void ShowPortPage(const AnsiString& port);
  void AddPortSection(const AnsiString& port, const AnsiString& unit_ids);
  void DeletePort(const AnsiString& port);
  void SelectNode(const AnsiString& text);
  void SelectBaudrate(const AnsiString& value);
  void SelectStopBits(const AnsiString& value);
  void SelectByteSize(const AnsiString& value);
  void SelectParity(const AnsiString& value);

  // Writes `ini` to `file_name`, or to the file it was read from. False
  // with the reason in `error_text` when the file could not be written.
  bool SaveIni(std::string& error_text, const std::string& file_name = "");

 private:
  void BuildTree();
  void BuildButtons();
  void BuildServerPage();
  void BuildPortPage();
  void ConnectHandlers();
  void FillServerPage();
  bool IsValidIP(const AnsiString& address);
  bool IsServerValueEdited(const char* key, const AnsiString& shown_now,
                           AnsiString (*shown_for)(const AnsiString&)) const;
  void CopyServerValue(const char* key, const AnsiString& shown_now,
                       AnsiString (*shown_for)(const AnsiString&));
  void CopySwitch(const char* key, const TCheckBox* box);
  void CopyServerPageIntoIni();
  void WritePortValue(const char* key, const AnsiString& value);

  MyPcre ipPattern;
  // The port a right click chose for Delete; the page may show another.
  AnsiString deleteTarget_;
  // Why OK may not replace the file with the copy: this showing could not
  // read the file, or did not take all of it. Empty when it did.
  AnsiString readProblem_;
  // Filling page 1 shows a port; it is no edit of that port.
  bool fillingPortPage_ = false;
};
