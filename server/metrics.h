// Server metrics in the Prometheus text format (GET /metrics): calls by
// class, operation and outcome, call latency, conflicts retried, time spent
// in database statements, commits and rollbacks, open database sessions per
// company database, and build information.
//
// Labels carry only names from the interface tables (class, operation) and
// company database names; never arguments, company data or tokens. An
// operation the request did not validly name counts as operation "-".
#ifndef PLEXAVO_SERVER_METRICS_H_
#define PLEXAVO_SERVER_METRICS_H_

#include <array>
#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace server {

enum class CallOutcome {
  kSuccess,   // answered 200, and not a refusal
  kRefusal,   // answered 200 with a Boolean result of false
  kConflict,  // answered 409: the transaction lost a race every time it ran
  kFailure,   // any other answer (400, 401, 413, 500, ...)
};

class Metrics {
 public:
  // One call's end; `cls` and `op` as the interface tables spell them, or
  // "-" when the request named none that exists.
  void CallDone(const std::string& cls, const std::string& op, CallOutcome outcome, double seconds);
  // A call that ran again after its transaction lost a race.
  void ConflictRetried(const std::string& cls, const std::string& op);

  // The whole exposition, data-layer counters and session counts included.
  std::string Render() const;

  // Upper bounds of the latency histogram's buckets, in seconds.
  static constexpr std::array<double, 14> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                                      0.25,  0.5,    1,     2.5,  5,     10,   30};

 private:
  struct PerOperation {
    std::array<uint64_t, 4> outcomes{};
    uint64_t retries = 0;
    std::array<uint64_t, kBuckets.size()> buckets{};  // not cumulative
    uint64_t count = 0;
    double sum = 0;
  };

  mutable std::mutex mu_;
  std::map<std::pair<std::string, std::string>, PerOperation> ops_;
};

}  // namespace server

#endif  // PLEXAVO_SERVER_METRICS_H_
