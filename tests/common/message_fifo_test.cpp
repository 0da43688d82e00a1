// MessageFIFO with real threads: the 64-line bound, the stop event's
// priority, many producers against one consumer, and a gateway stop that
// keeps every line.
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/message_fifo.h"

namespace {

class Fifo : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(stop, nullptr); }
  void TearDown() override { CloseHandle(stop); }

  MessageFIFO<AnsiString> fifo;
  HANDLE stop = CreateEventA(nullptr, 1, 0, nullptr);
  AnsiString line{"untouched"};
};

TEST_F(Fifo, HoldsSixtyFourLinesAndTheStopEventWinsKeepingThem) {
  for (int i = 0; i < 64; ++i) ASSERT_EQ(fifo.Push(AnsiString(i)), kFifoOk);
  EXPECT_EQ(fifo.Push("one too many"), kFifoFull);
  SetEvent(stop);
  EXPECT_EQ(fifo.Pop(line, stop, INFINITE), kFifoStopped);
  EXPECT_EQ(line.str(), "untouched");
  ResetEvent(stop);
  for (int i = 0; i < 64; ++i) {
    ASSERT_EQ(fifo.Pop(line, stop, 0), kFifoOk);
    EXPECT_EQ(line, AnsiString(i));
  }
  EXPECT_EQ(fifo.Pop(line, stop, 20), kFifoTimedOut);
  EXPECT_EQ(line, AnsiString(63));
  EXPECT_EQ(fifo.Push("room again"), kFifoOk);  // a bound on lines queued
}

// A gateway stop's lines pile up while the consumer waits for the stopping
// thread: all are kept, in order. After the stop the bound is back, counted
// on what is still queued: a line fits again only below 64. The line of a
// Run that follows at once is kept all the same, behind the stop's.
TEST_F(Fifo, AStopKeepsEveryLineInOrderAndTheBoundReturnsAfterIt) {
  constexpr int kStopLines = 300;
  {
    const MessageFIFO<AnsiString>::KeepEveryLine stop_running(fifo);
    for (int i = 0; i < kStopLines; ++i)
      ASSERT_EQ(fifo.Push(AnsiString(i)), kFifoOk) << i;
  }
  EXPECT_EQ(fifo.Push("after the stop"), kFifoFull);
  EXPECT_EQ(fifo.PushKept("run"), kFifoOk);
  for (int i = 0; i < kStopLines - 62; ++i) {
    ASSERT_EQ(fifo.TryPop(line), kFifoOk) << i;
    EXPECT_EQ(line.str(), std::to_string(i));
  }
  EXPECT_EQ(fifo.Push("fits"), kFifoOk);
  EXPECT_EQ(fifo.Push("one too many"), kFifoFull);
  for (int i = kStopLines - 62; i < kStopLines; ++i) {
    ASSERT_EQ(fifo.Pop(line, stop, 0), kFifoOk) << i;
    EXPECT_EQ(line.str(), std::to_string(i));
  }
  EXPECT_EQ(fifo.TryPop(line), kFifoOk);
  EXPECT_EQ(line.str(), "run");
  EXPECT_EQ(fifo.TryPop(line), kFifoOk);
  EXPECT_EQ(line.str(), "fits");
  EXPECT_EQ(fifo.TryPop(line), kFifoTimedOut);
}

// The consumer waits for lines and for the stop the last producer gives.
// Producers never wait, so some lines may be dropped; but no line is taken
// twice, none appears from nowhere, and each producer's lines keep order.
TEST_F(Fifo, ManyProducersOneConsumerKeepEachProducersOrder) {
  constexpr int kProducers = 8;
  constexpr int kLines = 2000;
  std::atomic<int> queued{0};
  std::atomic<int> producers_left{kProducers};
  std::vector<std::thread> producers;
  for (int p = 0; p < kProducers; ++p) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kLines; ++i) {
        AnsiString text;
        text.sprintf("%d %d", p, i);
        if (fifo.Push(text) == kFifoOk) ++queued;
        if (i % 64 == 0) std::this_thread::yield();
      }
      if (--producers_left == 0) SetEvent(stop);
    });
  }
  std::vector<int> last_seen(kProducers, -1);
  int taken = 0;
  bool in_order = true;
  for (;;) {
    const int result = fifo.Pop(line, stop, INFINITE);
    if (result == kFifoStopped) break;
    int producer = -1, index = 0;
    if (result != kFifoOk ||
        std::sscanf(line.c_str(), "%d %d", &producer, &index) != 2 ||
        producer < 0 || producer >= kProducers) {
      ADD_FAILURE() << "result " << result << ", line " << line.str();
      break;  // still join the producers below
    }
    in_order = in_order && index > last_seen[producer];
    last_seen[producer] = index;
    ++taken;
  }
  for (auto& t : producers) t.join();
  ResetEvent(stop);  // the stop won over whatever is still queued
  while (fifo.Pop(line, stop, 0) == kFifoOk) ++taken;
  EXPECT_TRUE(in_order);
  EXPECT_EQ(taken, queued.load());
}

}  // namespace
