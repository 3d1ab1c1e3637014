#include "data/change_listener.h"

#include <poll.h>

#include <condition_variable>
#include <map>
#include <mutex>

#include <libpq-fe.h>
#include <soci/postgresql/soci-postgresql.h>

namespace data {
namespace {

// Changes signalled in this process, counted per target and channel.
struct Changes {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::string, uint64_t> counts;
};

Changes& InProcess() {
  static auto* changes = new Changes();
  return *changes;
}

std::string KeyOf(const Target& target, const std::string& channel) {
  return target.Key() + "\n" + channel;
}

uint64_t CountOf(const std::string& key) {
  Changes& c = InProcess();
  std::lock_guard<std::mutex> lock(c.mutex);
  return c.counts[key];
}

}  // namespace

void SignalChange(const Target& target, const std::string& channel) {
  Changes& c = InProcess();
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    ++c.counts[KeyOf(target, channel)];
  }
  c.changed.notify_all();
}

ChangeListener::ChangeListener(std::string key, uint64_t seen, std::unique_ptr<Session> session)
    : key_(std::move(key)), seen_(seen), session_(std::move(session)) {}

ChangeListener::~ChangeListener() = default;  // closing the session ends its LISTEN

base::Result<std::unique_ptr<ChangeListener>> ChangeListener::Listen(const Target& target,
                                                                     const std::string& channel) {
  const std::string key = KeyOf(target, channel);
  std::unique_ptr<Session> session;
  if (target.backend == Backend::kPostgres) {
    PLX_ASSIGN_OR_RETURN(session, OpenSession(target));
    try {
      // A channel is an identifier: quoted, its quotes doubled.
      std::string quoted = "\"";
      for (char ch : channel) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
      session->sql() << "LISTEN " + quoted + "\"";
    } catch (...) {
      return CurrentDbError(target.backend);
    }
  }
  return std::unique_ptr<ChangeListener>(new ChangeListener(key, CountOf(key), std::move(session)));
}

bool ChangeListener::Wait(std::chrono::steady_clock::time_point deadline) {
  return session_ ? WaitForNotification(deadline) : WaitInProcess(deadline);
}

bool ChangeListener::WaitInProcess(std::chrono::steady_clock::time_point deadline) {
  Changes& c = InProcess();
  std::unique_lock<std::mutex> lock(c.mutex);
  const bool changed =
      c.changed.wait_until(lock, deadline, [&] { return c.counts[key_] != seen_; });
  seen_ = c.counts[key_];
  return changed;
}

bool ChangeListener::WaitForNotification(std::chrono::steady_clock::time_point deadline) {
  PGconn* conn =
      static_cast<soci::postgresql_session_backend*>(session_->sql().get_backend())->conn_;
  for (;;) {
    if (PQconsumeInput(conn) == 0) return false;  // the session is lost: waited enough
    bool arrived = false;
    while (PGnotify* n = PQnotifies(conn)) {
      arrived = true;
      PQfreemem(n);
    }
    if (arrived) return true;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fd{PQsocket(conn), POLLIN, 0};
    if (fd.fd < 0) return true;
    (void)::poll(&fd, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
  }
}

}  // namespace data
