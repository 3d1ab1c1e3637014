// A fresh company database for one test, on the backend the suite runs on:
// PLEXAVO_TEST_BACKEND=sqlite (the default) or postgresql, the latter on the
// server named by PLEXAVO_TEST_PG_HOST / _PORT / _USER. The fixture writes
// a settings file naming the database, points PLEXAVO_SETTINGS at it,
// brings the schema up to date, and drops everything again at the end.
#ifndef PLEXAVO_TESTS_TEST_COMPANY_H_
#define PLEXAVO_TESTS_TEST_COMPANY_H_

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/result.h"
#include "base/rowset.h"
#include "data/connection.h"
#include "host/object_context.h"

namespace testing_support {

bool UsingPostgres();

// Values bound to a statement's :names.
using Binds = std::initializer_list<std::pair<const char*, base::Value>>;

class TestCompany {
 public:
  TestCompany();
  ~TestCompany();
  TestCompany(const TestCompany&) = delete;
  TestCompany& operator=(const TestCompany&) = delete;

  const std::string& name() const { return name_; }
  const data::Target& target() const { return target_; }
  // The "Server" settings value of this database.
  std::string ServerValue() const;
  const std::string& dir() const { return dir_; }

  // This database's section of a settings file.
  std::string SettingsSection() const;
  // Rewrites the settings file: this database's section followed by `extra`.
  void WriteSettings(const std::string& extra = "") const;

  // Runs a statement on a connection of its own (autocommit); fails the test on error.
  void Exec(const std::string& sql, Binds binds = {}) const;
  // Rows of a query, read into the given field types.
  base::Rowset Query(const std::string& sql, const std::vector<base::Field>& fields,
                     Binds binds = {}) const;
  // The rows of a query as "a|b;c|d" (NULL as "<null>"); column i is read
  // as types[i] says: t text, i int, c currency, d date.
  std::string Rows(const std::string& sql, const std::string& types, Binds binds = {}) const;
  // A single text/int value of the first row, "<none>" / -1 when no row.
  std::string Text(const std::string& sql) const;
  int64_t Count(const std::string& table) const;
  // Every row of every table of the schema, one line per table, rows in
  // order of their columns, for comparing before and after. Key counters
  // are not read (PostgreSQL's move on even in a transaction that is
  // rolled back).
  std::string Dump() const;

  // Adds a user with the given rights.
  void AddUser(const std::string& login, const std::string& name, const std::string& lang = "",
               std::vector<std::string> rights = {}, int inner_id = 0) const;

  // Stores a fresh sign-in token for `login`, valid until `expires` (for
  // ever without); answers the token.
  base::Result<std::string> IssueToken(const std::string& login,
                                       std::optional<base::DateTime> expires = std::nullopt) const;

  // A class table with the outside services registered.
  host::ClassTable& classes() { return classes_; }

 private:
  std::string name_, dir_, settings_path_;
  data::Target target_;
  host::ClassTable classes_;
};

// Company databases no call can open: one the settings do not name and
// one whose server setting names no backend (its section is written into
// the settings file). With each: the composed number-description-source of
// the failed opening, and the first lines of the event-log records written
// before the failing method's own.
struct UnusableDb {
  std::string db;
  std::string fault;
  std::vector<std::string> settings_records;
};
std::vector<UnusableDb> UnusableDbs(const TestCompany& company);

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_TEST_COMPANY_H_
