#pragma once
// Runs N clients at once, each in its own thread sending its next request
// as soon as its last reply is in, and measures what a time window saw.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "bench/register_readers.h"

struct LoadFigures {
  std::size_t replies = 0;   // right replies completed inside the window
  std::size_t failures = 0;  // missing or wrong replies inside the window
  double per_second = 0;     // replies per second
  double p50_us = 0;         // latency of one request, median
  double p99_us = 0;         // and 99th percentile
};

struct LoadWindow {
  std::chrono::milliseconds warm_up{300};  // run, but not measured
  std::chrono::milliseconds measured{2000};
};

// Makes the reader of client `index` (0 to clients - 1); null when it
// cannot be made, which ends the run without figures.
using ReaderMaker = std::function<std::unique_ptr<RegisterReader>(int index)>;

// False when a reader could not be made.
bool RunLoad(int clients, const ReaderMaker& make_reader,
             const LoadWindow& window, LoadFigures& figures);
