// Every backend failure the data layer can catch becomes one error number,
// and is classed as a race with another transaction or not.
#include "data/session.h"

#include <gtest/gtest.h>

#include <functional>

#include <soci/postgresql/soci-postgresql.h>
#include <soci/sqlite3/soci-sqlite3.h>

namespace data {
namespace {

using enum Backend;

// Something a statement may throw, the backend it ran on, and the text
// the failure should be reported with.
struct Thrown {
  std::string what;
  std::function<void()> thrown;
  Backend backend;
  std::string text;
};

Thrown Pg(const char* state) {
  return {state, [state] { throw soci::postgresql_soci_error("pg said\n", state); }, kPostgres,
          "pg said"};
}

Thrown Lite(int code) {
  return {"sqlite " + std::to_string(code),
          [code] { throw soci::sqlite3_soci_error("sqlite said ", code); }, kSqlite, "sqlite said"};
}

// The failures the fault injection throws (a unique key, a check, a
// serialization failure, a deadlock, a lock not available, a syntax error,
// no privilege, a lost connection, in each backend's spelling) are classed
// by the host's transaction test; these are the others.
TEST(DbErrorTest, EveryFailureClassHasItsNumberAndRaceKind) {
  const struct {
    Thrown failure;
    int32_t number;
    Conflict conflict = Conflict::kNone;
  } cases[] = {
      {Pg("23503"), kDbIntegrityViolation},  // foreign key
      {Pg("42P01"), kDbInvalidStatement},    // no table
      {Pg("57014"), kDbGeneralError},        // cancelled
      {Lite(SQLITE_BUSY_SNAPSHOT), kDbTransactionConflict, Conflict::kTransient},
      {Lite(SQLITE_PERM), kDbNoPrivilege},
      {Lite(SQLITE_AUTH), kDbNoPrivilege},
      {{"soci", [] { throw soci::soci_error("dup"); }, kSqlite, "dup"}, kDbGeneralError},
      {{"memory", [] { throw std::bad_alloc(); }, kPostgres, "Out of memory"},
       base::kErrOutOfMemory},
      {{"runtime", [] { throw std::runtime_error("odd\n"); }, kSqlite, "odd"}, kDbGeneralError},
      {{"int", [] { throw 42; }, kSqlite, "unknown database failure"}, kDbGeneralError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure.what);
    try {
      c.failure.thrown();
      ADD_FAILURE() << "nothing thrown";
    } catch (...) {
      const base::Err err = CurrentDbError(c.failure.backend);
      EXPECT_EQ(err.number, c.number);
      EXPECT_EQ(err.description, c.failure.text);
      EXPECT_EQ(err.source, ProviderSource(c.failure.backend));
      EXPECT_EQ(CurrentConflict(), c.conflict);
    }
  }
}

}  // namespace
}  // namespace data
