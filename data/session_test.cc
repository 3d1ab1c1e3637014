// Every backend failure the data layer can catch becomes one error number,
// and is classed as a race with another transaction or not.
#include "data/session.h"

#include <gtest/gtest.h>

#include <functional>

#include <soci/postgresql/soci-postgresql.h>
#include <soci/sqlite3/soci-sqlite3.h>

namespace data {
namespace {

// Something a statement may throw, the backend it ran on, and the text
// the failure should be reported with.
struct Thrown {
  std::string what;
  std::function<void()> thrown;
  Backend backend;
  std::string text;
};

Thrown Pg(const char* state) {
  return {state, [state] { throw soci::postgresql_soci_error("pg said\n", state); },
          Backend::kPostgres, "pg said"};
}

Thrown Lite(int code) {
  return {"sqlite " + std::to_string(code),
          [code] { throw soci::sqlite3_soci_error("sqlite said ", code); }, Backend::kSqlite,
          "sqlite said"};
}

TEST(DbErrorTest, EveryFailureClassHasItsNumberAndRaceKind) {
  const struct {
    Thrown failure;
    int32_t number;
    Conflict conflict;
  } cases[] = {
      {Pg("23505"), kDbIntegrityViolation, Conflict::kKeyTaken},    // unique
      {Pg("23503"), kDbIntegrityViolation, Conflict::kNone},        // foreign key
      {Pg("23514"), kDbIntegrityViolation, Conflict::kNone},        // check
      {Pg("40001"), kDbTransactionConflict, Conflict::kTransient},  // serialization
      {Pg("40P01"), kDbTransactionConflict, Conflict::kTransient},  // deadlock
      {Pg("55P03"), kDbGeneralError, Conflict::kTransient},         // lock not available
      {Pg("42501"), kDbNoPrivilege, Conflict::kNone},               // no privilege
      {Pg("42601"), kDbInvalidStatement, Conflict::kNone},          // syntax
      {Pg("42P01"), kDbInvalidStatement, Conflict::kNone},          // no table
      {Pg("08006"), kDbGeneralError, Conflict::kNone},              // connection
      {Pg("57014"), kDbGeneralError, Conflict::kNone},              // cancelled
      {Lite(SQLITE_CONSTRAINT), kDbIntegrityViolation, Conflict::kNone},
      {Lite(SQLITE_CONSTRAINT_UNIQUE), kDbIntegrityViolation, Conflict::kNone},
      {Lite(SQLITE_BUSY), kDbTransactionConflict, Conflict::kTransient},
      {Lite(SQLITE_BUSY_SNAPSHOT), kDbTransactionConflict, Conflict::kTransient},
      {Lite(SQLITE_LOCKED), kDbTransactionConflict, Conflict::kTransient},
      {Lite(SQLITE_ERROR), kDbInvalidStatement, Conflict::kNone},
      {Lite(SQLITE_PERM), kDbNoPrivilege, Conflict::kNone},
      {Lite(SQLITE_AUTH), kDbNoPrivilege, Conflict::kNone},
      {Lite(SQLITE_READONLY), kDbNoPrivilege, Conflict::kNone},
      {Lite(SQLITE_IOERR), kDbGeneralError, Conflict::kNone},
      {{"soci", [] { throw soci::soci_error("dup"); }, Backend::kSqlite, "dup"},
       kDbGeneralError,
       Conflict::kNone},
      {{"memory", [] { throw std::bad_alloc(); }, Backend::kPostgres, "Out of memory"},
       base::kErrOutOfMemory,
       Conflict::kNone},
      {{"runtime", [] { throw std::runtime_error("odd\n"); }, Backend::kSqlite, "odd"},
       kDbGeneralError,
       Conflict::kNone},
      {{"int", [] { throw 42; }, Backend::kSqlite, "unknown database failure"},
       kDbGeneralError,
       Conflict::kNone},
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
