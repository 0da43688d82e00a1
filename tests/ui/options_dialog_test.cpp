// The options dialog as an operator uses it from the main window, on a
// real "Quorvelin.ini" in a temporary folder: what it shows, what it
// writes and when, ports added and deleted, the checks and failures of
// OK, and a saved file that the next Run serves through.
#include <QMessageBox>
#include <QPushButton>

#include "common/setting.h"
#include "gateway/gateway_control.h"
#include "program_fixture.h"
#include "ui/choice_serial_port_dlg.h"
#include "ui/ip_list_dlg.h"
#include "ui/unit_list_dlg.h"
#include "tests/support/child_process.h"
#include "tests/support/modbus_frames.h"
#include "tests/support/raw_modbus_client.h"

namespace {

using namespace qvtest;

const char kHandWritten[] =
    "; Quorvelin settings, by hand\n"
    "[SystemStart]\nRunServer=True\nTrayIcon=false\n\n"
    "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=70000\nIP=127.0.0.1\n"
    "TxTimeout=1000\nRxTimeout=60000\nSerialPorts=COM2, COM10\n"
    "MaxConnections=8\n\n"
    "# the ports\n"
    "[COM2]\nBaudrate=38400\nParity=none\nByteSize=8\nStopBits=1\n"
    "SlaveAddrList=1\nRtsDelay=0\nTxTimeout=500\nRxTimeout=500\nProtocol=\n"
    "[COM10]\nbaudrate=19200\nParity=even\nByteSize=8\nStopBits=1\n"
    "SlaveAddrList=2\nRtsDelay=0\nTxTimeout=500\nRxTimeout=500\n\n"
    "[ErrorMsgDB]\nEN=ErrorMsg_EN.ini\n";

class OptionsDialog : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    StartProgram();
    MainForm->show();
  }

  std::string IniFile() const { return folder_.File("Quorvelin.ini"); }

  // Opens the dialog from the Options item and runs `operate` in it.
  void WithOptions(std::function<void(TOptionsDlg*)> operate) {
    bool ran = false;
    AnswerNext<TOptionsDlg>([&](TOptionsDlg* dialog) {
      operate(dialog);
      ran = true;
    });
    ASSERT_TRUE(MainForm->imOptions->isEnabled());
    MainForm->imOptions->trigger();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(OptionsDlg->isVisible());
  }

  // Presses and releases a mouse button on the tree node with that text.
  void ClickNode(const char* text, Qt::MouseButton button = Qt::LeftButton) {
    TTreeView* tree = OptionsDlg->tvOptions;
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1) << text;
    QTest::mouseClick(tree->viewport(), button, {},
                      tree->visualItemRect(found[0]).center());
  }

  // The operator picks a baud rate from the list.
  void PickBaudrate(const char* rate) {
    TComboBox* list = OptionsDlg->cbxBaudrate;
    list->SetItemIndex(list->IndexOf(rate));
    emit list->activated(list->ItemIndex());
  }

  // Presses OK while a message box is expected; returns its text.
  QString OkWithMessage() {
    QString text;
    AnswerNext<QMessageBox>([&](QMessageBox* box) {
      text = box->text();
      box->button(QMessageBox::Ok)->click();
    });
    OptionsDlg->OkBtn->click();
    QTest::qWait(50);  // a close, if any, is queued behind the click
    return text;
  }

  AnsiString Value(const char* section, const char* key) {
    return GetIniString(OptionsDlg->ini, section, key);
  }
};

