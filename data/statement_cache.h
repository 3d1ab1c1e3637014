// StatementCache: the prepared statements of one backend session, kept for
// reuse so that a statement text is parsed (and on PostgreSQL prepared on
// the server) once per session instead of on every execution.
//
// A statement is identified by its text, the names and kinds (text or
// integer) of its placeholders and the number of result columns; each
// entry owns the buffers its placeholders and columns are bound to. At
// most kCapacity statements are kept; the one used longest ago makes room.
// A statement that failed is dropped (Forget) and prepared anew next time,
// so that no state of a failed execution carries over.
// The cache belongs to its session and is destroyed with it.
#ifndef PLEXAVO_DATA_STATEMENT_CACHE_H_
#define PLEXAVO_DATA_STATEMENT_CACHE_H_

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <soci/soci.h>

#include "data/dialect.h"
#include "data/sql.h"

namespace data {

class CachedStatement {
 public:
  CachedStatement(soci::session& session, std::string key) : st_(session), key_(std::move(key)) {}

  // Binds the buffers for `sql`'s placeholders and `columns` text result
  // columns, and prepares the text. Throws what the backend throws.
  void Prepare(const Dialect& dialect, const Sql& sql, size_t columns);
  // Copies `sql`'s values into the bound buffers.
  void Assign(const Dialect& dialect, const Sql& sql);
  // Ends the current execution (SQLite: resets the statement, so that it
  // holds no read lock between uses; PostgreSQL: frees the result the
  // client library holds).
  void Finish() noexcept;

  soci::statement& st() { return st_; }
  const std::string& key() const { return key_; }
  const std::string& column(size_t i) const { return columns_[i]; }
  bool null(size_t i) const { return column_indicators_[i] == soci::i_null; }

 private:
  soci::statement st_;
  std::string key_;
  Backend backend_ = Backend::kSqlite;
  // Per placeholder: whether it is bound as an integer, and its slot.
  std::vector<std::pair<bool, size_t>> slots_;
  std::vector<std::string> texts_;
  std::vector<long long> ints_;
  std::vector<soci::indicator> indicators_;
  std::vector<std::string> columns_;
  std::vector<soci::indicator> column_indicators_;
};

class StatementCache {
 public:
  static constexpr size_t kCapacity = 128;

  StatementCache(soci::session& session, Backend backend) : session_(session), dialect_(backend) {}
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  // The statement for `sql` with `columns` result columns, its values
  // assigned; prepared when the cache does not hold it. Throws what the
  // backend throws (nothing is kept then).
  CachedStatement& Get(const Sql& sql, size_t columns);
  // Drops a statement (after it failed). It is released on the server by
  // the next Sweep: inside a failed PostgreSQL transaction the server
  // would refuse to release it.
  void Forget(const CachedStatement& statement) noexcept;
  // Releases the statements dropped since the last sweep; call it when the
  // session holds no transaction.
  void Sweep() noexcept;

  size_t size() const { return entries_.size(); }

 private:
  using Entries = std::list<std::unique_ptr<CachedStatement>>;

  soci::session& session_;
  Dialect dialect_;
  Entries entries_;  // most recently used first
  Entries dropped_;  // forgotten, not yet released
  std::unordered_map<std::string, Entries::iterator> index_;
};

// How many statements this process has prepared (for diagnostics and tests).
uint64_t StatementsPrepared();

}  // namespace data

#endif  // PLEXAVO_DATA_STATEMENT_CACHE_H_
