// Every backend failure the data layer can catch becomes one error number,
// and is classed as a race with another transaction or not.
#include "data/session.h"

#include <gtest/gtest.h>

#include <functional>

#include <soci/postgresql/soci-postgresql.h>
#include <soci/sqlite3/soci-sqlite3.h>

namespace data {
namespace {

TEST(DbErrorTest, EveryFailureClassHasItsNumberAndRaceKind) {
  using Throw = std::function<void()>;
  auto pg = [](const char* state) -> Throw {
    return [state] { throw soci::postgresql_soci_error("pg said\n", state); };
  };
  auto lite = [](int code) -> Throw {
    return [code] { throw soci::sqlite3_soci_error("sqlite said ", code); };
  };
  struct Case {
    const char* what;
    Throw thrown;
    Backend backend;
    int32_t number;
    Conflict conflict;
    std::string text;
  } cases[] = {
      {"pg unique", pg("23505"), Backend::kPostgres, kDbIntegrityViolation, Conflict::kKeyTaken,
       "pg said"},
      {"pg foreign key", pg("23503"), Backend::kPostgres, kDbIntegrityViolation, Conflict::kNone,
       "pg said"},
      {"pg check", pg("23514"), Backend::kPostgres, kDbIntegrityViolation, Conflict::kNone,
       "pg said"},
      {"pg serialization", pg("40001"), Backend::kPostgres, kDbTransactionConflict,
       Conflict::kTransient, "pg said"},
      {"pg deadlock", pg("40P01"), Backend::kPostgres, kDbTransactionConflict, Conflict::kTransient,
       "pg said"},
      {"pg lock not available", pg("55P03"), Backend::kPostgres, kDbGeneralError,
       Conflict::kTransient, "pg said"},
      {"pg no privilege", pg("42501"), Backend::kPostgres, kDbNoPrivilege, Conflict::kNone,
       "pg said"},
      {"pg syntax", pg("42601"), Backend::kPostgres, kDbInvalidStatement, Conflict::kNone,
       "pg said"},
      {"pg no table", pg("42P01"), Backend::kPostgres, kDbInvalidStatement, Conflict::kNone,
       "pg said"},
      {"pg connection", pg("08006"), Backend::kPostgres, kDbGeneralError, Conflict::kNone,
       "pg said"},
      {"pg cancelled", pg("57014"), Backend::kPostgres, kDbGeneralError, Conflict::kNone,
       "pg said"},
      {"sqlite constraint", lite(SQLITE_CONSTRAINT), Backend::kSqlite, kDbIntegrityViolation,
       Conflict::kNone, "sqlite said"},
      {"sqlite unique", lite(SQLITE_CONSTRAINT_UNIQUE), Backend::kSqlite, kDbIntegrityViolation,
       Conflict::kNone, "sqlite said"},
      {"sqlite busy", lite(SQLITE_BUSY), Backend::kSqlite, kDbTransactionConflict,
       Conflict::kTransient, "sqlite said"},
      {"sqlite busy snapshot", lite(SQLITE_BUSY_SNAPSHOT), Backend::kSqlite, kDbTransactionConflict,
       Conflict::kTransient, "sqlite said"},
      {"sqlite locked", lite(SQLITE_LOCKED), Backend::kSqlite, kDbTransactionConflict,
       Conflict::kTransient, "sqlite said"},
      {"sqlite error", lite(SQLITE_ERROR), Backend::kSqlite, kDbInvalidStatement, Conflict::kNone,
       "sqlite said"},
      {"sqlite perm", lite(SQLITE_PERM), Backend::kSqlite, kDbNoPrivilege, Conflict::kNone,
       "sqlite said"},
      {"sqlite auth", lite(SQLITE_AUTH), Backend::kSqlite, kDbNoPrivilege, Conflict::kNone,
       "sqlite said"},
      {"sqlite readonly", lite(SQLITE_READONLY), Backend::kSqlite, kDbNoPrivilege, Conflict::kNone,
       "sqlite said"},
      {"sqlite io", lite(SQLITE_IOERR), Backend::kSqlite, kDbGeneralError, Conflict::kNone,
       "sqlite said"},
      {"soci constraint", [] { throw soci::soci_error("dup"); }, Backend::kSqlite, kDbGeneralError,
       Conflict::kNone, "dup"},
      {"out of memory", [] { throw std::bad_alloc(); }, Backend::kPostgres, base::kErrOutOfMemory,
       Conflict::kNone, "Out of memory"},
      {"other exception", [] { throw std::runtime_error("odd\n"); }, Backend::kSqlite,
       kDbGeneralError, Conflict::kNone, "odd"},
      {"not an exception", [] { throw 42; }, Backend::kSqlite, kDbGeneralError, Conflict::kNone,
       "unknown database failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.thrown();
      ADD_FAILURE() << "nothing thrown";
    } catch (...) {
      const base::Err err = CurrentDbError(c.backend);
      EXPECT_EQ(err.number, c.number);
      EXPECT_EQ(err.description, c.text);
      EXPECT_EQ(err.source, ProviderSource(c.backend));
      EXPECT_EQ(CurrentConflict(), c.conflict);
    }
  }
}

}  // namespace
}  // namespace data
