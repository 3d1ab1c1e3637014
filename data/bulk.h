// BulkSession: a session of its own on a company database for work that
// streams many rows through a few statements, such as loading master data
// from a file: each statement is prepared once and run once per row with
// fresh values, and query rows are handed over one at a time, so neither
// the statement text nor a result set is rebuilt or held per row.
//
// The session runs one explicit transaction (Begin, then Commit or
// Rollback); destroying it rolls back whatever is still open and gives the
// session back to the pool.
#ifndef PLEXAVO_DATA_BULK_H_
#define PLEXAVO_DATA_BULK_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/rowset.h"
#include "data/dialect.h"
#include "data/sql.h"
#include "data/target.h"

namespace data {

class Session;

// A statement prepared once. Its parameters are named ":name" in the text
// and declared with their types; Run binds one value per parameter, in the
// declared order (NULL allowed). Declared result fields receive the first
// row of a query.
class BulkStatement {
 public:
  ~BulkStatement();
  BulkStatement(const BulkStatement&) = delete;
  BulkStatement& operator=(const BulkStatement&) = delete;

  // Runs the statement; answers whether a query produced a row (false for
  // statements that return none).
  base::Result<bool> Run(const std::vector<base::Value>& values);
  // Rows the last Run changed.
  int64_t changed() const { return changed_; }
  // The first row of the last Run that answered true, in the declared types.
  base::Result<std::vector<base::Value>> Row() const;

 private:
  friend class BulkSession;
  // The backend statement and the storage its values are bound to.
  struct Bound;
  explicit BulkStatement(std::unique_ptr<Bound> bound);

  std::unique_ptr<Bound> bound_;
  int64_t changed_ = 0;
};

class BulkSession {
 public:
  static base::Result<std::unique_ptr<BulkSession>> Open(const Target& target);
  ~BulkSession();
  BulkSession(const BulkSession&) = delete;
  BulkSession& operator=(const BulkSession&) = delete;

  const Dialect& dialect() const { return dialect_; }

  base::Status Begin();
  base::Status Commit();
  void Rollback() noexcept;

  // Runs a statement without values once.
  base::Status Execute(const std::string& text);

  // Prepares `text` with its parameters (name and type, in the order Run
  // takes their values) and the fields of its result row, if any.
  base::Result<std::unique_ptr<BulkStatement>> Prepare(const std::string& text,
                                                       const std::vector<base::Field>& params,
                                                       const std::vector<base::Field>& fields = {});

  // Runs a query and hands `each` its rows one at a time, in the declared
  // types; stops at the first row for which `each` fails, with its error.
  base::Status ForEachRow(const Sql& sql, const std::vector<base::Field>& fields,
                          const std::function<base::Status(const std::vector<base::Value>&)>& each);

 private:
  BulkSession(const Target& target, std::unique_ptr<Session> session);

  Target target_;
  Dialect dialect_;
  std::unique_ptr<Session> session_;
  bool in_transaction_ = false;
};

}  // namespace data

#endif  // PLEXAVO_DATA_BULK_H_
