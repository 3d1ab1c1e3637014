#include "host/conflict_retry.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <random>
#include <thread>

#include "host/object_context.h"

namespace host {
namespace {

// A wait between half of `ceiling` and all of it.
std::chrono::microseconds Jittered(std::chrono::milliseconds ceiling) {
  thread_local std::minstd_rand random(std::random_device{}());
  const auto full = std::chrono::duration_cast<std::chrono::microseconds>(ceiling).count();
  std::uniform_int_distribution<long long> pick(full / 2, std::max<long long>(full, 1));
  return std::chrono::microseconds(pick(random));
}

std::atomic<uint64_t> retries{0};

}  // namespace

Attempt AttemptOf(const Instance& root) {
  if (root.TransactionConflicted()) return Attempt::kConflicted;
  return root.TransactionKeyTaken() ? Attempt::kKeyTaken : Attempt::kDone;
}

uint64_t ConflictRetries() { return retries.load(); }

RetryPolicy DefaultRetryPolicy() {
  RetryPolicy policy;
  const char* budget = std::getenv("PLEXAVO_CONFLICT_RETRY_MS");
  if (budget != nullptr && *budget != '\0') {
    char* end = nullptr;
    const long long ms = std::strtoll(budget, &end, 10);
    if (*end == '\0' && ms >= 0) policy.budget = std::chrono::milliseconds(ms);
  }
  return policy;
}

bool RetryWhileConflicted(const RetryPolicy& policy, const std::function<Attempt()>& attempt) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + policy.budget;
  std::chrono::milliseconds ceiling = policy.first_wait;
  int keys_taken = 0;
  for (;;) {
    const Attempt outcome = attempt();
    if (outcome == Attempt::kDone) return false;
    if (outcome == Attempt::kKeyTaken && ++keys_taken > kKeyTakenRetries) return false;
    const auto wait = Jittered(ceiling);
    if (Clock::now() + wait >= deadline) return outcome == Attempt::kConflicted;
    std::this_thread::sleep_for(wait);
    retries.fetch_add(1);
    ceiling = std::min(ceiling * 2, policy.longest_wait);
  }
}

}  // namespace host
