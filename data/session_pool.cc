#include "data/session_pool.h"

#include "data/session.h"

namespace data {

SessionPool& SessionPool::Instance() {
  static SessionPool* pool = new SessionPool();  // lives as long as the process
  return *pool;
}

base::Result<std::unique_ptr<Session>> SessionPool::Acquire(const Target& target, OpenMode mode) {
  for (;;) {
    std::unique_ptr<Session> s;
    {
      std::lock_guard<std::mutex> lock(mu_);
      auto it = idle_.find(target.Key());
      if (it == idle_.end() || it->second.empty()) break;
      s = std::move(it->second.back());
      it->second.pop_back();
    }
    if (s->Reusable()) {
      Acquired(target);
      return s;
    }
  }
  auto opened = OpenSession(target, mode);
  if (opened.ok()) Acquired(target);
  return opened;
}

void SessionPool::Acquired(const Target& target) {
  std::lock_guard<std::mutex> lock(mu_);
  ++in_use_[target.Key()];
  names_[target.Key()] = target.database;
}

void SessionPool::Discard(const Target& target, std::unique_ptr<Session> session) {
  if (!session) return;
  {
    std::lock_guard<std::mutex> lock(mu_);
    --in_use_[target.Key()];
  }
  session.reset();
}

std::map<std::string, SessionPool::Open> SessionPool::OpenSessions() {
  std::lock_guard<std::mutex> lock(mu_);
  std::map<std::string, Open> out;
  for (const auto& [key, count] : in_use_) out[names_[key]].in_use += count;
  for (const auto& [key, idle] : idle_) out[names_[key]].idle += idle.size();
  return out;
}

void SessionPool::Release(const Target& target, std::unique_ptr<Session> session) {
  if (!session) return;
  if (!session->Reusable()) {
    Discard(target, std::move(session));
    return;
  }
  // Statements that failed inside the transaction just ended can be
  // released on the server now.
  session->statements().Sweep();
  std::lock_guard<std::mutex> lock(mu_);
  --in_use_[target.Key()];
  auto& idle = idle_[target.Key()];
  if (idle.size() < kMaxIdle) idle.push_back(std::move(session));
}

void SessionPool::Forget(const Target& target) {
  std::vector<std::unique_ptr<Session>> dropped;
  {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = idle_.find(target.Key());
    if (it == idle_.end()) return;
    dropped = std::move(it->second);
    idle_.erase(it);
  }
}

}  // namespace data
