// Enlistment: the database side of one host transaction. Per company
// database (per Target key) it holds one session, begun on first use with
// the dialect's write-transaction statement (SQLite BEGIN IMMEDIATE,
// PostgreSQL READ COMMITTED with the writers' locks of data/locks.h). Every connection opened
// inside the transaction shares that session, so nested objects see each other's writes; Commit or
// Rollback ends all of them together. Used on one thread at a time.
#ifndef PLEXAVO_DATA_ENLISTMENT_H_
#define PLEXAVO_DATA_ENLISTMENT_H_

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/result.h"
#include "data/db_error.h"
#include "data/target.h"
#include "data/writer_queue.h"

namespace data {

class Session;
class Enlistment;

// Work that belongs at the very end of a transaction: run after everything
// else the transaction did, just before its commit, and told once the
// commit went through. A step that fails rolls the whole transaction back.
class CommitStep {
 public:
  virtual ~CommitStep() = default;
  virtual base::Status BeforeCommit(Enlistment& tx) = 0;
  virtual void Committed() noexcept {}
};

class Enlistment {
 public:
  Enlistment();
  ~Enlistment();  // rolls back whatever is still open
  Enlistment(const Enlistment&) = delete;
  Enlistment& operator=(const Enlistment&) = delete;

  // The transaction's session for `target`, opened and begun when first
  // asked. A SQLite transaction first waits for its turn among the
  // process's writers to that database (data/writer_queue.h).
  base::Result<Session*> Join(const Target& target);

  // The step kept under `key`, or nullptr; AddStep keeps one (steps run in
  // the order they were added). Rollback drops them unrun.
  CommitStep* Step(const std::string& key) const;
  void AddStep(std::string key, std::unique_ptr<CommitStep> step);

  // Runs the commit steps, then commits every session. When one fails, the
  // rest are rolled back and the first failure is answered. Afterwards the
  // enlistment is empty.
  base::Status Commit();
  void Rollback() noexcept;

  bool empty() const { return sessions_.empty(); }

  // Whether a statement of this transaction (its begin and commit
  // included) failed because another transaction got in its way, or on a
  // key that was taken (see data::CurrentConflict). The transaction is then
  // lost, but the same work may succeed again on a fresh one.
  bool conflicted() const { return conflicted_; }
  bool key_taken() const { return key_taken_; }
  void NoteConflict(Conflict kind = Conflict::kTransient) {
    if (kind == Conflict::kTransient) conflicted_ = true;
    if (kind == Conflict::kKeyTaken) key_taken_ = true;
  }

 private:
  struct Entry {
    Target target;
    std::unique_ptr<Session> session;
    WriterTurn turn;  // given back when the entry goes, after its session ended
  };
  void End(Entry& entry, const char* statement) noexcept;

  std::map<std::string, Entry> sessions_;
  std::vector<std::pair<std::string, std::unique_ptr<CommitStep>>> steps_;
  bool conflicted_ = false;
  bool key_taken_ = false;
};

}  // namespace data

#endif  // PLEXAVO_DATA_ENLISTMENT_H_
