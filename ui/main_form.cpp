#include "ui/main_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "common/message_fifo.h"
#include "common/setting.h"
#include "gateway/gateway_control.h"
#include "gateway/log_line.h"
#include "gateway/tcp_env.h"
#include "platform/wait.h"
#include "ui/about_dlg.h"
#include "ui/complib/application.h"
#include "ui/complib/fonts.h"
#include "ui/complib/message_dlg.h"
#include "ui/complib/text.h"
#include "ui/main_unit.h"
#include "ui/options_dlg.h"
#include "ui/resources.h"
#include "ui/show_msg_thread.h"

namespace {

// Indices into BtnImageList.
enum ImageIndex { kRunImage, kStopImage, kClearImage, kSaveImage };

// Why the configuration could not be loaded for Run: kept whatever the
// log queue's bound, like every line of Run and Stop.
void LogLoadFailure() { LogLine().LogKept(gSetting->GetErrorText()); }

QToolButton* NewToolButton(QToolBar* bar, const char* name, const QIcon& image) {
  auto* button = new QToolButton(bar);
  button->setObjectName(name);
  button->setIcon(image);
  button->setToolButtonStyle(Qt::ToolButtonIconOnly);
  button->setAutoRaise(true);
  bar->addWidget(button);
  return button;
}

QMenu* NewMenu(QMenuBar* bar, const char* name, const char* caption) {
  QMenu* menu = bar->addMenu(caption);
  menu->setObjectName(name);
  return menu;
}

QAction* NewMenuItem(QMenu* menu, const char* name, const char* caption) {
  QAction* item = menu->addAction(caption);
  item->setObjectName(name);
  return item;
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  setObjectName("MainForm");
  setWindowTitle("Quorvelin");
  setFont(FormFont("MS Sans Serif", -11));
  move(317, 189);
  resize(580, 500);

  BtnImageList.Add(LoadToolImage("run"));
  BtnImageList.Add(LoadToolImage("stop"));
  BtnImageList.Add(LoadToolImage("clear"));
  BtnImageList.Add(LoadToolImage("save"));

  MsgMemo = new TMemo(this);
  MsgMemo->setObjectName("MsgMemo");
  MsgMemo->setReadOnly(true);
  MsgMemo->SetMaxLines(kLogViewLines);
  MsgMemo->setFont(FormFont("System", -13, FontStyle::Bold));
  setCentralWidget(MsgMemo);

  BuildToolBar();
  BuildMenus();
  BuildStatusBar();

  StatusTmr = new QTimer(this);
  StatusTmr->setObjectName("StatusTmr");
  StatusTmr->setInterval(1000);
  StatusTmr->start();

  SaveLogDlg.FileName = "*.log";
  SaveLogDlg.Filter = "Quorvelin Log File|*.log";

  Tray = new QSystemTrayIcon(this);
  Tray->setObjectName("Tray");

  ConnectHandlers();
  FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildToolBar() {
  ToolBar1 = addToolBar("ToolBar1");
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setFixedHeight(29);
  ToolBar1->setIconSize(QSize(16, 16));
  ToolBar1->toggleViewAction()->setVisible(false);

  RunBtn = NewToolButton(ToolBar1, "RunBtn", BtnImageList.Get(kRunImage));
  RunBtn->setToolTip("Run Service");
  StopBtn = NewToolButton(ToolBar1, "StopBtn", BtnImageList.Get(kStopImage));
  StopBtn->setEnabled(false);
  ToolButton3 = new QWidget(ToolBar1);
  ToolButton3->setObjectName("ToolButton3");
  ToolButton3->setFixedWidth(35);
  ToolBar1->addWidget(ToolButton3);
  ClrMsgBtn = NewToolButton(ToolBar1, "ClrMsgBtn", BtnImageList.Get(kClearImage));
  ToolButton1 = NewToolButton(ToolBar1, "ToolButton1", BtnImageList.Get(kSaveImage));
}

void TMainForm::BuildMenus() {
  MainMenu = menuBar();
  MainMenu->setObjectName("MainMenu");

  File1 = NewMenu(MainMenu, "File1", "&File");
  SaveLog1 = NewMenuItem(File1, "SaveLog1", "Save Messages As...");
  SaveLog1->setIcon(BtnImageList.Get(kSaveImage));

  Edit1 = NewMenu(MainMenu, "Edit1", "&Edit");
  ClrMsgMenuItem = NewMenuItem(Edit1, "ClrMsgMenuItem", "Clear Messages");
  ClrMsgMenuItem->setIcon(BtnImageList.Get(kClearImage));

  Operation1 = NewMenu(MainMenu, "Operation1", "&Operation");
  Run1 = NewMenuItem(Operation1, "Run1", "Run");
  Run1->setIcon(BtnImageList.Get(kRunImage));
  Stop1 = NewMenuItem(Operation1, "Stop1", "Stop");
  Stop1->setIcon(BtnImageList.Get(kStopImage));
  Stop1->setEnabled(false);

  Configuration1 = NewMenu(MainMenu, "Configuration1", "Configuration");
  imOptions = NewMenuItem(Configuration1, "imOptions", "Options");
  EnableOptions(true);

  About1 = NewMenu(MainMenu, "About1", "&Help");
  about2 = NewMenuItem(About1, "about2", "About");
}

void TMainForm::BuildStatusBar() {
  ConnStatusBar = new TStatusBar(this);
  ConnStatusBar->setObjectName("ConnStatusBar");
  ConnStatusBar->setFont(FormFont("System", -13, FontStyle::Bold));
  ConnStatusBar->AddPanel("IP:", 150);
  ConnStatusBar->AddPanel("PORT:", 100);
  ConnStatusBar->AddPanel("", 200);
  ConnStatusBar->AddPanel("", 100);
  setStatusBar(ConnStatusBar);
}

// Every signal of the form meets its handler here.
void TMainForm::ConnectHandlers() {
  connect(RunBtn, &QToolButton::clicked, this, &TMainForm::RunBtnClick);
  connect(Run1, &QAction::triggered, this, &TMainForm::Run1Click);
  connect(StopBtn, &QToolButton::clicked, this, &TMainForm::StopBtnClick);
  connect(Stop1, &QAction::triggered, this, &TMainForm::Stop1Click);
  connect(ClrMsgBtn, &QToolButton::clicked, this, &TMainForm::ClrMsgBtnClick);
  connect(ClrMsgMenuItem, &QAction::triggered, this,
          &TMainForm::ClrMsgMenuItemClick);
  connect(ToolButton1, &QToolButton::clicked, this,
          &TMainForm::ToolButton1Click);
  connect(SaveLog1, &QAction::triggered, this, &TMainForm::SaveLog1Click);
  connect(imOptions, &QAction::triggered, this, &TMainForm::imOptionsClick);
  connect(about2, &QAction::triggered, this, &TMainForm::about2Click);
  connect(StatusTmr, &QTimer::timeout, this, &TMainForm::StatusTmrTimer);
  connect(Tray, &QSystemTrayIcon::activated, this, &TMainForm::OnTrayMessage);
  connect(Application, &TApplication::OnMinimize, this,
          &TMainForm::ApplicationEvents1Minimize);
  connect(Application, &TApplication::OnRestore, this,
          &TMainForm::ApplicationEvents1Restore);
}

void TMainForm::FormCreate() {
  SetOfflineIcon();
  if (gSetting->Load() != 0) LogLoadFailure();
  // Asked even after a failed load: the options come from the parsed file,
  // and StartServer refuses an unloaded configuration without a line.
  if (gSetting->IsRunServer() && StartServer()) {
    EnableRun(false);
    EnableOptions(false);
    EnableStop(true);
  }
  if (gSetting->IsTrayIcon()) {
    // Without a system tray a hidden window could never come back: the
    // window then starts minimised the ordinary way, in the task bar.
    if (QSystemTrayIcon::isSystemTrayAvailable())
      Application->ShowMainForm = false;
    Application->Minimize();
  }
}

void TMainForm::FormShow() { gShowMsgThread->Resume(); }

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  FormShow();
}

void TMainForm::FormClose(TCloseAction& Action) {
  if (gWinTCPEnv->IsListening() != 0) {
    if (AskCloseWhileRunning() != mrYes) {
      Action = caNone;
      return;
    }
    StopServer();
  }
  gStopEvent->SetEvent();
  Sleep(0);
  gShowMsgThread->Terminate();
  TrayIcon(NIM_DELETE);
}

int TMainForm::AskCloseWhileRunning() {
  if (session_ending_) return mrYes;
  const int answer =
      MessageDlg("Server still running! Do you want to close application?",
                 mtWarning, {mbYes, mbNo}, 0);
  // The program was asked to end while the question was open.
  return session_ending_ ? mrYes : answer;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A close that arrives while the close handler waits for its question
  // (the program asked to end meanwhile) is decided by that handler.
  if (closing_) {
    event->ignore();
    return;
  }
  closing_ = true;
  TCloseAction action = caHide;
  FormClose(action);
  closing_ = false;
  if (action == caNone) {
    event->ignore();
    return;
  }
  event->accept();
  Application->Terminate();
}

void TMainForm::EndSession() {
  session_ending_ = true;
  // An open dialog would hold the close back: its own loop runs.
  for (int guard = 0; guard < 8; ++guard) {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) break;
    dialog->reject();
  }
  if (closing_) return;  // the close in progress goes on with Yes
  QMetaObject::invokeMethod(
      this, [this] { close(); }, Qt::QueuedConnection);
}

