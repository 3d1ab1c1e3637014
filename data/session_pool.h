// SessionPool: idle sessions kept per database for reuse, so that a call
// does not pay for opening a connection (a PostgreSQL connection costs tens
// of milliseconds). A session goes back to the pool only when it holds no
// transaction; one taken from the pool is checked with a trivial statement
// first, and a broken one is dropped for a fresh one.
#ifndef PLEXAVO_DATA_SESSION_POOL_H_
#define PLEXAVO_DATA_SESSION_POOL_H_

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <soci/soci.h>

#include "base/result.h"
#include "data/session.h"
#include "data/target.h"

namespace data {

class SessionPool {
 public:
  // The process's pool.
  static SessionPool& Instance();

  // An idle session of the target's database, or a newly opened one.
  base::Result<std::unique_ptr<soci::session>> Acquire(const Target& target,
                                                       OpenMode mode = OpenMode::kExisting);
  // Takes back a session in autocommit state (no transaction open).
  void Release(const Target& target, std::unique_ptr<soci::session> session);
  // Closes an acquired session that cannot serve again (its transaction
  // could not be ended cleanly).
  void Discard(const Target& target, std::unique_ptr<soci::session> session);
  // Forgets every idle session of the target's database.
  void Forget(const Target& target);

  // At most this many idle sessions are kept per database.
  static constexpr size_t kMaxIdle = 16;

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
  std::map<std::string, std::vector<std::unique_ptr<soci::session>>> idle_;
  std::map<std::string, int64_t> in_use_;     // by target key
  std::map<std::string, std::string> names_;  // target key -> database name
};

}  // namespace data

#endif  // PLEXAVO_DATA_SESSION_POOL_H_
