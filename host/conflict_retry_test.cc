#include "host/conflict_retry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <vector>

namespace host {
namespace {

using std::chrono::milliseconds;

TEST(ConflictRetryTest, RunsAgainOnlyWhileTheAttemptConflicts) {
  using A = Attempt;
  struct Case {
    const char* what;
    std::vector<Attempt> outcomes;  // of the attempts in turn; kDone after the last
    milliseconds budget;
    int attempts;     // expected calls
    bool conflicted;  // expected answer
  } cases[] = {
      {"done at once", {}, milliseconds(1000), 1, false},
      {"done after three conflicts",
       {A::kConflicted, A::kConflicted, A::kConflicted},
       milliseconds(5000),
       4,
       false},
      {"no budget: one attempt", {A::kConflicted, A::kConflicted}, milliseconds(0), 1, true},
      {"a key taken once: the next attempt decides", {A::kKeyTaken}, milliseconds(5000), 2, false},
      {"a key taken every time is the call's own: given up as it ended",
       {A::kKeyTaken, A::kKeyTaken, A::kKeyTaken, A::kKeyTaken, A::kKeyTaken},
       milliseconds(5000),
       kKeyTakenRetries + 1,
       false},
      {"keys and conflicts mixed",
       {A::kKeyTaken, A::kConflicted, A::kKeyTaken, A::kConflicted},
       milliseconds(5000),
       5,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RetryPolicy policy;
    policy.budget = c.budget;
    size_t calls = 0;
    const uint64_t before = ConflictRetries();
    const bool conflicted = RetryWhileConflicted(policy, [&] {
      ++calls;
      return calls <= c.outcomes.size() ? c.outcomes[calls - 1] : Attempt::kDone;
    });
    EXPECT_EQ(conflicted, c.conflicted);
    EXPECT_EQ(calls, static_cast<size_t>(c.attempts));
    EXPECT_EQ(ConflictRetries() - before, static_cast<uint64_t>(c.attempts - 1));
  }
}

TEST(ConflictRetryTest, GivesUpOnceTheBudgetIsSpent) {
  RetryPolicy policy;
  policy.budget = milliseconds(60);
  policy.first_wait = milliseconds(4);
  policy.longest_wait = milliseconds(8);
  int calls = 0;
  EXPECT_TRUE(RetryWhileConflicted(policy, [&] {
    ++calls;
    return Attempt::kConflicted;
  }));
  // Waits of at least 2 ms each: a 60 ms budget has room for a few
  // attempts, never for an unbounded number.
  EXPECT_GT(calls, 1);
  EXPECT_LE(calls, 31);
}

TEST(ConflictRetryTest, BudgetComesFromTheEnvironment) {
  struct Case {
    const char* value;  // nullptr: unset
    milliseconds budget;
  } cases[] = {
      {nullptr, milliseconds(30000)}, {"1500", milliseconds(1500)}, {"0", milliseconds(0)},
      {"soon", milliseconds(30000)},  {"-5", milliseconds(30000)},  {"", milliseconds(30000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value == nullptr ? "unset" : c.value);
    if (c.value == nullptr) {
      unsetenv("PLEXAVO_CONFLICT_RETRY_MS");
    } else {
      setenv("PLEXAVO_CONFLICT_RETRY_MS", c.value, 1);
    }
    EXPECT_EQ(DefaultRetryPolicy().budget, c.budget);
  }
  unsetenv("PLEXAVO_CONFLICT_RETRY_MS");
}

}  // namespace
}  // namespace host
