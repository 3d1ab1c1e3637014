// The company database's schema as a list of numbered migrations. Version N
// holds the statements that take a database from version N-1 to N. A
// database records the version it has reached in PX_SchemaVersion.
//
// Statement texts use type tokens that the dialect fills in:
//   {CUR} currency, {DATE} date, {DATETIME} date and time, {ID} an integer
//   key assigned by the database, {TEXT} text compared and ordered byte by
//   byte (new text columns use it, so that bill numbers, line numbers and
//   codes sort the same on every backend whatever the server's collation).
// A migration may add statements for PostgreSQL alone (`postgres_only`) or
// SQLite alone (`sqlite_only`), run after its common statements.
// Columns beyond those other components know are nullable or defaulted, so
// that rows inserted naming only the known columns still go in.
#ifndef PLEXAVO_SCHEMA_MIGRATIONS_H_
#define PLEXAVO_SCHEMA_MIGRATIONS_H_

#include <string>
#include <vector>

#include "data/dialect.h"

namespace schema {

struct Migration {
  int version;
  const char* what;
  std::vector<const char*> statements;
  std::vector<const char*> postgres_only = {};
  std::vector<const char*> sqlite_only = {};
};

// The statements of `m` for the dialect, with type tokens rendered.
std::vector<std::string> StatementsFor(const Migration& m, const data::Dialect& dialect);

const std::vector<Migration>& Migrations();
int LatestVersion();

// The table in which a database records the versions it has reached.
inline constexpr const char* kVersionTable =
    "CREATE TABLE IF NOT EXISTS PX_SchemaVersion (Version INTEGER NOT NULL, Applied TEXT)";
// A statement with its type tokens replaced for the dialect.
std::string Render(const char* statement, const data::Dialect& dialect);

}  // namespace schema

#endif  // PLEXAVO_SCHEMA_MIGRATIONS_H_
