// The host's per-object context: what an object of a hosted class asks the
// host during a call (transaction membership, votes, creating further
// objects, the caller's identity).
//
// Transactions. A class is registered with a transaction attribute. An
// object of a "requires" class always runs in a transaction: it joins its
// creator's, or the host starts one with the object as its root. A
// "supports" class joins its creator's transaction when there is one and
// runs without otherwise. A "none" class never runs in one. The root
// object's last vote decides: when the root is released after SetComplete
// the transaction commits; after SetAbort, or with no vote, it rolls back.
//
// Apartments. An object is only called on the thread that created it;
// Instance::As refuses other threads. Objects of different calls share
// nothing.
#ifndef PLEXAVO_HOST_OBJECT_CONTEXT_H_
#define PLEXAVO_HOST_OBJECT_CONTEXT_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "base/result.h"
#include "base/row_sink.h"
#include "data/enlistment.h"
#include "host/effects.h"

namespace host {

enum class TransactionAttribute { kRequires, kSupports, kNone };
enum class Vote { kNone, kComplete, kAbort };

class ObjectContext;
class Instance;

// Base of every class the host creates.
class Component {
 public:
  explicit Component(ObjectContext& context) : context_(context) {}
  virtual ~Component() = default;
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  ObjectContext& GetObjectContext() { return context_; }

 private:
  ObjectContext& context_;
};

using Factory = std::function<std::unique_ptr<Component>(ObjectContext&)>;

struct ClassInfo {
  std::string progid;
  TransactionAttribute transaction = TransactionAttribute::kSupports;
  Factory factory;
};

// The classes a host can create, by program id (compared case-insensitively).
class ClassTable {
 public:
  void Register(ClassInfo info);
  const ClassInfo* Find(const std::string& progid) const;

 private:
  std::map<std::string, ClassInfo> classes_;
};

struct Transaction {
  data::Enlistment enlistment;
  // A dry run always rolls back, and its effects are written down.
  bool dry_run = false;
  Effects effects;
};

// What all objects of one caller's call share.
struct Activity {
  std::string login;          // the caller's identity, as the host was given it
  const ClassTable* classes;  // what can be created
};

class ObjectContext {
 public:
  ObjectContext(std::shared_ptr<const Activity> activity, std::shared_ptr<Transaction> tx,
                bool root);

  bool IsInTransaction() const { return tx_ != nullptr; }
  void SetComplete() { vote_ = Vote::kComplete; }
  void SetAbort() { vote_ = Vote::kAbort; }
  // SetComplete when `ok`, SetAbort otherwise; answers `ok`.
  bool VoteFor(bool ok) {
    vote_ = ok ? Vote::kComplete : Vote::kAbort;
    return ok;
  }
  Vote vote() const { return vote_; }
  bool IsTransactionRoot() const { return root_; }

  // Creates an object that joins this object's transaction (per its class's attribute).
  base::Result<Instance> CreateInstance(const std::string& progid);
  // Creates an object outside any transaction of this object's (a
  // "requires" class still gets a transaction of its own).
  base::Result<Instance> CreateObject(const std::string& progid);

  // The login name the host was given for this call.
  const std::string& CallerLogin() const { return activity_->login; }

  // The transaction's database side; nullptr outside a transaction.
  data::Enlistment* enlistment() { return tx_ ? &tx_->enlistment : nullptr; }

  // Where the writes of a dry run are written down; nullptr unless the
  // call runs in a dry run's transaction.
  Effects* effects() { return tx_ && tx_->dry_run ? &tx_->effects : nullptr; }

  std::thread::id thread() const { return thread_; }

  // Where the caller wants the rows of this object's next result set to go
  // as they are read, instead of in the rowset the operation answers (a
  // server sending a large answer). Taken once: the operation that reads
  // its result set takes it; later queries read into rowsets as usual.
  void set_result_sink(base::RowSink* sink) { result_sink_ = sink; }
  base::RowSink* TakeResultSink() { return std::exchange(result_sink_, nullptr); }

 private:
  friend class Instance;
  std::shared_ptr<const Activity> activity_;
  std::shared_ptr<Transaction> tx_;
  bool root_;
  Vote vote_ = Vote::kNone;
  base::RowSink* result_sink_ = nullptr;
  std::thread::id thread_ = std::this_thread::get_id();
};

// Owns one created object and its context. Releasing the root object of a
// transaction settles that transaction by the root's vote.
class Instance {
 public:
  Instance() = default;
  Instance(std::unique_ptr<ObjectContext> context, std::unique_ptr<Component> object);
  Instance(Instance&&) = default;
  Instance& operator=(Instance&& other);
  ~Instance();

  // The object as T, or nullptr when it is no T or when called on another
  // thread than the one that created it.
  template <typename T>
  T* As() const {
    if (!object_ || std::this_thread::get_id() != context_->thread()) return nullptr;
    return dynamic_cast<T*>(object_.get());
  }
  ObjectContext* context() const { return context_.get(); }

  // For the root of a transaction: whether the transaction ran into another
  // one (see data::Enlistment::conflicted), its commit on Release included,
  // and whether a statement found a key taken (Enlistment::key_taken); both
  // still answered after Release. Such a call can be repeated on a fresh
  // object (host/conflict_retry.h).
  bool TransactionConflicted() const;
  bool TransactionKeyTaken() const;

  // Makes the transaction of this root a dry run (before the call): it is
  // rolled back whatever the votes, and its effects are written down.
  void SetDryRun();
  // The effects written down so far; nullptr unless a dry run's root.
  const Effects* effects() const;

  // Releases the object. For a transaction root: commits when its last vote
  // was SetComplete (never in a dry run), rolls back otherwise; a failed
  // commit is answered.
  // Answers kAborted-style errors through base::Err (see docs/errors.md).
  base::Status Release();

 private:
  std::unique_ptr<ObjectContext> context_;
  std::unique_ptr<Component> object_;
  bool settled_conflicted_ = false;
  bool settled_key_taken_ = false;
  std::shared_ptr<Transaction> settled_tx_;  // a dry run's, kept for its effects
};

// Creates objects for callers that are not hosted objects themselves (the
// server, the CLI, tests): each such creation is a new activity.
class Host {
 public:
  explicit Host(const ClassTable& classes) : classes_(classes) {}
  base::Result<Instance> CreateObject(const std::string& progid, const std::string& login) const;

 private:
  const ClassTable& classes_;
};

// Error number answered when a transaction's commit failed or the root
// voted abort (the host's "transaction aborted").
inline constexpr int32_t kErrTransactionAborted = -2147164158;  // 0x8004E002

}  // namespace host

#endif  // PLEXAVO_HOST_OBJECT_CONTEXT_H_
