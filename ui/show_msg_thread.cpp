#include "ui/show_msg_thread.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/message_fifo.h"
#include "common/write_all.h"
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
  // The stop event comes when the program ends, right after the gateway's
  // stop has logged its last lines. A window is gone by then; the standard
  // output still takes them.
  if (Application->IsHeadless()) {
    while (gMsgFIFO->TryPop(msg) == 0) Print(msg);
  }
}

void ShowMsgThread::ShowMsg() {
  if (MainForm == nullptr) return;
  MainForm->MsgMemo->Lines.Add(msg);
  // A window without a display is seen by nobody: the log goes to the
  // standard output as well.
  if (Application->IsHeadless()) Print(msg);
}

void ShowMsgThread::Print(const AnsiString& line) {
  const std::string text = line.str() + "\n";
  if (WriteAll(STDOUT_FILENO, text) == text.size()) return;
  // A reader that went away (a pipe into a program that ended) or a full
  // disk costs the line, never the gateway. Said once: every later line
  // would most likely fail the same way.
  static std::atomic<bool> said{false};
  if (said.exchange(true)) return;
  std::fprintf(stderr,
               "%s: a log line could not be written to the standard output (%s); "
               "lines that cannot be written are dropped\n",
               Application->Title().c_str(), std::strerror(errno));
}
