#pragma once
// The real window program inside a test: a temporary folder as the
// current directory with a configuration file and the error texts, COM1 on
// a pseudo-terminal, and the program's application object, global objects
// and forms built as its entry builds them. Also answers to the modal
// dialogs the code under test opens (their own event loop runs, so the
// answer comes from a timer).
#include <gtest/gtest.h>

#include <unistd.h>

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "common/message_fifo.h"
#include "tests/support/loopback_sockets.h"
#include "tests/support/pty_port.h"
#include "tests/support/raw_modbus_client.h"
#include "tests/support/temp_dir.h"
#include "ui/about_dlg.h"
#include "ui/choice_serial_port_dlg.h"
#include "ui/ip_list_dlg.h"
#include "ui/unit_list_dlg.h"
#include "ui/complib/application.h"
#include "ui/main_form.h"
#include "ui/main_unit.h"
#include "ui/options_dlg.h"
#include "ui/program_globals.h"

namespace qvtest {

// Waits, running the event loop, until `condition` holds; false after a
// generous bound so a fault fails the test instead of hanging it.
inline bool LoopUntil(const std::function<bool()>& condition) {
  return QTest::qWaitFor(condition, 30000);
}

// Once a modal widget of type Dialog is open, runs `answer` on it (once).
template <class Dialog = QWidget>
void AnswerNext(std::function<void(Dialog*)> answer) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
    auto* modal = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (modal == nullptr || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    answer(modal);
  });
  timer->start(10);
}

// Presses and releases a mouse button on the tree node with that text.
inline void ClickNode(TTreeView* tree, const char* text,
                      Qt::MouseButton button = Qt::LeftButton) {
  const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
  ASSERT_EQ(found.size(), 1) << text;
  QTest::mouseClick(tree->viewport(), button, {},
                    tree->visualItemRect(found[0]).center());
}