TEST_F(OptionsDialog, PortPageWritesAtOnceCancelKeepsTheFileOkRewritesItSorted) {
  folder_.Write("Quorvelin.ini", kHandWritten);
  WithOptions([&](TOptionsDlg* dialog) {
    EXPECT_EQ(dialog->csePortNumber->Text(), "65535");
    EXPECT_FALSE(dialog->cbxRunSvr->Checked());  // "True" is not "true"
    ClickNode("COM10");
    EXPECT_EQ(dialog->pcOptions->ActivePageIndex(), 1);
    EXPECT_EQ(dialog->cbxBaudrate->Text(), "19200");  // hand-written "baudrate"
    ClickNode("COM2");
    EXPECT_EQ(dialog->cbxBaudrate->ItemIndex(), -1);  // 38400 is not offered
    EXPECT_EQ(Value("COM2", "Baudrate"), "38400");
    PickBaudrate("115200");
    EXPECT_EQ(Value("COM2", "Baudrate"), "115200");
    dialog->CancelBtn->click();
  });
  EXPECT_EQ(ReadFile(IniFile()), kHandWritten);

  WithOptions([&](TOptionsDlg* dialog) {
    EXPECT_EQ(Value("COM2", "Baudrate"), "38400");  // the cancelled edit is gone
    ClickNode("COM10");
    PickBaudrate("9600");
    dialog->OkBtn->click();
  });
  EXPECT_EQ(ReadFile(IniFile()),
            "[COM10]\nByteSize=8\nParity=even\nRtsDelay=0\nRxTimeout=500\n"
            "SlaveAddrList=2\nStopBits=1\nTxTimeout=500\nbaudrate=9600\n\n"
            "[COM2]\nBaudrate=38400\nByteSize=8\nParity=none\nProtocol=\n"
            "RtsDelay=0\nRxTimeout=500\nSlaveAddrList=1\nStopBits=1\n"
            "TxTimeout=500\n\n"
            "[ErrorMsgDB]\nEN=ErrorMsg_EN.ini\n\n"
            "[ServerInfo]\nErrorMsgDB=EN\nIP=127.0.0.1\nMaxConnections=8\n"
            "RxTimeout=60000\nSerialPorts=COM2,COM10\nTCPPort=65535\n"
            "TxTimeout=1000\n\n"
            "[SystemStart]\nRunServer=false\nTrayIcon=false\n\n");
}

TEST_F(OptionsDialog, AddedAndDeletedPortsAndADismissedDeleteMenu) {
  folder_.Write("Quorvelin.ini", std::string(kHandWritten) +
                                     "[COM5]\nBaudrate=4800\nRtsDelay=3\n");
  PtyPort com5(ports_, 5);
  WithOptions([&](TOptionsDlg* dialog) {
    // A port whose section was left in the file keeps what it holds.
    ClickNode("Server", Qt::RightButton);
    ASSERT_TRUE(LoopUntil([&] { return dialog->pmOptions->isVisible(); }));
    dialog->pmOptions->close();
    AnswerNext<TChoiceSerialPortDlg>([](TChoiceSerialPortDlg* chooser) {
      chooser->cbxSerialPorts->SetItemIndex(chooser->cbxSerialPorts->IndexOf("COM5"));
      chooser->clbUnitIds->SetChecked(9, true);
      chooser->OkBtn->click();
    });
    dialog->miAddSerialPort->trigger();
    EXPECT_EQ(dialog->tvOptions->Selected()->Text(), "COM5");
    EXPECT_EQ(dialog->pcOptions->ActivePageIndex(), 1);
    EXPECT_EQ(dialog->lbeUnits->Text(), "9");
    EXPECT_EQ(Value("COM5", "Baudrate"), "4800");
    EXPECT_EQ(dialog->ini.Sections.at("COM5").size(), 9u);

    // The right-click menu on COM10 is dismissed; the page still shows
    // COM2 and its edits still go to COM2.
    ClickNode("COM2");
    ClickNode("COM10", Qt::RightButton);
    ASSERT_TRUE(LoopUntil([&] { return dialog->pmDelete->isVisible(); }));
    dialog->pmDelete->close();
    dialog->cseRTS->SetText("25");
    EXPECT_EQ(Value("COM2", "RtsDelay"), "25");
    EXPECT_EQ(Value("COM10", "RtsDelay"), "0");

    for (const char* port : {"COM10", "COM5", "COM2"}) {
      ClickNode(port);
      ClickNode(port, Qt::RightButton);
      QString question;
      AnswerNext<QMessageBox>([&](QMessageBox* box) {
        question = box->text();
        box->button(QMessageBox::Ok)->click();
      });
      dialog->Delete1->trigger();
      EXPECT_EQ(question, QString("Do you want to delete %1?").arg(port));
    }
    EXPECT_EQ(dialog->tvOptions->Count(), 1);
    EXPECT_EQ(dialog->pcOptions->ActivePageIndex(), 0);
    dialog->OkBtn->click();
  });
  const std::string written = ReadFile(IniFile());
  EXPECT_NE(written.find("SerialPorts=\n"), std::string::npos) << written;
  EXPECT_EQ(written.find("[COM2]"), std::string::npos) << written;
}

