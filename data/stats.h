// Process-wide counters of the data layer, read by the server's metrics:
// statements run and the time spent in them (the time calls wait for the
// database), and transactions committed and rolled back. Lock-free; the
// counters only ever grow.
#ifndef PLEXAVO_DATA_STATS_H_
#define PLEXAVO_DATA_STATS_H_

#include <atomic>
#include <chrono>
#include <cstdint>

namespace data {

struct DbCounters {
  std::atomic<uint64_t> statements{0};
  std::atomic<uint64_t> statement_ns{0};
  std::atomic<uint64_t> commits{0};
  std::atomic<uint64_t> rollbacks{0};
};

DbCounters& Counters();

// Adds the time from construction to destruction to one statement.
class StatementTimer {
 public:
  StatementTimer() : start_(std::chrono::steady_clock::now()) {}
  ~StatementTimer() {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now() - start_)
                        .count();
    Counters().statements.fetch_add(1, std::memory_order_relaxed);
    Counters().statement_ns.fetch_add(static_cast<uint64_t>(ns), std::memory_order_relaxed);
  }
  StatementTimer(const StatementTimer&) = delete;
  StatementTimer& operator=(const StatementTimer&) = delete;

 private:
  std::chrono::steady_clock::time_point start_;
};

}  // namespace data

#endif  // PLEXAVO_DATA_STATS_H_
