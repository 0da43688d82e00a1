// The options dialog as an operator uses it from the main window, on a
// real "Quorvelin.ini" in a temporary folder: what it shows, what it
// writes and when, ports added and deleted, the checks and failures of
// OK, and a saved file that the next Run serves through.
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>

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
    "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=1502 ; modbus\nIP=127.0.0.1\n"
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

  void ClickNode(const char* text, Qt::MouseButton button = Qt::LeftButton) {
    qvtest::ClickNode(OptionsDlg->tvOptions, text, button);
  }

  // The operator picks a baud rate from the list.
  void PickBaudrate(const char* rate) {
    TComboBox* list = OptionsDlg->cbxBaudrate;
    list->SetItemIndex(list->IndexOf(rate));
    emit list->activated(list->ItemIndex());
  }

  // Presses OK, or Enter in `field`; answers the message box it shows, if
  // any, and returns the box's text ("" for none).
  QString PressOk(QWidget* field = nullptr) {
    QString text;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible() || !text.isEmpty()) return;
      text = box->text();
      box->button(QMessageBox::Ok)->click();
    });
    answer.start(10);
    if (field != nullptr)
      QTest::keyClick(field, Qt::Key_Return);
    else
      OptionsDlg->OkBtn->click();
    QTest::qWait(50);  // a close, if any, is queued behind the click
    return text;
  }

  AnsiString Value(const char* section, const char* key) {
    return GetIniString(OptionsDlg->ini, section, key);
  }

  // The file, `good` again after one OK refused, saves an edit as ever:
  // nothing of the refused showing is said again.
  void ExpectOkSavesTheMendedFile(const std::string& good) {
    folder_.Write("Quorvelin.ini", good);
    WithOptions([&](TOptionsDlg* dialog) {
      dialog->lbeIP->SetText("127.0.0.2");
      EXPECT_EQ(PressOk().toStdString(), "");
      if (dialog->isVisible()) dialog->CancelBtn->click();
    });
    const std::string saved = ReadFile(IniFile());
    EXPECT_NE(saved.find("IP=127.0.0.2\n"), std::string::npos) << saved;
  }
};

std::string Replaced(std::string text, const std::string& old_text, const std::string& new_text) {
  const auto at = text.find(old_text);
  if (at != std::string::npos) text.replace(at, old_text.size(), new_text);
  return text;
}

TEST_F(OptionsDialog, PortPageWritesAtOnceCancelKeepsTheFileOkRewritesItSorted) {
  folder_.Write("Quorvelin.ini", kHandWritten);
  WithOptions([&](TOptionsDlg* dialog) {
    EXPECT_EQ(dialog->csePortNumber->Text(), "1502");
    EXPECT_TRUE(dialog->cbxRunSvr->Checked());  // "True", as the gateway reads it
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
            "RxTimeout=60000\nSerialPorts=COM2,COM10\nTCPPort=1502 ; modbus\n"
            "TxTimeout=1000\n\n"
            "[SystemStart]\nRunServer=True\nTrayIcon=false\n\n");
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
    EXPECT_EQ(PressOk(), "Invalid IP address setting");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->pcOptions->ActivePageIndex(), 0);
    dialog->CancelBtn->click();
  });

  // An address the file holds is checked though the operator left it.
  const std::string by_name = Replaced(before, "IP=127.0.0.1", "IP=localhost");
  folder_.Write("Quorvelin.ini", by_name);
  WithOptions([&](TOptionsDlg* dialog) {
    ClickNode("COM1");
    EXPECT_EQ(PressOk(), "Invalid IP address setting");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->pcOptions->ActivePageIndex(), 0);
    EXPECT_EQ(dialog->focusWidget(), dialog->lbeIP);
    EXPECT_EQ(dialog->tvOptions->Selected()->Text(), "Server");
    dialog->CancelBtn->click();
  });
  EXPECT_EQ(ReadFile(IniFile()), by_name);

  folder_.Write("Quorvelin.ini", before);
  WithOptions([&](TOptionsDlg* dialog) {
    dialog->lbeIP->SetText("127.0.0.1");
    dialog->csePortNumber->SetText("1502");
    {
      ScopedReadOnly read_only(IniFile());
      EXPECT_EQ(PressOk(),
                QString::fromStdString("Cannot write Quorvelin.ini: Permission denied"));
    }
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->csePortNumber->Text(), "1502");  // the edits stay
    dialog->CancelBtn->click();
  });
  EXPECT_EQ(ReadFile(IniFile()), before);

  // The reader took only part of the file, or nothing of it: saving what
  // it took would lose the rest.
  std::string cr_only = "; Quorvelin settings\r" + before;
  std::replace(cr_only.begin(), cr_only.end(), '\n', '\r');
  const struct {
    std::string file;
    const char* message;
  } unreadable[] = {
      {before + "this line is no setting\n[Later]\nk=v\n",
       "Quorvelin.ini has a line that cannot be read"},
      {cr_only, "Quorvelin.ini holds no setting that can be read"},
      {"; note\r[COM2]\rBaudrate=19200\rParity=none\r\n" + before,
       "Quorvelin.ini has a carriage return without a line feed after it"},
  };
  for (const auto& file : unreadable) {
    folder_.Write("Quorvelin.ini", file.file);
    WithOptions([&](TOptionsDlg* dialog) {
      dialog->lbeIP->SetText("127.0.0.2");  // an edit to save
      EXPECT_TRUE(PressOk().startsWith(file.message)) << file.message;
      EXPECT_TRUE(dialog->isVisible());
      dialog->CancelBtn->click();
    });
    EXPECT_EQ(ReadFile(IniFile()), file.file) << file.message;
    ExpectOkSavesTheMendedFile(before);
  }
}