TEST_F(OptionsDialog, OkRefusedKeepsTheDialogOpenAndTheFileAsItWas) {
  WriteConfig(folder_, config_);
  const std::string before = ReadFile(IniFile());
  WithOptions([&](TOptionsDlg* dialog) {
    dialog->lbeIP->SetText("999.1.1.1");
    EXPECT_EQ(OkWithMessage(), "Invalid IP address setting");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->pcOptions->ActivePageIndex(), 0);

    dialog->lbeIP->SetText("127.0.0.1");
    dialog->csePortNumber->SetText("1502");
    {
      ScopedReadOnly read_only(IniFile());
      EXPECT_EQ(OkWithMessage(),
                QString::fromStdString("Cannot write Quorvelin.ini: Permission denied"));
    }
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->csePortNumber->Text(), "1502");  // the edits stay
    dialog->CancelBtn->click();
  });
  EXPECT_EQ(ReadFile(IniFile()), before);

  // Only the lines above an unreadable one were read: saving them would
  // lose the rest.
  folder_.Write("Quorvelin.ini", before + "this line is no setting\n[Later]\nk=v\n");
  WithOptions([&](TOptionsDlg* dialog) {
    EXPECT_TRUE(OkWithMessage().startsWith("Quorvelin.ini has a line that cannot be read"));
    EXPECT_TRUE(dialog->isVisible());
    dialog->CancelBtn->click();
  });
  EXPECT_NE(ReadFile(IniFile()).find("[Later]"), std::string::npos);
}

TEST_F(OptionsDialog, SavedSettingsAreServedByTheNextRun) {
  const std::string device_program = std::string(QV_BINARY_DIR) + "/tools/rtu_device";
  if (access(device_program.c_str(), X_OK) != 0) GTEST_SKIP() << "no rtu_device";
  ChildProcess device({device_program, "--fd", "3", "--unit", "12"}, com1_.FarFd());
  std::string line;
  ASSERT_TRUE(device.ReadLine(line, 30000) && line == "ready") << line;

  const int new_port = FreeLoopbackPort();
  WithOptions([&](TOptionsDlg* dialog) {
    dialog->csePortNumber->SetValue(new_port);
    dialog->lbeIP->SetText("");
    AnswerNext<TIPListDlg>([](TIPListDlg* addresses) {
      for (int i = 0; i < addresses->lbxIP->Count(); ++i)
        if (addresses->lbxIP->Strings(i) == "127.0.0.1") addresses->lbxIP->SetItemIndex(i);
      addresses->BitBtn1->click();
    });
    dialog->Button1->click();
    EXPECT_EQ(dialog->lbeIP->Text(), "127.0.0.1");
    ClickNode("COM1");
    PickBaudrate("19200");
    AnswerNext<TUnitListDlg>([](TUnitListDlg* units) {
      units->clbUnitIds->SetChecked(12, true);
      units->OkBtn->click();
    });
    dialog->ChoiceUnitIdsBtn->click();
    EXPECT_EQ(dialog->lbeUnits->Text(), "1,2,3,4,5,6,7,8,9,10,12");
    dialog->OkBtn->click();
  });
  MainForm->RunBtn->click();
  ASSERT_TRUE(IsGatewayRunning());
  EXPECT_FALSE(MainForm->imOptions->isEnabled());
  EXPECT_EQ(gSetting->GetComParam(0)->Baudrate, 19200u);

  RawModbusClient client(new_port);
  ASSERT_TRUE(client.IsConnected());
  ASSERT_TRUE(client.Send(TcpFrame(1, 12, Bytes({0x03, 0x00, 0x00, 0x00, 0x01}))));
  EXPECT_EQ(client.ReadFrame(), TcpFrame(1, 12, Bytes({0x03, 0x02, 0x2E, 0xE0})));
}

}  // namespace
