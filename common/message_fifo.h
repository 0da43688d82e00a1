#pragma once
// MessageFIFO: the bounded, thread-safe queue of log lines between every
// producing thread and the one log display thread. Producers never wait:
// a line that finds the queue full is dropped. The consumer waits on a
// counting semaphore (one count per queued line) and a stop event; the
// stop event wins when both are signalled.
#include <deque>

#include "platform/ansi_string.h"
#include "platform/global_object.h"
#include "platform/sync.h"
#include "platform/wait.h"

// Results of Push and Pop.
inline constexpr int kFifoOk = 0;
inline constexpr int kFifoNotSignalled = -1;  // queued, but no count given
inline constexpr int kFifoFull = -2;          // dropped
inline constexpr int kFifoStopped = -3;
inline constexpr int kFifoWaitFailed = -4;
inline constexpr int kFifoTimedOut = -5;

template <class T>
class MessageFIFO {
 public:
  static constexpr LONG kCapacity = 64;

  MessageFIFO() {
    InitializeCriticalSection(&lock_);
    semaphore_ = CreateSemaphoreA(nullptr, 0, kCapacity, nullptr);
  }
  ~MessageFIFO() {
    DeleteCriticalSection(&lock_);
    if (semaphore_ != nullptr) CloseHandle(semaphore_);
  }
  MessageFIFO(const MessageFIFO&) = delete;
  MessageFIFO& operator=(const MessageFIFO&) = delete;

  // Queues a copy of the line: kFifoOk, kFifoNotSignalled, or kFifoFull.
  int Push(const T& line) {
    EnterCriticalSection(&lock_);
    if (lines_.size() >= static_cast<std::size_t>(kCapacity)) {
      LeaveCriticalSection(&lock_);
      return kFifoFull;
    }
    lines_.push_back(line);
    LeaveCriticalSection(&lock_);
    // The line is queued before its count is given, so a count never
    // stands for a line that is not there yet.
    return ReleaseSemaphore(semaphore_, 1, nullptr) ? kFifoOk
                                                    : kFifoNotSignalled;
  }

  // Takes the oldest line if there is one, without waiting and whatever
  // the stop event: kFifoOk, kFifoTimedOut when none is queued, or
  // kFifoWaitFailed. For the consumer that stopped with lines still queued.
  int TryPop(T& line) {
    switch (WaitForSingleObject(semaphore_, 0)) {
      case WAIT_OBJECT_0:
        return TakeFront(line);
      case WAIT_TIMEOUT:
        return kFifoTimedOut;
      default:
        return kFifoWaitFailed;
    }
  }

  // Takes the oldest line: kFifoOk, kFifoStopped (lines stay queued),
  // kFifoWaitFailed or kFifoTimedOut. `timeout_ms` may be INFINITE.
  int Pop(T& line, HANDLE stop_event, DWORD timeout_ms) {
    const HANDLE handles[2] = {stop_event, semaphore_};
    switch (WaitForMultipleObjects(2, handles, 0, timeout_ms)) {
      case WAIT_OBJECT_0:
        return kFifoStopped;
      case WAIT_OBJECT_0 + 1:
        return TakeFront(line);
      case WAIT_TIMEOUT:
        return kFifoTimedOut;
      default:
        return kFifoWaitFailed;
    }
  }

 private:
  // Runs after the wait consumed one count, which stands for one line.
  int TakeFront(T& line) {
    EnterCriticalSection(&lock_);
    if (lines_.empty()) {  // cannot happen while counts follow lines
      LeaveCriticalSection(&lock_);
      return kFifoWaitFailed;
    }
    line = lines_.front();
    lines_.pop_front();
    LeaveCriticalSection(&lock_);
    return kFifoOk;
  }

  std::deque<T> lines_;
  CRITICAL_SECTION lock_;
  HANDLE semaphore_ = nullptr;
};

extern GlobalObject<MessageFIFO<AnsiString>> gMsgFIFO;
