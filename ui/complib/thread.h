#pragma once
// TThread: a worker thread object. The thread is created suspended and
// runs Execute once resumed. Synchronize hands a call to the main (GUI)
// thread and blocks until it has run there. The destructor of a thread
// that has not ended sets the terminated flag, resumes it if it was never
// resumed, and waits for its end, running the calls that it hands over
// meanwhile, so a thread blocked in Synchronize can always finish.
#include <atomic>
#include <functional>

#include "platform/handle.h"

class TThread {
 public:
  // The system thread always starts suspended: a derived class is not
  // complete while this constructor runs, so a derived class that is to
  // run at once calls Resume at the end of its own constructor.
  TThread();
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Starts a suspended thread; no effect on one that runs or has ended.
  void Resume();
  // Only sets the flag that Execute may look at.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  bool Finished() const { return finished_.load(); }
  bool Suspended() const { return suspended_.load(); }
  // Waits until Execute has returned.
  void WaitFor();
  HANDLE Handle() const { return handle_; }

 protected:
  virtual void Execute() = 0;
  // Sets the terminated flag, resumes a thread that was never resumed and
  // waits until Execute has returned.
  void TerminateAndWait();
  // Runs `method` in the main thread and waits until it has run there. An
  // exception that it throws is thrown again here, in this thread.
  void Synchronize(const std::function<void()>& method);

 private:
  static DWORD ThreadProc(LPVOID self);

  HANDLE handle_ = nullptr;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> suspended_{true};
  // Set when the derived class has gone without ending the thread: a
  // thread that had not started then never calls Execute.
  std::atomic<bool> orphaned_{false};
};
