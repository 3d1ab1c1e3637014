#include "host/conflict_retry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <utility>

namespace host {
namespace {

using std::chrono::milliseconds;

TEST(ConflictRetryTest, RunsAgainOnlyWhileTheAttemptConflictsAndTheBudgetLasts) {
  // The attempts end in turn as `outcomes` says (C conflicted, K key taken),
  // then done, or with `forever` as the last outcome again.
  const struct {
    const char* what;
    std::string outcomes;
    bool forever;
    int budget_ms;
    size_t min_calls, max_calls;
    bool conflicted;
  } cases[] = {
      {"done at once", "", false, 1000, 1, 1, false},
      {"done after three conflicts", "CCC", false, 5000, 4, 4, false},
      {"no budget: one attempt", "CC", false, 0, 1, 1, true},
      {"a key taken once: the next attempt decides", "K", false, 5000, 2, 2, false},
      {"a key taken every time is the call's own: given up as it ended", "K", true, 5000, 3, 3,
       false},
      {"keys and conflicts mixed", "KCKC", false, 5000, 5, 5, false},
      // Waits of at least 2 ms each: room for a few attempts, never for an
      // unbounded number.
      {"conflicts until the budget is spent", "C", true, 60, 2, 31, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RetryPolicy policy{milliseconds(c.budget_ms), milliseconds(4), milliseconds(8)};
    size_t calls = 0;
    const uint64_t before = ConflictRetries();
    const bool conflicted = RetryWhileConflicted(policy, [&] {
      const size_t at = c.forever ? std::min(calls++, c.outcomes.size() - 1) : calls++;
      if (at >= c.outcomes.size()) return Attempt::kDone;
      return c.outcomes[at] == 'C' ? Attempt::kConflicted : Attempt::kKeyTaken;
    });
    EXPECT_EQ(conflicted, c.conflicted);
    EXPECT_GE(calls, c.min_calls);
    EXPECT_LE(calls, c.max_calls);
    EXPECT_EQ(ConflictRetries() - before, calls - 1);
  }
}

TEST(ConflictRetryTest, BudgetComesFromTheEnvironment) {
  // The variable's value (nullptr: unset) and the budget it gives.
  const std::pair<const char*, int> cases[] = {{nullptr, 30000}, {"1500", 1500}, {"0", 0},
                                               {"soon", 30000},  {"-5", 30000},  {"", 30000}};
  for (const auto& [value, budget_ms] : cases) {
    SCOPED_TRACE(value == nullptr ? "unset" : value);
    value == nullptr ? unsetenv("PLEXAVO_CONFLICT_RETRY_MS")
                     : setenv("PLEXAVO_CONFLICT_RETRY_MS", value, 1);
    EXPECT_EQ(DefaultRetryPolicy().budget, milliseconds(budget_ms));
  }
  unsetenv("PLEXAVO_CONFLICT_RETRY_MS");
}

}  // namespace
}  // namespace host
