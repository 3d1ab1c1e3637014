#include "host/object_context.h"

#include "base/ascii.h"

namespace host {
namespace {

base::Result<Instance> Create(const std::shared_ptr<const Activity>& activity,
                              const std::shared_ptr<Transaction>& creator_tx,
                              const std::string& progid) {
  const ClassInfo* info = activity->classes->Find(progid);
  if (info == nullptr) {
    return base::MakeErr(base::kErrObjectCreation,
                         "ActiveX component can't create object: " + progid);
  }
  std::shared_ptr<Transaction> tx;
  bool root = false;
  switch (info->transaction) {
    case TransactionAttribute::kRequires:
      tx = creator_tx;
      if (!tx) {
        tx = std::make_shared<Transaction>();
        root = true;
      }
      break;
    case TransactionAttribute::kSupports:
      tx = creator_tx;
      break;
    case TransactionAttribute::kNone:
      break;
  }
  auto context = std::make_unique<ObjectContext>(activity, std::move(tx), root);
  std::unique_ptr<Component> object = info->factory(*context);
  if (!object) {
    return base::MakeErr(base::kErrObjectCreation,
                         "ActiveX component can't create object: " + progid);
  }
  return Instance(std::move(context), std::move(object));
}

}  // namespace

void ClassTable::Register(ClassInfo info) {
  std::string key = base::AsciiLower(info.progid);
  classes_[key] = std::move(info);
}

const ClassInfo* ClassTable::Find(const std::string& progid) const {
  auto it = classes_.find(base::AsciiLower(progid));
  return it == classes_.end() ? nullptr : &it->second;
}

ObjectContext::ObjectContext(std::shared_ptr<const Activity> activity,
                             std::shared_ptr<Transaction> tx, bool root)
    : activity_(std::move(activity)), tx_(std::move(tx)), root_(root) {}

base::Result<Instance> ObjectContext::CreateInstance(const std::string& progid) {
  return Create(activity_, tx_, progid);
}

base::Result<Instance> ObjectContext::CreateObject(const std::string& progid) {
  return Create(activity_, nullptr, progid);
}

Instance::Instance(std::unique_ptr<ObjectContext> context, std::unique_ptr<Component> object)
    : context_(std::move(context)), object_(std::move(object)) {}

Instance& Instance::operator=(Instance&& other) {
  if (this != &other) {
    (void)Release();
    context_ = std::move(other.context_);
    object_ = std::move(other.object_);
    settled_conflicted_ = other.settled_conflicted_;
    settled_key_taken_ = other.settled_key_taken_;
    settled_tx_ = std::move(other.settled_tx_);
  }
  return *this;
}

Instance::~Instance() { (void)Release(); }

bool Instance::TransactionConflicted() const {
  return settled_conflicted_ ||
         (context_ && context_->IsTransactionRoot() && context_->tx_->enlistment.conflicted());
}

bool Instance::TransactionKeyTaken() const {
  return settled_key_taken_ ||
         (context_ && context_->IsTransactionRoot() && context_->tx_->enlistment.key_taken());
}

void Instance::SetDryRun() {
  if (context_ && context_->IsTransactionRoot()) context_->tx_->dry_run = true;
}

const Effects* Instance::effects() const {
  if (settled_tx_) return &settled_tx_->effects;
  if (context_ && context_->IsTransactionRoot() && context_->tx_->dry_run) {
    return &context_->tx_->effects;
  }
  return nullptr;
}

base::Status Instance::Release() {
  if (!context_) return base::OkStatus();
  object_.reset();
  base::Status result;
  if (context_->IsTransactionRoot()) {
    data::Enlistment& tx = context_->tx_->enlistment;
    if (context_->tx_->dry_run) settled_tx_ = context_->tx_;
    if (context_->vote() == Vote::kComplete && !context_->tx_->dry_run) {
      base::Status committed = tx.Commit();
      settled_conflicted_ = tx.conflicted();
      settled_key_taken_ = tx.key_taken();
      if (!committed.ok()) {
        result =
            base::MakeErr(kErrTransactionAborted,
                          "The transaction could not be committed: " + committed.err().description,
                          committed.err().source);
      }
    } else {
      settled_conflicted_ = tx.conflicted();
      settled_key_taken_ = tx.key_taken();
      tx.Rollback();
    }
  }
  context_.reset();
  return result;
}

base::Result<Instance> Host::CreateObject(const std::string& progid,
                                          const std::string& login) const {
  auto activity = std::make_shared<const Activity>(Activity{login, &classes_});
  return Create(activity, nullptr, progid);
}

}  // namespace host
