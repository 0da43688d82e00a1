#include "ui/show_msg_thread.h"

#include <cstdio>

#include "common/message_fifo.h"
#include "platform/win_types.h"
#include "ui/complib/application.h"
#include "ui/main_form.h"
#include "ui/main_unit.h"

ShowMsgThread::ShowMsgThread(bool CreateSuspended) {
  if (!CreateSuspended) Resume();
}

// The thread must have ended before msg goes.
ShowMsgThread::~ShowMsgThread() { TerminateAndWait(); }

void ShowMsgThread::Execute() {
  // Only the stop event ends the loop (or a failed wait); the terminated
  // flag is not looked at.
  while (gMsgFIFO->Pop(msg, gStopEvent->Handle(), INFINITE) == 0)
    Synchronize([this] { ShowMsg(); });
}

void ShowMsgThread::ShowMsg() {
  if (MainForm == nullptr) return;
  MainForm->MsgMemo->Lines.Add(msg);
  // A window without a display is seen by nobody: the log goes to the
  // standard output as well.
  if (Application->IsHeadless()) {
    std::printf("%s\n", msg.c_str());
    std::fflush(stdout);
  }
}
