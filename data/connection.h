// Connection: what an operation opens to reach its company database.
//
// Open(cnn, tx): with `tx` (the caller's transaction) the connection joins
// that transaction's session for the database; with nullptr it opens a
// session of its own in autocommit mode, closed again by Close() or the
// destructor. Execute and Query bind every value of the Sql; Query reads
// all rows at once into a detached Rowset whose fields the caller declares
// (name and type per result column, in order). Statements are prepared
// once per session and reused by later executions (data/statement_cache.h).
#ifndef PLEXAVO_DATA_CONNECTION_H_
#define PLEXAVO_DATA_CONNECTION_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/rowset.h"
#include "data/dialect.h"
#include "data/enlistment.h"
#include "data/sql.h"
#include "data/target.h"

namespace data {

class CachedStatement;
class Session;

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  base::Status Open(const std::string& cnn, Enlistment* tx, OpenMode mode = OpenMode::kExisting);
  base::Status Open(const Target& target, Enlistment* tx, OpenMode mode = OpenMode::kExisting);
  bool IsOpen() const { return session_ != nullptr; }
  void Close() noexcept;

  // Runs a statement that returns no rows; answers the rows it changed.
  base::Result<int64_t> Execute(const Sql& sql);
  // Runs a query; every column is read into the declared field's type.
  base::Result<base::Rowset> Query(const Sql& sql, const std::vector<base::Field>& fields);
  // Runs a query and hands `each` its rows one at a time, as they are
  // fetched, in the declared types; stops at the first row `each` refuses,
  // with its error. Only the current row is held.
  using RowFn = std::function<base::Status(std::vector<base::Value>& row)>;
  base::Status ForEachRow(const Sql& sql, const std::vector<base::Field>& fields,
                          const RowFn& each);

  const Dialect& dialect() const { return dialect_; }
  const Target& target() const { return target_; }

 private:
  // A failed statement, dropped from the session's cache; a conflict with
  // another transaction (or a taken key) is noted on the enlistment, so
  // that the host can tell the call may be retried.
  base::Err Failed(CachedStatement* statement);
  // Decodes the current row of `st` into `row`.
  base::Status ReadRow(const CachedStatement& st, const std::vector<base::Field>& fields,
                       std::vector<base::Value>& row) const;

  std::unique_ptr<Session> own_;
  Session* session_ = nullptr;
  Enlistment* tx_ = nullptr;
  Target target_;
  Dialect dialect_;
};

}  // namespace data

#endif  // PLEXAVO_DATA_CONNECTION_H_
