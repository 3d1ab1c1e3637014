#include "data/enlistment.h"

#include "data/dialect.h"
#include "data/fault_injection.h"
#include "data/session.h"
#include "data/session_pool.h"
#include "data/stats.h"

namespace data {

Enlistment::Enlistment() = default;

Enlistment::~Enlistment() { Rollback(); }

base::Result<Session*> Enlistment::Join(const Target& target) {
  const std::string key = target.Key();
  auto it = sessions_.find(key);
  if (it != sessions_.end()) return it->second.session.get();
  WriterTurn turn;
  if (target.backend == Backend::kSqlite) turn = WriterTurn::Take(key, kSqliteWriterPatience);
  PLX_ASSIGN_OR_RETURN(std::unique_ptr<Session> s, SessionPool::Instance().Acquire(target));
  try {
    s->sql() << Dialect(target.backend).BeginTransaction();
  } catch (...) {
    // SQLite's write lock still held by another writer past the busy timeout.
    NoteConflict(CurrentConflict());
    base::Err err = CurrentDbError(target.backend);
    SessionPool::Instance().Discard(target, std::move(s));
    return err;
  }
  Session* raw = s.get();
  sessions_.emplace(key, Entry{target, std::move(s), std::move(turn)});
  return raw;
}

// Ends a session's transaction; a session that ended cleanly goes back to
// the pool, one that did not is closed (which ends its transaction too).
void Enlistment::End(Entry& entry, const char* statement) noexcept {
  Counters().rollbacks.fetch_add(1, std::memory_order_relaxed);
  try {
    entry.session->sql() << statement;
    SessionPool::Instance().Release(entry.target, std::move(entry.session));
  } catch (...) {
    SessionPool::Instance().Discard(entry.target, std::move(entry.session));
  }
}

CommitStep* Enlistment::Step(const std::string& key) const {
  for (const auto& [k, step] : steps_) {
    if (k == key) return step.get();
  }
  return nullptr;
}

void Enlistment::AddStep(std::string key, std::unique_ptr<CommitStep> step) {
  steps_.emplace_back(std::move(key), std::move(step));
}

base::Status Enlistment::Commit() {
  base::Status result;
  for (auto& [key, step] : steps_) {
    result = step->BeforeCommit(*this);
    if (!result.ok()) break;
  }
  for (auto& [key, entry] : sessions_) {
    if (!result.ok()) {
      End(entry, "ROLLBACK");
      continue;
    }
    try {
      MaybeFail(FaultPoint::kCommit, entry.target.backend);
      entry.session->sql() << "COMMIT";
      Counters().commits.fetch_add(1, std::memory_order_relaxed);
      SessionPool::Instance().Release(entry.target, std::move(entry.session));
    } catch (...) {
      result = CurrentDbError(entry.target.backend);
      // A deferred key checked at commit was the transaction's own doing.
      if (CurrentConflict() == Conflict::kTransient) conflicted_ = true;
      End(entry, "ROLLBACK");
    }
  }
  sessions_.clear();
  auto steps = std::move(steps_);
  steps_.clear();
  if (result.ok()) {
    for (auto& [key, step] : steps) step->Committed();
  }
  return result;
}

void Enlistment::Rollback() noexcept {
  for (auto& [key, entry] : sessions_) End(entry, "ROLLBACK");
  sessions_.clear();
  steps_.clear();
}

}  // namespace data
