// Failing chosen database work on purpose, so that tests can see what a
// failure at any point of a call leaves behind and what the caller is told.
//
// A FaultPlan names a point (a statement run through data::Connection, the
// COMMIT of a transaction, the opening of a connection), which occurrence
// of it fails first, how many occurrences in a row fail, and the class of
// the failure. The failure is the backend's own exception for that class
// (a SQLite result code, a PostgreSQL SQLSTATE), thrown where the real one
// would come from, so that it travels the same path: the same mapping to
// an error number, the same conflict notes on the transaction, the same
// rollback.
//
// Nothing is injected until a plan is armed (ScopedFault); the data layer
// then pays one relaxed atomic load per statement, commit and open. The
// program never arms a plan; only tests do. Occurrences are counted over
// the whole process, so a plan is armed around the call under test only.
#ifndef PLEXAVO_DATA_FAULT_INJECTION_H_
#define PLEXAVO_DATA_FAULT_INJECTION_H_

#include <atomic>
#include <cstdint>

#include "data/target.h"

namespace data {

enum class FaultPoint { kStatement, kCommit, kOpen };

// Classes of database failure, each thrown as its backend spells it.
enum class DbFailure {
  kConstraint,        // SQLite CONSTRAINT, PostgreSQL 23514
  kKeyTaken,          // SQLite CONSTRAINT_UNIQUE, PostgreSQL 23505
  kSerialization,     // SQLite BUSY, PostgreSQL 40001
  kDeadlock,          // SQLite LOCKED, PostgreSQL 40P01
  kLockNotAvailable,  // SQLite BUSY, PostgreSQL 55P03
  kInvalidStatement,  // SQLite ERROR, PostgreSQL 42601
  kNoPrivilege,       // SQLite READONLY, PostgreSQL 42501
  kConnectionLost,    // SQLite IOERR, PostgreSQL 08006
};

// The description every injected failure carries.
inline constexpr const char* kInjectedFailure = "injected failure";

struct FaultPlan {
  FaultPoint point = FaultPoint::kStatement;
  int64_t first = 0;  // 1-based occurrence that fails first; 0: count only
  int64_t times = 1;  // occurrences that fail from `first` on
  DbFailure failure = DbFailure::kConstraint;
};

// Arms a plan for its lifetime (one at a time) and counts the occurrences
// of every point meanwhile.
class ScopedFault {
 public:
  explicit ScopedFault(FaultPlan plan);
  ~ScopedFault();
  ScopedFault(const ScopedFault&) = delete;
  ScopedFault& operator=(const ScopedFault&) = delete;

  // Occurrences of `point` seen since the plan was armed.
  int64_t seen(FaultPoint point) const;
  // Failures thrown so far.
  int64_t injected() const;
};

namespace fault_detail {
extern std::atomic<bool> armed;
void Occur(FaultPoint point, Backend backend);
}  // namespace fault_detail

// Called where the work of `point` starts: throws the armed failure when
// this occurrence is planned to fail.
inline void MaybeFail(FaultPoint point, Backend backend) {
  if (fault_detail::armed.load(std::memory_order_relaxed)) fault_detail::Occur(point, backend);
}

}  // namespace data

#endif  // PLEXAVO_DATA_FAULT_INJECTION_H_
