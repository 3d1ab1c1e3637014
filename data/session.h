// Opening backend sessions and turning backend failures into error objects.
// Only the data layer sees SOCI (this header is its own); everything above
// it sees base::Err (data/db_error.h).
#ifndef PLEXAVO_DATA_SESSION_H_
#define PLEXAVO_DATA_SESSION_H_

#include <chrono>
#include <memory>

#include <soci/soci.h>

#include "base/result.h"
#include "data/db_error.h"
#include "data/statement_cache.h"
#include "data/target.h"

namespace data {

// How long a SQLite writer waits for another writer's lock: first for its
// turn among the process's writers, then for the database's lock.
inline constexpr std::chrono::milliseconds kSqliteWriterPatience{10000};

// One backend session and the statements prepared on it. The statements go
// with the session: they are released before it closes.
class Session {
 public:
  Session(Backend backend, std::unique_ptr<soci::session> sql)
      : backend_(backend), sql_(std::move(sql)), statements_(*sql_, backend) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Backend backend() const { return backend_; }
  soci::session& sql() { return *sql_; }
  StatementCache& statements() { return statements_; }

  // Whether the session can serve another call: connected, and with no
  // transaction open. Decided without a round trip to the server: libpq's
  // own state, and nothing waiting on the socket (a server that ended the
  // connection has said so there).
  bool Reusable() noexcept;

 private:
  Backend backend_;
  std::unique_ptr<soci::session> sql_;
  StatementCache statements_;  // declared after sql_: released before it
};

// Opens a session. SQLite: WAL journal, busy timeout, and a missing file is
// refused unless kCreateIfMissing. PostgreSQL: a libpq session.
base::Result<std::unique_ptr<Session>> OpenSession(const Target& target,
                                                   OpenMode mode = OpenMode::kExisting);

// How the failure in flight (call inside a catch block) involved another
// transaction (see Conflict).
Conflict CurrentConflict();

// Maps the exception in flight (call inside a catch block) to an error object.
base::Err CurrentDbError(Backend backend);

}  // namespace data

#endif  // PLEXAVO_DATA_SESSION_H_
