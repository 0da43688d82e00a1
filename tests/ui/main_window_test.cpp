// The main window driven as the operator drives it: Run, Stop and a failed
// Run; the log view fed by the log display thread, also through a stop
// that ends hundreds of clients; saving and clearing the
// log; closing; the start options; the About box.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <sys/resource.h>

#include <QTextBrowser>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <set>

#include "gateway/gateway_control.h"
#include "program_fixture.h"
#include "ui/resources.h"
#include "ui/show_msg_thread.h"

namespace {

using namespace qvtest;

std::set<std::string> FileNames(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

bool HasIcon(const char* resource) {
  return Application->Icon().pixmap(32).toImage() ==
         LoadIconResource(resource).pixmap(32).toImage();
}

class MainWindow : public ProgramTest {
 protected:
  // Buttons, menu items and icon of the stopped or the running state.
  void ExpectState(bool running) {
    EXPECT_EQ(MainForm->RunBtn->isEnabled(), !running);
    EXPECT_EQ(MainForm->Run1->isEnabled(), !running);
    EXPECT_EQ(MainForm->StopBtn->isEnabled(), running);
    EXPECT_EQ(MainForm->Stop1->isEnabled(), running);
    EXPECT_EQ(MainForm->imOptions->isEnabled(),
              !running);
    EXPECT_TRUE(HasIcon(running ? "ONLINEICON" : "OFFLINEICON"));
    EXPECT_EQ(IsGatewayRunning(), running);
  }
  std::string Panel(int index) {
    return MainForm->ConnStatusBar->Panels(index).Text().str();
  }
};

TEST_F(MainWindow, RunStopAndAFailedRunSwitchButtonsMenuItemsIconAndPanels) {
  StartProgram();
  MainForm->show();
  ExpectState(false);
  EXPECT_EQ(Panel(0), "IP:");
  EXPECT_EQ(Panel(1), "PORT:");

  MainForm->RunBtn->click();
  ExpectState(true);
  const std::string port = "PORT: " + std::to_string(config_.tcp_port);
  EXPECT_EQ(Panel(0), "IP: 127.0.0.1");
  EXPECT_EQ(Panel(1), port);
  // The connection count follows the clients.
  const int client = ConnectLoopback(config_.tcp_port);
  ASSERT_GE(client, 0);
  EXPECT_TRUE(LoopUntil([&] { return Panel(2) == "1 Connections"; })) << Panel(2);

  MainForm->Stop1->trigger();
  close(client);
  ExpectState(false);
  EXPECT_EQ(Panel(1), port);  // the last start's address stays
  EXPECT_TRUE(LoopUntil([&] { return Panel(2) == "0 Connections"; }));

  // A stopped gateway reads its file anew: a port that is nowhere fails
  // the start, logs why and leaves nothing listening.
  config_.serial_ports = "COM200";
  WriteConfig(folder_, config_);
  MainForm->Run1->trigger();
  ExpectState(false);
  EXPECT_TRUE(WaitForLogLine("COM200"));
  EXPECT_LT(ConnectLoopback(config_.tcp_port), 0);

  // The failed start dropped the configuration: the corrected file runs.
  config_.serial_ports = "COM1";
  WriteConfig(folder_, config_);
  MainForm->RunBtn->click();
  ExpectState(true);
  MainForm->StopBtn->click();
  ExpectState(false);
}

// The tests run offscreen, where nobody sees the window: every line shown
// goes to the standard output too.
TEST_F(MainWindow, AtMost64LinesWaitForTheFirstShowingThenLinesFlowInOrder) {
  StartProgram();
  for (int i = 0; i < 70; ++i) gMsgFIFO->Push(AnsiString("early " + std::to_string(i)));
  ::testing::internal::CaptureStdout();
  MainForm->show();
  ASSERT_TRUE(LoopUntil([&] { return MainForm->MsgMemo->Lines.Count() >= 64; }));
  for (int i = 0; i < 5; ++i) gMsgFIFO->Push(AnsiString("late " + std::to_string(i)));
  const bool all_shown = WaitForLogLine("late 4");
  const std::string printed = ::testing::internal::GetCapturedStdout();
  ASSERT_TRUE(all_shown);
  const QStringList lines = LogLines();
  ASSERT_EQ(lines.size(), 69);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(lines[i], QString("early %1").arg(i));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(lines[64 + i], QString("late %1").arg(i));
  EXPECT_EQ(printed, (lines.join('\n') + '\n').toStdString());
}

// Stop waits for every client's end on the main thread, which shows no line
// meanwhile: the log view still gets each client's line and the stop's own,
// then the lines of Runs clicked before the window got back to its lines:
// one whose file cannot be loaded, one whose port cannot be opened, and one
// that starts.
TEST_F(MainWindow, StopWithThreeHundredClientsShowsEachOnesEndThenTheStopThenEachRun) {
  constexpr int kClients = 300;
  config_.max_connections = kClients;
  StartProgram();
  MainForm->show();
  MainForm->RunBtn->click();
  IdleClients clients;
  ASSERT_TRUE(ConnectIdleClients(config_.tcp_port, kClients, clients, [&](int connected) {
    return LoopUntil([&] { return LogLines().filter("client from").size() == connected; });
  }));

  MainForm->StopBtn->click();
  folder_.Write("Quorvelin.ini", "[ServerInfo]\n");
  MainForm->RunBtn->click();
  config_.serial_ports = "COM200";
  WriteConfig(folder_, config_);
  MainForm->RunBtn->click();
  config_.serial_ports = "COM1";
  WriteConfig(folder_, config_);
  MainForm->RunBtn->click();
  const bool run_shown = LoopUntil(
      [&] { return LogLines().filter("start server successful").size() == 2; });
  const QStringList lines = LogLines();
  EXPECT_EQ(lines.filter("closed the connection").size(), kClients);
  ASSERT_TRUE(run_shown) << "the last Run's line is missing";
  ASSERT_GE(lines.size(), 4);
  const QStringList last = lines.mid(lines.size() - 4);
  EXPECT_TRUE(last[0].endsWith(" - stop server successful")) << last[0].toStdString();
  EXPECT_TRUE(last[1].endsWith(" is missing")) << last[1].toStdString();
  EXPECT_TRUE(last[2].contains("COM200")) << last[2].toStdString();
  EXPECT_TRUE(last[3].endsWith(" - start server successful")) << last[3].toStdString();
}

TEST_F(MainWindow, TheLogViewKeepsItsNewestLinesUpToItsBound) {
  StartProgram();
  const int bound = TMainForm::kLogViewLines;
  for (int i = 0; i < 2 * bound + 500; ++i)
    MainForm->MsgMemo->Lines.Add(AnsiString("line " + std::to_string(i)));
  ASSERT_EQ(MainForm->MsgMemo->Lines.Count(), bound);
  EXPECT_EQ(MainForm->MsgMemo->Lines.Strings(0).str(),
            "line " + std::to_string(bound + 500));
  EXPECT_EQ(MainForm->MsgMemo->Lines.Strings(bound - 1).str(),
            "line " + std::to_string(2 * bound + 499));
}

TEST_F(MainWindow, SaveWritesCrLfUnderTheNameChosenAndClearEmptiesTheLog) {
  StartProgram();
  MainForm->show();
  gMsgFIFO->Push("first line");
  gMsgFIFO->Push("second line");
  ASSERT_TRUE(WaitForLogLine("second line"));
  const std::string file = folder_.Write("session", "an older, longer file\n");
  AnswerSaveDialog(folder_.path(), "session");
  MainForm->SaveLog1->trigger();
  EXPECT_EQ(ReadFile(file), "first line\r\nsecond line\r\n");
  EXPECT_FALSE(std::filesystem::exists(file + ".log"));

  MainForm->ClrMsgBtn->click();
  EXPECT_EQ(MainForm->MsgMemo->Lines.Count(), 0);
  gMsgFIFO->Push("after clearing");
  EXPECT_TRUE(WaitForLogLine("after clearing"));
}

// The file-size limit of the shell that starts the program stands in for
// a full disk. A save past it fails part-way, through a new file (the log)
// or in place (a configuration file that has a second name); each is
// reported, leaves the file that was there and no debris, and the program
// goes on. The program, not the test, must keep the limit's signal from
// ending it.
TEST_F(MainWindow, UnderAFileSizeLimitAFailedSaveIsReportedKeepsTheOldFileAndTheProgramGoesOn) {
  std::signal(SIGXFSZ, SIG_DFL);  // as a shell starts a program
  WriteConfig(folder_, config_);
  // Without blank lines the dialog's copy of the file, which has one after
  // each section, no longer fits under the limit; the old bytes still do.
  std::string ini = ReadFile(folder_.File("Quorvelin.ini"));
  for (std::size_t at; (at = ini.find("\n\n")) != std::string::npos;) ini.erase(at, 1);
  folder_.Write("Quorvelin.ini", ini);
  ASSERT_EQ(link(folder_.File("Quorvelin.ini").c_str(), folder_.File("second-name").c_str()), 0);
  const std::string log = folder_.Write("kept.log", "the old log\n");
  const std::set<std::string> files_before = FileNames(folder_.path());
  rlimit former{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &former), 0);
  rlimit small = former;
  small.rlim_cur = ini.size() + 1;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

  StartProgramAsIs();
  MainForm->show();
  gMsgFIFO->Push(AnsiString(std::string(2 * ini.size(), 'x')));
  ASSERT_TRUE(WaitForLogLine("xxx"));
  QStringList reports;
  const auto answer_report = [&] {
    AnswerNext<QMessageBox>([&](QMessageBox* box) {
      reports << box->text();
      box->button(QMessageBox::Ok)->click();
    });
  };
  answer_report();
  AnswerSaveDialog(folder_.path(), "kept.log");
  MainForm->SaveLog1->trigger();
  AnswerNext<TOptionsDlg>([&](TOptionsDlg* dialog) {
    answer_report();
    dialog->OkBtn->click();
    dialog->CancelBtn->click();
  });
  MainForm->imOptions->trigger();
  gMsgFIFO->Push("after the saves");
  EXPECT_TRUE(WaitForLogLine("after the saves"));
  setrlimit(RLIMIT_FSIZE, &former);

  const std::string too_large = std::string(": ") + std::strerror(EFBIG);
  EXPECT_EQ(reports.join("\n").toStdString(),
            "Cannot write " + log + too_large + "\nCannot write Quorvelin.ini" + too_large);
  EXPECT_EQ(ReadFile(log), "the old log\n");
  EXPECT_EQ(ReadFile(folder_.File("Quorvelin.ini")), ini);
  EXPECT_EQ(FileNames(folder_.path()), files_before);
}

TEST_F(MainWindow, CloseWhileRunningAnsweredNoKeepsAllAndYesStopsAll) {
  StartProgram();
  MainForm->show();
  MainForm->RunBtn->click();
  QString question;
  AnswerNext<QMessageBox>([&](QMessageBox* box) {
    question = box->text();
    box->button(QMessageBox::No)->click();
  });
  EXPECT_FALSE(MainForm->close());
  EXPECT_EQ(question, "Server still running! Do you want to close application?");
  EXPECT_TRUE(MainForm->isVisible());
  ExpectState(true);

  AnswerNext<QMessageBox>(
      [](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
  EXPECT_TRUE(MainForm->close());
  EXPECT_FALSE(MainForm->isVisible());
  EXPECT_FALSE(IsGatewayRunning());
  EXPECT_TRUE(HasIcon("OFFLINEICON"));
  EXPECT_LT(ConnectLoopback(config_.tcp_port), 0);
  // The stop event ends the log display thread (WaitFor serves its last
  // pending hand-over).
  gShowMsgThread->WaitFor();
  EXPECT_TRUE(gShowMsgThread->Finished());
}

TEST_F(MainWindow, ProgramEndedWithoutItsCloseHandlerStillStopsEverything) {
  StartProgram();
  MainForm->show();
  MainForm->RunBtn->click();
  gMsgFIFO->Push("shown");
  ASSERT_TRUE(WaitForLogLine("shown"));
  EndProgram(false);
  EXPECT_FALSE(IsGatewayRunning());
  EXPECT_LT(ConnectLoopback(config_.tcp_port), 0);
}

TEST_F(MainWindow, RunServerAndTrayOptionsWithoutASystemTrayStartMinimisedInTheTaskBar) {
  config_.tray_icon = true;
  config_.run_server = true;
  StartProgram();
  ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
  ExpectState(true);
  EXPECT_EQ(MainForm->MsgMemo->Lines.Count(), 0);  // the start's lines wait for a showing
  bool minimised = false, visible = false, tray = true;
  // The entry's own Run shows the window as the options say.
  QTimer::singleShot(0, [&] {
    EXPECT_TRUE(LoopUntil([&] { return MainForm->MsgMemo->Lines.Count() > 0; }));
    visible = MainForm->isVisible();
    minimised = MainForm->isMinimized();
    tray = MainForm->Tray->isVisible();
    MainForm->StopBtnClick();
    MainForm->close();
  });
  Application->Run();
  EXPECT_TRUE(visible);
  EXPECT_TRUE(minimised);
  EXPECT_FALSE(tray);
}

TEST_F(MainWindow, AboutBoxShownTwiceShowsItsTextOnce) {
  StartProgram();
  MainForm->show();
  QStringList texts;
  for (int i = 0; i < 2; ++i) {
    AnswerNext<TAboutDlg>([&](TAboutDlg* box) {
      texts << box->rich->toPlainText();
      box->Button1->click();
    });
    MainForm->about2->trigger();
  }
  ASSERT_EQ(texts.size(), 2);
  EXPECT_EQ(texts[0].count("Version: 0.5 beta"), 1);
  EXPECT_EQ(texts[1], texts[0]);
}

}  // namespace
