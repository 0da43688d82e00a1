#pragma once
// TMainForm: the operator's window and the controller of the gateway. It
// runs and stops the gateway, shows the log lines that the log display
// thread hands over, clears and saves them, shows address, port and
// connection count in its status bar, swaps the on-line and off-line
// icons, and hides in the system tray while minimised.
#include <QMainWindow>
#include <QSystemTrayIcon>

#include "platform/ansi_string.h"
#include "platform/win_types.h"
#include "ui/complib/close_action.h"
#include "ui/complib/image_list.h"
#include "ui/complib/memo.h"
#include "ui/complib/save_dialog.h"
#include "ui/complib/status_bar.h"

class QAction;
class QMenu;
class QMenuBar;
class QTimer;
class QToolBar;
class QToolButton;

// The two tray-icon operations.
inline constexpr DWORD NIM_ADD = 0;
inline constexpr DWORD NIM_DELETE = 2;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // Lines the log view keeps; older ones go. A client can add lines as
  // fast as it sends requests, so the view must not grow with them.
  static constexpr int kLogViewLines = 10000;

  TMemo* MsgMemo;
  QToolBar* ToolBar1;
  QToolButton* RunBtn;
  QToolButton* StopBtn;
  QWidget* ToolButton3;
  QToolButton* ClrMsgBtn;
  QToolButton* ToolButton1;
  TStatusBar* ConnStatusBar;
  QMenuBar* MainMenu;
  QMenu* File1;
  QAction* SaveLog1;
  QMenu* Edit1;
  QAction* ClrMsgMenuItem;
  QMenu* Operation1;
  QAction* Run1;
  QAction* Stop1;
  QMenu* Configuration1;
  QAction* imOptions;
  QMenu* About1;
  QAction* about2;
  TImageList BtnImageList;
  QTimer* StatusTmr;
  TSaveDialog SaveLogDlg{this};
  QSystemTrayIcon* Tray;

  // Event handlers.
  void FormCreate();
  void FormShow();
  void FormClose(TCloseAction& Action);
  void RunBtnClick();
  void Run1Click();
  void StopBtnClick();
  void Stop1Click();
  void ClrMsgBtnClick();
  void ClrMsgMenuItemClick();
  void ToolButton1Click();
  void SaveLog1Click();
  void imOptionsClick();
  void about2Click();
  void StatusTmrTimer();
  void ApplicationEvents1Minimize();
  void ApplicationEvents1Restore();

  // The tray icon's activation; a double click brings the window back.
  void OnTrayMessage(QSystemTrayIcon::ActivationReason reason);

  // The program is asked to end (SIGTERM and its kin): close the window as
  // the operator would, answering Yes to the question about a running
  // gateway, whatever dialog happens to be open.
  void EndSession();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildToolBar();
  void BuildMenus();
  void BuildStatusBar();
  void ConnectHandlers();

  bool StartServer();
  void StopServer();
  void Run();
  void Stop();
  void SaveLog();
  void EnableRun(bool enabled);
  void EnableStop(bool enabled);
  void EnableOptions(bool enabled);
  void ShowIP(const AnsiString& address);
  void ShowPort(int port);
  void TrayIcon(DWORD message);
  void SetOnlineIcon();
  void SetOfflineIcon();
  int AskCloseWhileRunning();

  bool closing_ = false;
  bool session_ending_ = false;
};
