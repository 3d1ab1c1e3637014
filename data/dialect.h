// Dialect: every difference between SQLite and PostgreSQL that statements
// or stored values see. Business code asks the connection's dialect for
// these fragments instead of spelling a backend's SQL itself.
//
// Both backends take "LIMIT 1" (for a first row only), COALESCE (for a
// value-or-default) and "||"; those need no translation.
//
// Storage encodings:
//   currency  SQLite INTEGER holding value × 10000; PostgreSQL NUMERIC(19,4)
//   date      SQLite TEXT 'yyyy-mm-dd' ('yyyy-mm-dd hh:nn:ss' with a time);
//             PostgreSQL DATE / TIMESTAMP
//   flag      INTEGER 0/1 on both
#ifndef PLEXAVO_DATA_DIALECT_H_
#define PLEXAVO_DATA_DIALECT_H_

#include <string>
#include <string_view>

#include "base/value.h"
#include "data/target.h"

namespace data {

class Dialect {
 public:
  explicit Dialect(Backend backend = Backend::kSqlite) : backend_(backend) {}
  Backend backend() const { return backend_; }

  // A condition true when `expr` is a non-empty string of digits.
  std::string IsNumeric(std::string_view expr) const;
  // Statement that starts a write transaction. SQLite takes the database's
  // write lock at once (BEGIN IMMEDIATE), so writers queue and never see
  // each other's work half done. PostgreSQL runs at READ COMMITTED: every
  // statement sees what was committed before it began, and writers that
  // share rows are kept apart by the locks below, taken before the rows
  // are read, so that a later writer waits for an earlier one instead of
  // failing at the end.
  const char* BeginTransaction() const;

  // Appended to a query that reads rows the transaction will change: the
  // rows stay locked until the transaction ends, and the query waits for a
  // writer that holds them and then reads their committed state. Empty on
  // SQLite, whose write transaction already excludes every other writer.
  const char* ForUpdate() const;

  // A statement taking transaction-scoped locks on names that need not be
  // rows (a number range, a stock balance that may not exist yet): the text
  // before and after a VALUES list of (space, key) integer rows. The locks
  // are taken one after another in the list's order; each waits while
  // another transaction holds the same lock. nullptr on SQLite (see
  // ForUpdate).
  const char* NamedLocksHead() const;
  const char* NamedLocksTail() const;

  // A bound placeholder written so that the database knows its type where
  // nothing around it tells (a VALUES list in a FROM or IN clause):
  // PostgreSQL takes such a value as text otherwise. SQLite compares the
  // values as they are bound and needs nothing.
  std::string Typed(const std::string& placeholder, base::FieldType type) const;

  // A query (answering one row) that announces, when the transaction
  // commits, a change on the channel bound as :channel to the sessions
  // listening there (data/change_listener.h); nullptr on SQLite, whose
  // writers are all in one process and signal there.
  const char* NotifyChange() const;

  // Column types for the schema.
  const char* CurrencyType() const;
  const char* DateType() const;
  const char* DateTimeType() const;
  // Text compared and ordered byte by byte, as SQLite's BINARY collation
  // does; PostgreSQL would otherwise follow the database's language
  // collation, under which ':' sorts before the digits and punctuation is
  // ignored at first.
  const char* TextType() const;
  // An integer key the database assigns on insert.
  const char* IdentityColumn() const;
  // A statement that makes the next assigned key of `table`.`column` follow
  // the highest one present, after rows were inserted with keys of their
  // own; "" where the database does that by itself (SQLite).
  std::string ResetIdentity(const std::string& table, const std::string& column) const;

  // Reads a value the database printed as text into the declared type.
  base::Result<base::Value> Decode(base::FieldType type, const std::string& text) const;

 private:
  Backend backend_;
};

}  // namespace data

#endif  // PLEXAVO_DATA_DIALECT_H_