void TMainForm::RunBtnClick() { Run(); }
void TMainForm::Run1Click() { Run(); }
void TMainForm::StopBtnClick() { Stop(); }
void TMainForm::Stop1Click() { Stop(); }
void TMainForm::ClrMsgBtnClick() { MsgMemo->Clear(); }
void TMainForm::ClrMsgMenuItemClick() { MsgMemo->Clear(); }
void TMainForm::ToolButton1Click() { SaveLog(); }
void TMainForm::SaveLog1Click() { SaveLog(); }

void TMainForm::imOptionsClick() {
  // The gateway is stopped while the item is enabled. A configuration
  // still loaded from the start would hide what was just saved from the
  // next Run: drop it, and Run reads the file again.
  if (OptionsDlg->ShowModal() == mrOk) gSetting->Unload();
}

void TMainForm::about2Click() { AboutDlg->exec(); }

void TMainForm::Run() {
  EnableRun(false);
  EnableOptions(false);
  // A configuration that is still loaded is used without reading the file.
  if (!gSetting->IsLoaded() && gSetting->Load() != 0) {
    LogLoadFailure();
    EnableRun(true);
    EnableOptions(true);
    return;
  }
  if (StartServer()) {
    EnableStop(true);
  } else {
    EnableOptions(true);
    EnableRun(true);
  }
}

