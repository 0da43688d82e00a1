#pragma once
// The log display thread: takes each line from the log queue and hands it
// to the main thread, which appends it to the main window's log view. It
// ends when the stop event is signalled.
#include "platform/ansi_string.h"
#include "ui/complib/thread.h"

class ShowMsgThread : public TThread {
 public:
  explicit ShowMsgThread(bool CreateSuspended);
  ~ShowMsgThread() override;

 protected:
  void Execute() override;

 private:
  // Runs in the main thread while this thread waits in Synchronize.
  void ShowMsg();
  // A line on the standard output, for a window that nobody sees; one
  // that cannot be written is dropped.
  static void Print(const AnsiString& line);

  // The line last taken from the queue.
  AnsiString msg;
};
