// Running a call again when its transaction lost a race with another one.
//
// A transaction that ran into another (data::Enlistment::conflicted) left
// nothing behind, so the same call may run again on a fresh object and a
// fresh transaction. Attempts are spaced by a backoff that doubles up to a
// ceiling, each wait drawn at random from its lower half to its full length
// (so that callers who collided once do not collide again in step), and
// the whole is bounded by time rather than by a count: a call that still
// conflicts once the budget is spent is given up as conflicted.
//
// A key found taken is a race only when another transaction took it while
// the call ran; then the next attempt sees the key and decides otherwise
// (a duplicate number is refused). A key taken again on a fresh
// transaction is the call's own doing, so such a call runs again at most
// kKeyTakenRetries times and then stands as it ended. A call that ends
// without either (a success, a business refusal, any other failure) is
// never run again.
#ifndef PLEXAVO_HOST_CONFLICT_RETRY_H_
#define PLEXAVO_HOST_CONFLICT_RETRY_H_

#include <chrono>
#include <cstdint>
#include <functional>

namespace host {

struct RetryPolicy {
  std::chrono::milliseconds budget{30000};      // from the first attempt's start
  std::chrono::milliseconds first_wait{2};      // before the second attempt
  std::chrono::milliseconds longest_wait{250};  // the backoff's ceiling
};

// How one attempt ended.
enum class Attempt { kDone, kConflicted, kKeyTaken };

inline constexpr int kKeyTakenRetries = 2;

class Instance;
// How the call on a transaction root ended, as far as races go (also after
// the instance was released).
Attempt AttemptOf(const Instance& root);

// The policy of the server and the in-process library: the budget is
// PLEXAVO_CONFLICT_RETRY_MS milliseconds when that is set to a number, else
// 30 seconds.
RetryPolicy DefaultRetryPolicy();

// How many attempts this process has repeated because of a conflict, over
// all calls so far.
uint64_t ConflictRetries();

// Calls `attempt` until it is done, or it has found a key taken once more
// than kKeyTakenRetries allows, or the budget is spent. Answers whether the
// last attempt still conflicted (kConflicted); a call given up on a taken
// key counts as done.
bool RetryWhileConflicted(const RetryPolicy& policy, const std::function<Attempt()>& attempt);

}  // namespace host

#endif  // PLEXAVO_HOST_CONFLICT_RETRY_H_
