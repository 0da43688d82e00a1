#pragma once
// MessageFIFO: the bounded, thread-safe queue of log lines between every
// producing thread and the one log display thread. Producers never wait:
// in normal running a line that finds 64 lines queued is dropped. While a
// gateway stop runs (a KeepEveryLine guard lives) every line is kept
// instead: the stop waits on the main thread for every client thread, so
// the display thread cannot hand on a single line meanwhile, and the lines
// the stop brings, about one per client it ends (at most MaxConnections),
// would otherwise be lost. After the stop the bound counts them: no line
// fits until the consumer has taken the queue below 64, except the lines
// that say what Run and Stop did, which are always kept. The consumer waits
// on a counting semaphore (one count per queued line, however many a stop
// left) and a stop event; the stop event wins when both are signalled.
#include <deque>
#include <limits>

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

  // Lifts the bound for the life of a gateway stop.
  class KeepEveryLine {
   public:
    explicit KeepEveryLine(MessageFIFO& fifo) : fifo_(fifo) {
      fifo_.ChangeKeepers(+1);
    }
    ~KeepEveryLine() { fifo_.ChangeKeepers(-1); }
    KeepEveryLine(const KeepEveryLine&) = delete;
    KeepEveryLine& operator=(const KeepEveryLine&) = delete;

   private:
    MessageFIFO& fifo_;
  };

  MessageFIFO() {
    InitializeCriticalSection(&lock_);
    // The bound is the length check in Push alone: after a stop more than
    // kCapacity lines may be queued, and each needs its count.
    semaphore_ = CreateSemaphoreA(nullptr, 0, std::numeric_limits<LONG>::max(),
                                  nullptr);
  }
  ~MessageFIFO() {
    DeleteCriticalSection(&lock_);
    if (semaphore_ != nullptr) CloseHandle(semaphore_);
  }
  MessageFIFO(const MessageFIFO&) = delete;
  MessageFIFO& operator=(const MessageFIFO&) = delete;

  // Queues a copy of the line: kFifoOk, kFifoNotSignalled, or kFifoFull
  // (never while a KeepEveryLine guard lives).
  int Push(const T& line) { return Queue(line, false); }

  // Queues a copy of the line whatever the bound: for the few lines that
  // say what Run and Stop did, which the operator must see however many
  // lines a stop left queued. kFifoOk or kFifoNotSignalled.
  int PushKept(const T& line) { return Queue(line, true); }

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
  void ChangeKeepers(int change) {
    EnterCriticalSection(&lock_);
    keepers_ += change;
    LeaveCriticalSection(&lock_);
  }

  int Queue(const T& line, bool whatever_the_bound) {
    EnterCriticalSection(&lock_);
    if (!whatever_the_bound && keepers_ == 0 &&
        lines_.size() >= static_cast<std::size_t>(kCapacity)) {
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
  int keepers_ = 0;  // KeepEveryLine guards alive
  CRITICAL_SECTION lock_;
  HANDLE semaphore_ = nullptr;
};

extern GlobalObject<MessageFIFO<AnsiString>> gMsgFIFO;
