// SessionPool: idle sessions kept per database for reuse, so that a call
// does not pay for opening a connection (a PostgreSQL connection costs tens
// of milliseconds) nor for preparing its statements again (each session
// keeps its own). A session goes back to the pool only when it holds no
// transaction. Whether an idle session still works is decided without a
// round trip (Session::Reusable): a connection the server ended is seen on
// its socket and dropped for a fresh one.
#ifndef PLEXAVO_DATA_SESSION_POOL_H_
#define PLEXAVO_DATA_SESSION_POOL_H_

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/result.h"
#include "data/target.h"

namespace data {

class Session;

class SessionPool {
 public:
  // The process's pool.
  static SessionPool& Instance();

  // An idle session of the target's database, or a newly opened one.
  base::Result<std::unique_ptr<Session>> Acquire(const Target& target,
                                                 OpenMode mode = OpenMode::kExisting);
  // Takes back a session in autocommit state (no transaction open); one
  // that is not reusable is closed instead.
  void Release(const Target& target, std::unique_ptr<Session> session);
  // Closes an acquired session that cannot serve again (its transaction
  // could not be ended cleanly).
  void Discard(const Target& target, std::unique_ptr<Session> session);
  // Forgets every idle session of the target's database.
  void Forget(const Target& target);

  // At most this many idle sessions are kept per database.
  static constexpr size_t kMaxIdle = 64;

  // Open sessions of one company database: kept idle, and acquired by calls.
  struct Open {
    size_t idle = 0;
    int64_t in_use = 0;
  };
  // By company database name.
  std::map<std::string, Open> OpenSessions();

 private:
  void Acquired(const Target& target);

  std::mutex mu_;
  std::map<std::string, std::vector<std::unique_ptr<Session>>> idle_;
  std::map<std::string, int64_t> in_use_;     // by target key
  std::map<std::string, std::string> names_;  // target key -> database name
};

}  // namespace data

#endif  // PLEXAVO_DATA_SESSION_POOL_H_