// A click on the round or square mark of a radio button or a check box.
inline void ClickMark(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

inline void ClickRadio(TRadioGroup* group, const char* text) {
  for (QRadioButton* button : group->findChildren<QRadioButton*>()) {
    if (button->text() == text) return ClickMark(button);
  }
  FAIL() << "no radio button " << text;
}

// Answers the next save dialog as the operator does: types `name` in
// `folder` and presses Enter. The dialog reads the folder in the
// background and may select a file it proposes; the name is typed again
// until the dialog takes it.
inline void AnswerSaveDialog(const std::string& folder, const std::string& name) {
  AnswerNext<QFileDialog>([folder, name](QFileDialog* files) {
    files->setDirectory(QString::fromStdString(folder));
    auto* name_box = files->findChild<QLineEdit*>("fileNameEdit");
    if (name_box == nullptr) return files->reject();
    const QString wanted = QDir(QString::fromStdString(folder))
                               .filePath(QString::fromStdString(name));
    LoopUntil([&] {
      name_box->setFocus();
      name_box->selectAll();
      QTest::keyClicks(name_box, QString::fromStdString(name));
      return files->selectedFiles() == QStringList{wanted};
    });
    QTest::keyClick(name_box, Qt::Key_Return);
  });
}

struct Config {
  int tcp_port = 0;
  std::string serial_ports = "COM1";
  std::string unit_list = "1-10";
  bool run_server = false;
  bool tray_icon = false;
  std::string rts_delay = "0";  // of the port, in ms
  int max_connections = 8;
};

// Writes Quorvelin.ini for `config` and copies the English error texts.
inline void WriteConfig(const TempDir& folder, const Config& config) {
  std::ofstream ini(folder.File("Quorvelin.ini"), std::ios::trunc);
  ini << "[ServerInfo]\nErrorMsgDB=EN\nTCPPort=" << config.tcp_port
      << "\nIP=127.0.0.1\nTxTimeout=1000\nRxTimeout=60000\n"
      << "SerialPorts=" << config.serial_ports << "\nMaxConnections="
      << config.max_connections << "\n\n"
      << "[SystemStart]\nRunServer=" << (config.run_server ? "true" : "false")
      << "\nTrayIcon=" << (config.tray_icon ? "TRUE" : "false") << "\n\n"
      << "[ErrorMsgDB]\nEN=ErrorMsg_EN.ini\n\n"
      << "[" << config.serial_ports << "]\nBaudrate=9600\nParity=none\n"
      << "ByteSize=8\nStopBits=1\nSlaveAddrList=" << config.unit_list
      << "\nRtsDelay=" << config.rts_delay
      << "\nTxTimeout=500\nRxTimeout=500\n";
  folder.CopyConfig("ErrorMsg_EN.ini");
}

using IdleClients = std::vector<std::unique_ptr<RawModbusClient>>;

// Connects `count` clients that send nothing, four at a time: fewer than
// the gateway's listening queue takes, so no connection waits out a
// retried handshake. After each batch `logged(connected)` waits for a
// "client from" line per client so far: far fewer lines are ever waiting
// than the log queue holds, so none is dropped, and a stop that follows
// finds the queue empty and every client served.
inline bool ConnectIdleClients(int port, int count, IdleClients& clients,
                               const std::function<bool(int)>& logged) {
  while (static_cast<int>(clients.size()) < count) {
    for (int k = 0; k < 4 && static_cast<int>(clients.size()) < count; ++k) {
      clients.push_back(std::make_unique<RawModbusClient>(port));
      if (!clients.back()->IsConnected()) return false;
    }
    if (!logged(static_cast<int>(clients.size()))) return false;
  }
  return true;
}

// The program, from its global objects to its forms, in a test folder.
class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { config_.tcp_port = FreeLoopbackPort(); }
  void TearDown() override { EndProgram(); }

  // What the program's entry does before its event loop, in a folder
  // that holds the configuration.
  void StartProgram() {
    WriteConfig(folder_, config_);
    StartProgramAsIs();
  }

  // The same in the folder as it is.
  void StartProgramAsIs() {
    app_ = std::make_unique<TApplication>(argc_, argv_);
    BuildProgramGlobals();
    Application->Initialize();
    Application->SetTitle("Quorvelin");
    Application->CreateForm(MainForm);
    Application->CreateForm(AboutDlg);
    Application->CreateForm(OptionsDlg);
    Application->CreateForm(ChoiceSerialPortDlg);
    Application->CreateForm(UnitListDlg);
    Application->CreateForm(IPListDlg);
  }

  // Closes the window if still open (stopped first, so that closing asks
  // nothing) and destroys everything in the program's order. Without
  // `close_window`, as when an exception ended the event loop.
  void EndProgram(bool close_window = true) {
    if (!app_) return;
    if (close_window && MainForm != nullptr && MainForm->isVisible()) {
      if (!MainForm->RunBtn->isEnabled()) MainForm->StopBtnClick();
      MainForm->close();
    }
    DestroyProgramGlobals();
    app_.reset();
    MainForm = nullptr;
    AboutDlg = nullptr;
    OptionsDlg = nullptr;
    ChoiceSerialPortDlg = nullptr;
    UnitListDlg = nullptr;
    IPListDlg = nullptr;
  }

  QStringList LogLines() const {
    QStringList lines;
    for (int i = 0; i < MainForm->MsgMemo->Lines.Count(); ++i)
      lines << QString::fromStdString(MainForm->MsgMemo->Lines.Strings(i).str());
    return lines;
  }

  // Waits until the log view holds a line containing `text`.
  bool WaitForLogLine(const QString& text) {
    return LoopUntil([&] { return !LogLines().filter(text).isEmpty(); });
  }

  TempDir folder_;
  ScopedChdir in_folder_{folder_.path()};
  PortsFolder ports_;
  PtyPort com1_{ports_, 1};
  Config config_;
  std::unique_ptr<TApplication> app_;

 private:
  int argc_ = 1;
  char name_[16] = "quorvelin";
  char* argv_[2] = {name_, nullptr};
};

}  // namespace qvtest
