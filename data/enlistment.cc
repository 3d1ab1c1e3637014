#include "data/enlistment.h"

#include "data/dialect.h"
#include "data/session.h"

namespace data {

Enlistment::~Enlistment() { Rollback(); }

base::Result<soci::session*> Enlistment::Join(const Target& target) {
  auto it = sessions_.find(target.Key());
  if (it != sessions_.end()) return it->second.session.get();
  PLX_ASSIGN_OR_RETURN(std::unique_ptr<soci::session> s, OpenSession(target));
  try {
    *s << Dialect(target.backend).BeginTransaction();
  } catch (...) {
    return CurrentDbError(target.backend);
  }
  soci::session* raw = s.get();
  sessions_.emplace(target.Key(), Entry{target.backend, std::move(s)});
  return raw;
}

base::Status Enlistment::Commit() {
  base::Status result;
  for (auto& [key, entry] : sessions_) {
    if (!result.ok()) {
      try {
        *entry.session << "ROLLBACK";
      } catch (...) {
      }
      continue;
    }
    try {
      *entry.session << "COMMIT";
    } catch (...) {
      result = CurrentDbError(entry.backend);
      try {
        *entry.session << "ROLLBACK";
      } catch (...) {
      }
    }
  }
  sessions_.clear();
  return result;
}

void Enlistment::Rollback() noexcept {
  for (auto& [key, entry] : sessions_) {
    try {
      *entry.session << "ROLLBACK";
    } catch (...) {
      // The session is dropped either way; closing it ends the transaction.
    }
  }
  sessions_.clear();
}

}  // namespace data
