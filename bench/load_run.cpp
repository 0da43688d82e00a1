#include "bench/load_run.h"

#include <algorithm>
#include <cmath>
#include <latch>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
  Clock::time_point done;
  Clock::duration latency;
};

struct ClientLog {
  std::vector<Sample> samples;
  std::size_t failures = 0;
};

struct Schedule {
  Clock::time_point measure_from;
  Clock::time_point stop_at;
};

// One client's loop: requests back to back until the window has closed.
// Only requests that end inside the window are kept.
void RunClient(RegisterReader& reader, std::latch& ready,
               std::latch& go, const Schedule& schedule, ClientLog& log) {
  ready.count_down();
  go.wait();
  for (;;) {
    const Clock::time_point sent = Clock::now();
    if (sent >= schedule.stop_at) break;
    const bool right = reader.ReadOnce();
    const Clock::time_point done = Clock::now();
    if (done < schedule.measure_from || done >= schedule.stop_at) continue;
    if (right) {
      log.samples.push_back({done, done - sent});
    } else {
      ++log.failures;
    }
  }
}

double Microseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::micro>(duration).count();
}

// The q-quantile of sorted latencies, nearest rank.
double Quantile(const std::vector<Clock::duration>& sorted, double q) {
  const auto rank = static_cast<std::size_t>(
      std::ceil(q * static_cast<double>(sorted.size())));
  return Microseconds(sorted[std::max<std::size_t>(rank, 1) - 1]);
}

void Summarise(const std::vector<ClientLog>& logs, LoadFigures& figures) {
  std::vector<Clock::duration> latencies;
  Clock::time_point first = Clock::time_point::max();
  Clock::time_point last = Clock::time_point::min();
  figures = LoadFigures{};
  for (const ClientLog& log : logs) {
    figures.failures += log.failures;
    for (const Sample& sample : log.samples) {
      latencies.push_back(sample.latency);
      first = std::min(first, sample.done);
      last = std::max(last, sample.done);
    }
  }
  figures.replies = latencies.size();
  if (latencies.empty()) return;
  std::sort(latencies.begin(), latencies.end());
  figures.p50_us = Quantile(latencies, 0.50);
  figures.p99_us = Quantile(latencies, 0.99);
  // The rate between the first and the last reply of the window: exact
  // even when a slow line gives only a few hundred replies.
  const double span_us = Microseconds(last - first);
  if (latencies.size() > 1 && span_us > 0) {
    figures.per_second =
        static_cast<double>(latencies.size() - 1) * 1e6 / span_us;
  }
}

}  // namespace

bool RunLoad(int clients, const ReaderMaker& make_reader,
             const LoadWindow& window, LoadFigures& figures) {
  std::vector<std::unique_ptr<RegisterReader>> readers;
  for (int i = 0; i < clients; ++i) {
    readers.push_back(make_reader(i));
    if (readers.back() == nullptr) return false;
  }
  std::vector<ClientLog> logs(static_cast<std::size_t>(clients));
  std::latch ready(clients);
  std::latch go(1);
  Schedule schedule;
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back(RunClient, std::ref(*readers[i]), std::ref(ready),
                         std::ref(go), std::cref(schedule),
                         std::ref(logs[i]));
  }
  ready.wait();
  schedule.measure_from = Clock::now() + window.warm_up;
  schedule.stop_at = schedule.measure_from + window.measured;
  go.count_down();  // publishes the schedule to every client
  for (std::thread& thread : threads) thread.join();
  Summarise(logs, figures);
  return true;
}