// Each way a file cannot be read leaves the dialog the copy that an earlier
// showing read, with the edits the operator cancelled in it.
TEST_F(OptionsDialog, AShowingThatCannotReadTheFileWritesNothing) {
  enum Way { kWriteOnly, kDeleted, kFolder };
  const struct {
    Way way;
    const char* reason;
  } ways[] = {
      {kWriteOnly, "Permission denied"},
      {kDeleted, "No such file or directory"},
      {kFolder, "Is a directory"},
  };
  WriteConfig(folder_, config_);
  const std::string before = ReadFile(IniFile());
  for (const auto& way : ways) {
    SCOPED_TRACE(way.reason);
    folder_.Write("Quorvelin.ini", before);
    WithOptions([&](TOptionsDlg* dialog) {
      ClickNode("COM1");
      ClickRadio(dialog->rgParity, "even");
      EXPECT_EQ(Value("COM1", "Parity"), "even");
      dialog->CancelBtn->click();
    });
    std::optional<ScopedUnreadable> write_only;
    if (way.way == kWriteOnly) {
      write_only.emplace(IniFile());
      ASSERT_FALSE(std::ifstream(IniFile()).is_open()) << "still readable";
    } else {
      std::filesystem::remove(IniFile());
    }
    if (way.way == kFolder) std::filesystem::create_directory(IniFile());
    const std::set<std::string> entries = FolderEntries(folder_.path());

    WithOptions([&](TOptionsDlg* dialog) {
      EXPECT_EQ(PressOk().toStdString(), std::string("Cannot read Quorvelin.ini: ") + way.reason);
      EXPECT_TRUE(dialog->isVisible());
      dialog->CancelBtn->click();
    });
    EXPECT_EQ(FolderEntries(folder_.path()), entries);
    write_only.reset();
    if (way.way == kWriteOnly) {
      EXPECT_EQ(ReadFile(IniFile()), before);
    } else if (way.way == kFolder) {
      EXPECT_TRUE(std::filesystem::is_empty(IniFile()));
      std::filesystem::remove(IniFile());
    }
    ExpectOkSavesTheMendedFile(before);
  }
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

// What the gateway uses, field by field: the server block, the start-up
// switches and every port in the order of SerialPorts.
std::string LoadedSettings(const TSetting& settings) {
  std::ostringstream text;
  const TSetting::TCP* server = settings.GetTCP();
  text << "TCPPort=" << server->TCPPort << " IP=" << server->IP
       << " TxTimeout=" << server->TxTimeout << " RxTimeout=" << server->RxTimeout
       << " MaxConnections=" << settings.GetMaxConnections()
       << " RunServer=" << settings.IsRunServer() << " TrayIcon=" << settings.IsTrayIcon();
  for (std::uint32_t i = 0; i < settings.GetPortCount(); ++i) {
    const TSetting::ComParam* port = settings.GetComParam(i);
    text << "\n[" << ToView(port->PortName) << "] Baudrate=" << port->Baudrate
         << " Parity=" << int{port->Parity} << " ByteSize=" << int{port->ByteSize}
         << " StopBits=" << int{port->StopBits} << " TxTimeout=" << port->TxTimeout
         << " RxTimeout=" << port->RxTimeout << " RtsDelay=" << port->RtsDelay
         << " SlaveAddrList=" << ToView(port->SlaveAddrList);
  }
  return text.str();
}

// What page 0 should show for the loaded settings, and what it shows.
std::string ExpectedServerPage(const TSetting& settings) {
  const TSetting::TCP* server = settings.GetTCP();
  std::ostringstream text;
  text << server->TCPPort << " " << server->IP << " " << server->TxTimeout << " "
       << server->RxTimeout << " " << settings.GetMaxConnections() << " "
       << settings.IsRunServer() << " " << settings.IsTrayIcon();
  return text.str();
}

std::string ShownServerPage(const TOptionsDlg* dialog) {
  std::ostringstream text;
  text << dialog->csePortNumber->Text().str() << " " << dialog->lbeIP->Text().str() << " "
       << dialog->cseTxTimeout->Text().str() << " " << dialog->cseRxTimeout->Text().str()
       << " " << dialog->cseMaxConn->Text().str() << " " << dialog->cbxRunSvr->Checked()
       << " " << dialog->cbxTrayIcon->Checked();
  return text.str();
}

AnsiString ChosenItem(const TRadioGroup* group) { return group->ItemText(group->ItemIndex()); }

// What page 1 should show for a loaded port: no selection where the page
// offers nothing for the value.
std::string ExpectedPortPage(const TOptionsDlg* dialog, const TSetting::ComParam* port) {
  static const char* const kParity[] = {"none", "odd", "even"};
  static const char* const kStopBits[] = {"1 bit", "1.5 bit", "2 bit"};
  const std::string rate = std::to_string(port->Baudrate);
  std::ostringstream text;
  text << (dialog->cbxBaudrate->IndexOf(rate) >= 0 ? rate : "") << " "
       << kParity[port->Parity] << " "
       << (port->ByteSize == 7 ? "7 bit" : port->ByteSize == 8 ? "8 bit" : "") << " "
       << kStopBits[port->StopBits] << " " << port->TxTimeout << " " << port->RxTimeout
       << " " << port->RtsDelay << " " << ToView(port->SlaveAddrList);
  return text.str();
}

std::string ShownPortPage(const TOptionsDlg* dialog) {
  std::ostringstream text;
  text << dialog->cbxBaudrate->Text().str() << " " << ChosenItem(dialog->rgParity).str()
       << " " << ChosenItem(dialog->rgByteSize).str() << " "
       << ChosenItem(dialog->rgStopBits).str() << " " << dialog->cseWriteTimeout->Text().str()
       << " " << dialog->cseReadTimeout->Text().str() << " " << dialog->cseRTS->Text().str()
       << " " << dialog->lbeUnits->Text().str();
  return text.str();
}

std::string WithErrorTexts(const std::string& file) {
  return file + "[ErrorMsgDB]\nEN=ErrorMsg_EN.ini\n";
}

// A port section with every key; `lines` adds to or repeats them.
std::string Port(const char* name, const char* lines = "") {
  return std::string("[") + name +
         "]\nBaudrate=9600\nParity=odd\nByteSize=8\nStopBits=1\nSlaveAddrList=1\n"
         "RtsDelay=10\nTxTimeout=500\nRxTimeout=500\n" + lines;
}

TEST_F(OptionsDialog, OkWithoutEditsAfterShowingEveryPortKeepsEverySetting) {
  const struct {
    const char* name;
    std::string file;
  } cases[] = {
      {"trailing text after numbers",
       "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=1502 ; modbus\nIP=127.0.0.1 office\n"
       "TxTimeout=1000ms\nRxTimeout=0 (none)\nSerialPorts=COM1\nMaxConnections=8 clients\n"
       "[COM1]\nBaudrate=19200 baud\nParity=even\nByteSize=8 bits\nStopBits=1\n"
       "SlaveAddrList=1-3\nRtsDelay=10 ms\nTxTimeout=500ms\nRxTimeout=700 ms\n"},
      {"two spellings of a key and of a section",
       "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=502\ntcpport=1502\nIP=127.0.0.1\n"
       "TxTimeout=1000\nRxTimeout=0\nSerialPorts=COM1, COM2\nMaxConnections=8\n" +
           Port("COM1", "baudrate=19200\nParity=even\nRTSDELAY=25\n") +
           "[com1]\nbaudRate=4800\nStopBits=2\n" + Port("com2") +
           "[serverinfo]\nMaxConnections=16\n[SystemStart]\nRunServer=false\nrunserver=true\n"},
      {"words in capitals",
       "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=502\nIP=127.0.0.1\nTxTimeout=1000\n"
       "RxTimeout=0\nSerialPorts=COM1,COM2,COM3\nMaxConnections=8\n"
       "[SystemStart]\nRunServer=TRUE\nTrayIcon=True\n" +
           Port("COM1", "Parity=NONE\n") + Port("COM2", "Parity=EVEN\n") +
           Port("COM3", "Parity=Odd\n")},
      {"every byte size and stop bits",
       "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=502\nIP=127.0.0.1\nTxTimeout=1000\n"
       "RxTimeout=0\nSerialPorts=COM1,COM2,COM3,COM4,COM5\nMaxConnections=8\n" +
           Port("COM1", "ByteSize=5\nStopBits=1.5\n") + Port("COM2", "ByteSize=6\nStopBits=2\n") +
           Port("COM3", "ByteSize=7\nStopBits=1\n") + Port("COM4", "ByteSize=8\nStopBits=1.5\n") +
           Port("COM5", "ByteSize=264\nStopBits=2\n")},
      {"a baud rate not offered and numbers beyond the fields' bounds",
       "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=502\nIP=127.0.0.1\nTxTimeout=120000\n"
       "RxTimeout=4294967295\nSerialPorts=COM1\nMaxConnections=5000\n" +
           Port("COM1", "Baudrate=38400\nTxTimeout=100000\nRxTimeout=1\nRtsDelay=70000\n")},
      {"no IP key, no start-up section and no connection allowed",
       "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=502\nTxTimeout=5\nRxTimeout=0\n"
       "SerialPorts=COM1\nMaxConnections=0\n" + Port("COM1")},
  };
  for (const auto& config : cases) {
    SCOPED_TRACE(config.name);
    folder_.Write("Quorvelin.ini", WithErrorTexts(config.file));
    TSetting before;
    ASSERT_EQ(before.Load(), kSettingOk) << before.GetErrorText();
    WithOptions([&](TOptionsDlg* dialog) {
      EXPECT_EQ(ShownServerPage(dialog), ExpectedServerPage(before));
      const std::string copy_as_read = IniFileText(dialog->ini);
      for (std::uint32_t i = 0; i < before.GetPortCount(); ++i) {
        const TSetting::ComParam* port = before.GetComParam(i);
        ClickNode(std::string(ToView(port->PortName)).c_str());
        EXPECT_EQ(ShownPortPage(dialog), ExpectedPortPage(dialog, port));
      }
      ClickNode("Server");
      EXPECT_EQ(IniFileText(dialog->ini), copy_as_read);  // showing is no edit
      EXPECT_EQ(PressOk().toStdString(), "");
      if (dialog->isVisible()) dialog->CancelBtn->click();
    });
    TSetting after;
    ASSERT_EQ(after.Load(), kSettingOk) << after.GetErrorText();
    EXPECT_EQ(LoadedSettings(after), LoadedSettings(before));
  }
}

// The loaded value of a server key, or of a key of the first port.
std::string LoadedValue(const TSetting& settings, bool of_port, const std::string& key) {
  const TSetting::TCP* server = settings.GetTCP();
  const TSetting::ComParam* port = settings.GetComParam(0);
  const std::uint32_t value =
      !of_port ? (key == "TCPPort"     ? server->TCPPort
                  : key == "TxTimeout" ? server->TxTimeout
                  : key == "RxTimeout" ? server->RxTimeout
                                       : settings.GetMaxConnections())
               : (key == "TxTimeout" ? port->TxTimeout
                  : key == "RxTimeout" ? port->RxTimeout
                                       : port->RtsDelay);
  return std::to_string(value);
}

TEST_F(OptionsDialog, TypedAndSteppedValuesSaveOnlyWhatTheGatewayLoads) {
  constexpr int kEnter = 0, kButton = 1;
  const struct {
    const char* port;   // null: the server page
    const char* field;
    const char* typed;  // over the whole text; "" clears it
    int steps;          // arrow presses, down when negative
    int ok_by;
    const char* key;
    const char* loads_as;  // null: OK refuses, naming the key
  } cases[] = {
      {nullptr, "csePortNumber", "7a8b", 0, kEnter, "TCPPort", "78"},
      {nullptr, "csePortNumber", "70000", 0, kEnter, "TCPPort", "65535"},
      {nullptr, "csePortNumber", "70000", 0, kButton, "TCPPort", "65535"},
      {nullptr, "cseMaxConn", "0", 0, kEnter, "MaxConnections", "1"},
      {nullptr, "cseMaxConn", "2", -3, kEnter, "MaxConnections", "1"},
      {nullptr, "cseTxTimeout", "", 0, kEnter, "TxTimeout", "5"},
      {nullptr, "cseRxTimeout", "1", -3, kEnter, "RxTimeout", "0"},
      {nullptr, "cseRxTimeout", "", 0, kEnter, "RxTimeout", nullptr},
      {nullptr, "cseRxTimeout", "99999999999", 0, kButton, "RxTimeout", nullptr},
      {"COM1", "cseRTS", "1", -3, kEnter, "RtsDelay", "0"},
      {"COM1", "cseRTS", "99999", 0, kButton, "RtsDelay", "60000"},
      {"COM1", "cseReadTimeout", "abc", 0, kEnter, "RxTimeout", "500"},
      {"COM1", "cseWriteTimeout", "1", 0, kEnter, "TxTimeout", "5"},
      {"COM1", "cseWriteTimeout", "", 0, kButton, "TxTimeout", "5"},
  };
  WriteConfig(folder_, config_);
  const std::string before = ReadFile(IniFile());
  for (const auto& input : cases) {
    SCOPED_TRACE(std::string(input.port ? input.port : "Server") + " " + input.field +
                 " typed \"" + input.typed + "\" stepped " + std::to_string(input.steps));
    folder_.Write("Quorvelin.ini", before);
    WithOptions([&](TOptionsDlg* dialog) {
      if (input.port != nullptr) ClickNode(input.port);
      auto* field = dialog->findChild<TCSpinEdit*>(input.field);
      ASSERT_NE(field, nullptr);
      field->setFocus();
      field->selectAll();
      if (*input.typed == '\0')
        QTest::keyClick(field, Qt::Key_Backspace);
      else
        QTest::keyClicks(field, input.typed);
      for (int i = 0; i < std::abs(input.steps); ++i)
        QTest::keyClick(field, input.steps < 0 ? Qt::Key_Down : Qt::Key_Up);
      const std::string message = PressOk(input.ok_by == kEnter ? field : nullptr).toStdString();
      if (input.loads_as != nullptr) {
        EXPECT_EQ(message, "");
      } else {
        EXPECT_NE(message.find(std::string(input.key) + "="), std::string::npos) << message;
        EXPECT_TRUE(dialog->isVisible());
      }
      if (dialog->isVisible()) dialog->CancelBtn->click();
    });
    if (input.loads_as == nullptr) {
      EXPECT_EQ(ReadFile(IniFile()), before);
      continue;
    }
    TSetting saved;
    ASSERT_EQ(saved.Load(), kSettingOk) << saved.GetErrorText();
    EXPECT_EQ(LoadedValue(saved, input.port != nullptr, input.key), input.loads_as);
  }
}

}  // namespace
