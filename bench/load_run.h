#pragma once
// Runs N clients at once, each in its own thread sending its next request
// as soon as its last reply is in, and measures what a time window saw.
// Several windows can go into one tally: the benchmark alternates short
// windows through the gateway and straight to the device, so that a burst
// of load from elsewhere on the machine falls on both sides alike.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "bench/register_readers.h"

struct LoadFigures {
  std::size_t replies = 0;   // right replies completed inside the windows
  std::size_t failures = 0;  // missing or wrong replies inside the windows
  double per_second = 0;     // replies per second
  double p50_us = 0;         // latency of one request, median
  double p99_us = 0;         // and 99th percentile
};

struct LoadWindow {
  std::chrono::milliseconds warm_up{100};  // run, but not measured
  std::chrono::milliseconds measured{1000};
};

// What the windows of one set-up saw, pooled.
class LoadTally {
 public:
  using Duration = std::chrono::steady_clock::duration;
  // One window's latencies and its replies' first and last completion.
  void AddWindow(std::vector<Duration> latencies, std::size_t failures,
                 Duration first_to_last);
  LoadFigures Figures() const;

 private:
  std::vector<Duration> latencies_;
  std::size_t failures_ = 0;
  // Intervals between replies, and their total length: the rate from the
  // first to the last reply of each window is exact even when a slow line
  // gives only a few hundred replies.
  std::size_t intervals_ = 0;
  Duration span_{};
};

// Makes the reader of client `index` (0 to clients - 1); null when it
// cannot be made, which ends the run without figures.
using ReaderMaker = std::function<std::unique_ptr<RegisterReader>(int index)>;

// Runs one window and adds it to the tally. False when a reader could not
// be made.
bool RunLoad(int clients, const ReaderMaker& make_reader,
             const LoadWindow& window, LoadTally& tally);
