// Waiting for a change that other transactions commit. A writer announces a
// change on a named channel in its transaction (Dialect::NotifyChange on
// PostgreSQL, which the server delivers at commit to every listening
// session, whatever process it belongs to) and signals this process's
// waiters once it committed (SignalChange). A listener sees every change
// committed after Listen returned: a reader that lists what is there after
// Listen and then waits misses nothing.
#ifndef PLEXAVO_DATA_CHANGE_LISTENER_H_
#define PLEXAVO_DATA_CHANGE_LISTENER_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "base/result.h"
#include "data/session.h"
#include "data/target.h"

namespace data {

// Wakes this process's listeners on `channel` of `target`.
void SignalChange(const Target& target, const std::string& channel);

class ChangeListener {
 public:
  static base::Result<std::unique_ptr<ChangeListener>> Listen(const Target& target,
                                                              const std::string& channel);
  ~ChangeListener();

  // True when a change arrived since Listen (or the last Wait that answered
  // true) before `deadline`; false when the deadline passed first.
  bool Wait(std::chrono::steady_clock::time_point deadline);

 private:
  ChangeListener(std::string key, uint64_t seen, std::unique_ptr<Session> session);
  bool WaitInProcess(std::chrono::steady_clock::time_point deadline);
  bool WaitForNotification(std::chrono::steady_clock::time_point deadline);

  std::string key_;                   // target and channel
  uint64_t seen_;                     // the in-process count of changes last seen
  std::unique_ptr<Session> session_;  // PostgreSQL: the listening session
};

}  // namespace data

#endif  // PLEXAVO_DATA_CHANGE_LISTENER_H_
