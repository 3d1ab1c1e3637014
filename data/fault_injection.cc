#include "data/fault_injection.h"

#include <mutex>

#include <soci/postgresql/soci-postgresql.h>
#include <soci/sqlite3/soci-sqlite3.h>

namespace data {
namespace fault_detail {

std::atomic<bool> armed{false};

}  // namespace fault_detail
namespace {

struct State {
  std::mutex mu;
  FaultPlan plan;
  int64_t seen[3] = {0, 0, 0};
  int64_t injected = 0;
};

State& TheState() {
  static State* state = new State();  // lives as long as the process
  return *state;
}

struct Spelling {
  int sqlite;
  const char* sqlstate;
};

Spelling SpellingOf(DbFailure failure) {
  switch (failure) {
    case DbFailure::kConstraint:
      return {SQLITE_CONSTRAINT, "23514"};
    case DbFailure::kKeyTaken:
      return {SQLITE_CONSTRAINT_UNIQUE, "23505"};
    case DbFailure::kSerialization:
      return {SQLITE_BUSY, "40001"};
    case DbFailure::kDeadlock:
      return {SQLITE_LOCKED, "40P01"};
    case DbFailure::kLockNotAvailable:
      return {SQLITE_BUSY, "55P03"};
    case DbFailure::kInvalidStatement:
      return {SQLITE_ERROR, "42601"};
    case DbFailure::kNoPrivilege:
      return {SQLITE_READONLY, "42501"};
    case DbFailure::kConnectionLost:
      break;
  }
  return {SQLITE_IOERR, "08006"};
}

[[noreturn]] void Throw(DbFailure failure, Backend backend) {
  const Spelling s = SpellingOf(failure);
  if (backend == Backend::kSqlite) throw soci::sqlite3_soci_error(kInjectedFailure, s.sqlite);
  throw soci::postgresql_soci_error(kInjectedFailure, s.sqlstate);
}

}  // namespace

namespace fault_detail {

void Occur(FaultPoint point, Backend backend) {
  State& state = TheState();
  DbFailure failure;
  {
    std::lock_guard<std::mutex> lock(state.mu);
    const int64_t n = ++state.seen[static_cast<int>(point)];
    const FaultPlan& plan = state.plan;
    if (plan.point != point || plan.first == 0 || n < plan.first || n >= plan.first + plan.times) {
      return;
    }
    ++state.injected;
    failure = plan.failure;
  }
  Throw(failure, backend);
}

}  // namespace fault_detail

ScopedFault::ScopedFault(FaultPlan plan) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mu);
  state.plan = plan;
  for (int64_t& n : state.seen) n = 0;
  state.injected = 0;
  fault_detail::armed.store(true);
}

ScopedFault::~ScopedFault() { fault_detail::armed.store(false); }

int64_t ScopedFault::seen(FaultPoint point) const {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mu);
  return state.seen[static_cast<int>(point)];
}

int64_t ScopedFault::injected() const {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mu);
  return state.injected;
}

}  // namespace data
