// The main window driven as the operator drives it: Run, Stop and a failed
// Run with their buttons, menu items and icons; the status panels; the log
// view fed by the log display thread; clearing and saving the log;
// closing; the start options.
#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <filesystem>

#include "gateway/gateway_control.h"
#include "platform/wait.h"
#include "program_fixture.h"
#include "ui/resources.h"
#include "ui/show_msg_thread.h"

namespace {

using qvtest::ConnectTo;
using qvtest::ReadFile;

bool HasIcon(const char* resource) {
  return Application->Icon().pixmap(32).toImage() ==
         LoadIconResource(resource).pixmap(32).toImage();
}

class MainWindow : public qvtest::ProgramTest {
 protected:
  // Buttons, menu items and icon of the stopped or the running state.
  void ExpectStopped() {
    EXPECT_TRUE(MainForm->RunBtn->isEnabled());
    EXPECT_TRUE(MainForm->Run1->isEnabled());
    EXPECT_FALSE(MainForm->StopBtn->isEnabled());
    EXPECT_FALSE(MainForm->Stop1->isEnabled());
    EXPECT_EQ(MainForm->imOptions->isEnabled(),
              TMainForm::kOptionsDialogAvailable);
    EXPECT_TRUE(HasIcon("OFFLINEICON"));
    EXPECT_FALSE(IsGatewayRunning());
  }
  void ExpectRunning() {
    EXPECT_FALSE(MainForm->RunBtn->isEnabled());
    EXPECT_FALSE(MainForm->Run1->isEnabled());
    EXPECT_TRUE(MainForm->StopBtn->isEnabled());
    EXPECT_TRUE(MainForm->Stop1->isEnabled());
    EXPECT_FALSE(MainForm->imOptions->isEnabled());
    EXPECT_TRUE(HasIcon("ONLINEICON"));
    EXPECT_TRUE(IsGatewayRunning());
  }
  std::string Panel(int index) {
    return MainForm->ConnStatusBar->Panels(index).Text().str();
  }};

TEST_F(MainWindow, StartsStoppedWithTheOfflineIconAndEmptyPanels) {
  StartProgram();
  ExpectStopped();
  EXPECT_EQ(Panel(0), "IP:");
  EXPECT_EQ(Panel(1), "PORT:");
  EXPECT_EQ(Panel(2), "");
  EXPECT_EQ(Panel(3), "");
}

TEST_F(MainWindow, RunAndStopSwitchButtonsMenuItemsIconAndPanels) {
  StartProgram();
  MainForm->show();
  MainForm->RunBtn->click();
  ExpectRunning();
  EXPECT_EQ(Panel(0), "IP: 127.0.0.1");
  EXPECT_EQ(Panel(1), "PORT: " + std::to_string(config_.tcp_port));

  // The connection count follows the clients, once a second.
  const int client = ConnectTo(config_.tcp_port);
  ASSERT_GE(client, 0);
  EXPECT_TRUE(WaitUntil([&] { return Panel(2) == "1 Connections"; }))
      << Panel(2);

  MainForm->Stop1->trigger();
  close(client);
  ExpectStopped();
  // The address and port of the last start stay.
  EXPECT_EQ(Panel(0), "IP: 127.0.0.1");
  EXPECT_EQ(Panel(1), "PORT: " + std::to_string(config_.tcp_port));
  EXPECT_TRUE(WaitUntil([&] { return Panel(2) == "0 Connections"; }));

  // And again from the menu, then the tool button: a stopped gateway
  // reads its configuration anew and runs again.
  MainForm->Run1->trigger();
  ExpectRunning();
  MainForm->StopBtn->click();
  ExpectStopped();
}

TEST_F(MainWindow, EmptyAddressListensEverywhereAndShowsLoopback) {
  config_.ip = "";
  StartProgram();
  MainForm->RunBtn->click();
  ExpectRunning();
  EXPECT_EQ(Panel(0), "IP: 127.0.0.1");
  const int client = ConnectTo(config_.tcp_port);
  EXPECT_GE(client, 0);
  close(client);
}

TEST_F(MainWindow, FailedRunLogsTheReasonStaysStoppedAndRereadsTheFile) {
  config_.serial_ports = "COM200";  // no such port anywhere
  StartProgram();
  MainForm->show();
  MainForm->RunBtn->click();
  ExpectStopped();
  EXPECT_TRUE(WaitForLogLine("COM200"));
  EXPECT_EQ(Panel(0), "IP:");
  const int client = ConnectTo(config_.tcp_port);
  EXPECT_LT(client, 0) << "nothing may listen after a failed start";
  if (client >= 0) close(client);

  // The failed start dropped the configuration: the next Run reads the
  // corrected file.
  config_.serial_ports = "COM1";
  qvtest::WriteConfig(folder_, config_);
  MainForm->Run1->trigger();
  ExpectRunning();
}

TEST_F(MainWindow, RunUsesTheConfigurationLoadedAtCreationWithoutRereading) {
  StartProgram();
  MainForm->show();
  std::filesystem::remove(folder_.File("Quorvelin.ini"));
  MainForm->RunBtn->click();
  ExpectRunning();

  // Stopping drops it: now the missing file shows.
  MainForm->StopBtn->click();
  MainForm->RunBtn->click();
  ExpectStopped();
  EXPECT_TRUE(WaitForLogLine("can't load Quorvelin.ini"));
}

TEST_F(MainWindow, ListenFailureLogsTheErrorNumberAndTheNextRunStarts) {
  // Someone else holds the port.
  const int holder = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(config_.tcp_port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(holder, 1), 0);
  StartProgram();
  MainForm->show();
  MainForm->RunBtn->click();
  ExpectStopped();
  // Time stamp and the number only.
  EXPECT_TRUE(WaitUntil([&] {
    for (const QString& line : LogLines())
      if (QRegularExpression("^\\d\\d:\\d\\d:\\d\\d - \\d+$").match(line).hasMatch())
        return true;
    return false;
  })) << LogLines().join("\n").toStdString();

  close(holder);
  MainForm->RunBtn->click();
  ExpectRunning();
}

TEST_F(MainWindow, RunServerOptionStartsTheGatewayAndItsLinesShowAtFirstShowing) {
  config_.run_server = true;
  StartProgram();
  ExpectRunning();
  EXPECT_EQ(MainForm->MsgMemo->Lines.Count(), 0);  // not shown yet
  MainForm->show();
  EXPECT_TRUE(WaitUntil([&] { return MainForm->MsgMemo->Lines.Count() > 0; }));
}

TEST_F(MainWindow, RunServerWithABrokenFileLogsOnlyTheLoadError) {
  config_.run_server = true;
  config_.broken = true;
  StartProgram();
  ExpectStopped();
  MainForm->show();
  ASSERT_TRUE(WaitUntil([&] { return MainForm->MsgMemo->Lines.Count() > 0; }));
  // A marker pushed now arrives right behind the queued lines.
  gMsgFIFO->Push("marker");
  ASSERT_TRUE(WaitForLogLine("marker"));
  const QStringList lines = LogLines();
  ASSERT_EQ(lines.size(), 2) << lines.join("\n").toStdString();
  EXPECT_TRUE(lines[0].contains("TCPPort")) << lines[0].toStdString();
}

TEST_F(MainWindow, AtMost64LinesWaitForTheFirstShowingThenLinesFlowInOrder) {
  StartProgram();
  for (int i = 0; i < 70; ++i) gMsgFIFO->Push(AnsiString("early " + std::to_string(i)));
  MainForm->show();
  ASSERT_TRUE(WaitUntil([&] { return MainForm->MsgMemo->Lines.Count() >= 64; }));
  for (int i = 0; i < 5; ++i) gMsgFIFO->Push(AnsiString("late " + std::to_string(i)));
  ASSERT_TRUE(WaitForLogLine("late 4"));
  const QStringList lines = LogLines();
  ASSERT_EQ(lines.size(), 69);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(lines[i], QString("early %1").arg(i));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(lines[64 + i], QString("late %1").arg(i));
}

TEST_F(MainWindow, ClearEmptiesTheLogFromButtonAndMenu) {
  StartProgram();
  MainForm->show();
  gMsgFIFO->Push("one");
  ASSERT_TRUE(WaitForLogLine("one"));
  MainForm->ClrMsgBtn->click();
  EXPECT_EQ(MainForm->MsgMemo->Lines.Count(), 0);
  gMsgFIFO->Push("two");
  ASSERT_TRUE(WaitForLogLine("two"));
  MainForm->ClrMsgMenuItem->trigger();
  EXPECT_EQ(MainForm->MsgMemo->Lines.Count(), 0);
}

TEST_F(MainWindow, SaveWritesTheLinesWithCrLfUnderExactlyTheNameChosen) {
  StartProgram();
  MainForm->show();
  gMsgFIFO->Push("first line");
  gMsgFIFO->Push("second line");
  ASSERT_TRUE(WaitForLogLine("second line"));
  const std::string file = folder_.File("session");
  {
    std::ofstream old(file);
    old << "an older, longer file that is replaced without a question\n";
  }
  AnswerSaveDialog(folder_.path(), "session");
  MainForm->ToolButton1->click();
  EXPECT_EQ(ReadFile(file), "first line\r\nsecond line\r\n");
  EXPECT_FALSE(std::filesystem::exists(file + ".log"));

  // The menu item does the same.
  MainForm->ClrMsgBtn->click();
  gMsgFIFO->Push("third");
  ASSERT_TRUE(WaitForLogLine("third"));
  AnswerSaveDialog(folder_.path(), "other.txt");
  MainForm->SaveLog1->trigger();
  EXPECT_EQ(ReadFile(folder_.File("other.txt")), "third\r\n");
}

TEST_F(MainWindow, SaveFailureShowsTheErrorAndKeepsTheLog) {
  StartProgram();
  MainForm->show();
  gMsgFIFO->Push("kept");
  ASSERT_TRUE(WaitForLogLine("kept"));
  // /dev/full opens but refuses every byte.
  AnswerSaveDialog("/dev", "full");
  QString shown;
  AnswerNext<QMessageBox>([&](QMessageBox* box) {
    shown = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  MainForm->ToolButton1->click();
  EXPECT_TRUE(shown.contains("/dev/full")) << shown.toStdString();
  EXPECT_EQ(LogLines(), QStringList({"kept"}));
}

TEST_F(MainWindow, CloseWhileRunningAnsweredNoKeepsWindowAndGateway) {
  StartProgram();
  MainForm->show();
  MainForm->RunBtn->click();
  ExpectRunning();
  QString question;
  AnswerNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    question = box->text();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(MainForm->close());
  EXPECT_EQ(question, "Server still running! Do you want to close application?");
  EXPECT_TRUE(MainForm->isVisible());
  ExpectRunning();
  const int client = ConnectTo(config_.tcp_port);
  EXPECT_GE(client, 0);
  close(client);
}

TEST_F(MainWindow, CloseWhileRunningAnsweredYesStopsTheGatewayAndTheLogThread) {
  StartProgram();
  MainForm->show();
  MainForm->RunBtn->click();
  ExpectRunning();
  AnswerNextModal([](QWidget* modal) {
    qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Yes)->click();
  });
  EXPECT_TRUE(MainForm->close());
  EXPECT_FALSE(MainForm->isVisible());
  EXPECT_FALSE(IsGatewayRunning());
  EXPECT_TRUE(HasIcon("OFFLINEICON"));
  // The stop event ends the log display thread (its last hand-over may
  // still be pending: WaitFor serves it).
  gShowMsgThread->WaitFor();
  EXPECT_TRUE(gShowMsgThread->Finished());
  EXPECT_LT(qvtest::ConnectTo(config_.tcp_port), 0);
}

TEST_F(MainWindow, CloseWhileStoppedAsksNothing) {
  StartProgram();
  MainForm->show();
  // A question would block here for ever: none may come.
  EXPECT_TRUE(MainForm->close());
  gShowMsgThread->WaitFor();
  EXPECT_TRUE(gShowMsgThread->Finished());
}

TEST_F(MainWindow, EndSessionClosesWhileTheQuestionIsOpenAndStopsTheGateway) {
  StartProgram();
  MainForm->show();
  MainForm->RunBtn->click();
  ExpectRunning();
  // The program is told to end while the operator looks at the question.
  AnswerNextModal([](QWidget*) { MainForm->EndSession(); });
  MainForm->close();
  EXPECT_FALSE(MainForm->isVisible());
  EXPECT_FALSE(IsGatewayRunning());
}

TEST_F(MainWindow, ProgramEndedWithoutItsCloseHandlerStillStopsEverything) {
  StartProgram();
  MainForm->show();
  MainForm->RunBtn->click();
  ExpectRunning();
  gMsgFIFO->Push("shown");
  ASSERT_TRUE(WaitForLogLine("shown"));
  // No close handler: the stop event is not signalled, the gateway runs.
  EndProgram(false);
  EXPECT_FALSE(IsGatewayRunning());
  EXPECT_LT(ConnectTo(config_.tcp_port), 0);
}

TEST_F(MainWindow, TrayOptionWithoutASystemTrayStartsMinimisedInTheTaskBar) {
  config_.tray_icon = true;
  config_.run_server = true;
  StartProgram();
  ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
  bool minimised = false, visible = false, tray = true;
  int lines = 0;
  // The entry's own Run: it shows the window as the options say.
  QTimer::singleShot(0, [&] {
    WaitUntil([&] { return MainForm->MsgMemo->Lines.Count() > 0; });
    visible = MainForm->isVisible();
    minimised = MainForm->isMinimized();
    tray = MainForm->Tray->isVisible();
    lines = MainForm->MsgMemo->Lines.Count();
    MainForm->StopBtnClick();
    MainForm->close();
  });
  Application->Run();
  EXPECT_TRUE(visible);
  EXPECT_TRUE(minimised);
  EXPECT_FALSE(tray);
  EXPECT_GT(lines, 0);
}

TEST_F(MainWindow, AboutItemShowsTheAboutBox) {
  StartProgram();
  MainForm->show();
  QString title;
  AnswerNextModal([&](QWidget* modal) {
    title = modal->windowTitle();
    qobject_cast<TAboutDlg*>(modal)->Button1->click();
  });
  MainForm->about2->trigger();
  EXPECT_EQ(title, "About this software");
}

}  // namespace
