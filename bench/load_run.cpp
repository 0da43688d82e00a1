#include "bench/load_run.h"

#include <algorithm>
#include <cmath>
#include <latch>
#include <thread>

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
void RunClient(RegisterReader& reader, std::latch& ready, std::latch& go,
               const Schedule& schedule, ClientLog& log) {
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

void AddLogs(const std::vector<ClientLog>& logs, LoadTally& tally) {
  std::vector<Clock::duration> latencies;
  std::size_t failures = 0;
  Clock::time_point first = Clock::time_point::max();
  Clock::time_point last = Clock::time_point::min();
  for (const ClientLog& log : logs) {
    failures += log.failures;
    for (const Sample& sample : log.samples) {
      latencies.push_back(sample.latency);
      first = std::min(first, sample.done);
      last = std::max(last, sample.done);
    }
  }
  const Clock::duration span =
      latencies.empty() ? Clock::duration{} : last - first;
  tally.AddWindow(std::move(latencies), failures, span);
}

}  // namespace

void LoadTally::AddWindow(std::vector<Duration> latencies,
                          std::size_t failures, Duration first_to_last) {
  failures_ += failures;
  if (latencies.size() > 1) {
    intervals_ += latencies.size() - 1;
    span_ += first_to_last;
  }
  latencies_.insert(latencies_.end(), latencies.begin(), latencies.end());
}

LoadFigures LoadTally::Figures() const {
  LoadFigures figures;
  figures.replies = latencies_.size();
  figures.failures = failures_;
  if (latencies_.empty()) return figures;
  std::vector<Duration> sorted = latencies_;
  std::sort(sorted.begin(), sorted.end());
  figures.p50_us = Quantile(sorted, 0.50);
  figures.p99_us = Quantile(sorted, 0.99);
  const double span_us = Microseconds(span_);
  if (span_us > 0) {
    figures.per_second = static_cast<double>(intervals_) * 1e6 / span_us;
  }
  return figures;
}

bool RunLoad(int clients, const ReaderMaker& make_reader,
             const LoadWindow& window, LoadTally& tally) {
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
  AddLogs(logs, tally);
  return true;
}
