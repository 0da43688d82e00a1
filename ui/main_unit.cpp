#include "ui/main_unit.h"

#include "common/message_fifo.h"
#include "gateway/tcp_env.h"
#include "ui/show_msg_thread.h"

TEvent* gStopEvent = nullptr;
ShowMsgThread* gShowMsgThread = nullptr;
TMainForm* MainForm = nullptr;
TAboutDlg* AboutDlg = nullptr;
TOptionsDlg* OptionsDlg = nullptr;
TChoiceSerialPortDlg* ChoiceSerialPortDlg = nullptr;
TUnitListDlg* UnitListDlg = nullptr;
TIPListDlg* IPListDlg = nullptr;

void MainUnitInit() {
  gMsgFIFO.Build();
  gWinTCPEnv.Build();
  gStopEvent = new TEvent(nullptr, false, false, "");
  gShowMsgThread = new ShowMsgThread(true);
}

void MainUnitExit() {
  // The window's close handler normally signalled the stop event already.
  // When the program ends another way (an exception left the event loop),
  // it has not, and the thread's destructor would wait for ever. Signalling
  // twice is harmless: the event is only ever waited on by this thread.
  gStopEvent->SetEvent();
  delete gShowMsgThread;
  gShowMsgThread = nullptr;
  delete gStopEvent;
  gStopEvent = nullptr;
  gWinTCPEnv.Destroy();
  gMsgFIFO.Destroy();
}
