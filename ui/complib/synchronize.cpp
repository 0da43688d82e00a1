#include "ui/complib/synchronize.h"

#include <QCoreApplication>
#include <QThread>
#include <deque>
#include <exception>
#include <mutex>

#include "platform/sync.h"
#include "platform/wait.h"

namespace {

struct SyncRequest {
  const std::function<void()>* method;
  HANDLE done;
  std::exception_ptr error;
};

class SyncQueue {
 public:
  SyncQueue() : signal_(CreateEventA(nullptr, 0, 0, nullptr)) {}
  ~SyncQueue() { CloseHandle(signal_); }

  void Add(SyncRequest* request) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pending_.push_back(request);
    }
    SetEvent(signal_);
  }
  SyncRequest* Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.empty()) return nullptr;
    SyncRequest* request = pending_.front();
    pending_.pop_front();
    return request;
  }
  HANDLE Signal() const { return signal_; }

 private:
  std::mutex mutex_;
  std::deque<SyncRequest*> pending_;
  HANDLE signal_;
};

SyncQueue& Queue() {
  static SyncQueue queue;
  return queue;
}

}  // namespace

bool IsMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app == nullptr || app->thread() == QThread::currentThread();
}

void SynchronizeCall(const std::function<void()>& method) {
  if (IsMainThread()) {
    method();
    return;
  }
  SyncRequest request{&method, CreateEventA(nullptr, 1, 0, nullptr),
                      nullptr};
  Queue().Add(&request);
  // Wake the event loop; a main thread that waits for a thread's end
  // instead sees the queue's signal.
  QMetaObject::invokeMethod(QCoreApplication::instance(), &CheckSynchronize,
                            Qt::QueuedConnection);
  WaitForSingleObject(request.done, INFINITE);
  CloseHandle(request.done);
  if (request.error) std::rethrow_exception(request.error);
}

void CheckSynchronize() {
  while (SyncRequest* request = Queue().Take()) {
    try {
      (*request->method)();
    } catch (...) {
      request->error = std::current_exception();
    }
    SetEvent(request->done);
  }
}

HANDLE SyncEvent() { return Queue().Signal(); }