void TMainForm::Stop() {
  EnableStop(false);
  StopServer();
  if (IsGatewayRunning()) {
    // The listening socket could not be closed and the gateway still runs
    // (its "Error: " line is in the log): the buttons must say so, and
    // Stop stays available to try again.
    EnableStop(true);
    return;
  }
  EnableRun(true);
  EnableOptions(true);
}

bool TMainForm::StartServer() {
  if (!StartGateway()) return false;
  const auto* tcp = gSetting->GetTCP();
  ShowIP(tcp->IP);
  ShowPort(tcp->TCPPort);
  SetOnlineIcon();
  return true;
}

void TMainForm::StopServer() {
  if (StopGateway()) SetOfflineIcon();
}

void TMainForm::SaveLog() {
  if (!SaveLogDlg.Execute()) return;
  try {
    MsgMemo->Lines.SaveToFile(SaveLogDlg.FileName);
  } catch (const std::exception& error) {
    Application->ShowException(error);
  }
}

void TMainForm::EnableRun(bool enabled) {
  RunBtn->setEnabled(enabled);
  Run1->setEnabled(enabled);
}

void TMainForm::EnableStop(bool enabled) {
  StopBtn->setEnabled(enabled);
  Stop1->setEnabled(enabled);
}

void TMainForm::EnableOptions(bool enabled) {
  imOptions->setEnabled(enabled);
}

void TMainForm::ShowIP(const AnsiString& address) {
  // An empty address listens on every interface; loopback is one of them.
  ConnStatusBar->Panels(0).SetText(
      "IP: " + (address.IsEmpty() ? AnsiString("127.0.0.1") : address));
}

void TMainForm::ShowPort(int port) {
  ConnStatusBar->Panels(1).SetText("PORT: " + AnsiString(port));
}

void TMainForm::StatusTmrTimer() {
  AnsiString text;
  text.sprintf("%d Connections", static_cast<int>(gWinTCPEnv->ClientCount()));
  ConnStatusBar->Panels(2).SetText(text);
}

void TMainForm::SetOnlineIcon() {
  Application->SetIcon(LoadIconResource("ONLINEICON"));
}

void TMainForm::SetOfflineIcon() {
  Application->SetIcon(LoadIconResource("OFFLINEICON"));
}

void TMainForm::TrayIcon(DWORD message) {
  if (message == NIM_ADD) {
    Tray->setIcon(Application->Icon());
    Tray->setToolTip(ToQString(Application->Title()));
    Tray->show();
  } else if (message == NIM_DELETE) {
    Tray->hide();
  }
}

void TMainForm::ApplicationEvents1Minimize() {
  // Without a system tray the window stays in the task bar, or it could
  // never be brought back.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  TrayIcon(NIM_ADD);
  hide();
}

void TMainForm::ApplicationEvents1Restore() { TrayIcon(NIM_DELETE); }

void TMainForm::OnTrayMessage(QSystemTrayIcon::ActivationReason reason) {
  if (reason != QSystemTrayIcon::DoubleClick) return;
  Application->ShowMainForm = true;
  show();
  Application->Restore();
  raise();
  activateWindow();
}
