#include "data/admin.h"

#include <unistd.h>

#include <cctype>

#include "data/session.h"
#include "data/session_pool.h"

namespace data {
namespace {

base::Status CheckName(const std::string& name) {
  bool ok = !name.empty() && name.size() <= 63;
  for (char c : name) {
    ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-');
  }
  if (ok) return base::OkStatus();
  return base::MakeErr(base::kErrInvalidArgument,
                       "database name '" + name + "' must be 1 to 63 letters, digits, '_' or '-'",
                       "Plexavo.Data");
}

base::Result<std::unique_ptr<Session>> OpenMaintenance(const Target& target) {
  Target maintenance = target;
  maintenance.database = "postgres";
  return OpenSession(maintenance);
}

}  // namespace

base::Status CreateDatabaseIfMissing(const Target& target) {
  PLX_RETURN_IF_ERROR(CheckName(target.database));
  if (target.backend == Backend::kSqlite) {
    PLX_ASSIGN_OR_RETURN(auto s, OpenSession(target, OpenMode::kCreateIfMissing));
    return base::OkStatus();
  }
  PLX_ASSIGN_OR_RETURN(auto s, OpenMaintenance(target));
  try {
    int count = 0;
    s->sql() << "SELECT COUNT(*) FROM pg_database WHERE datname = :n", soci::use(target.database),
        soci::into(count);
    if (count == 0) s->sql() << "CREATE DATABASE \"" + target.database + "\" ENCODING 'UTF8'";
    return base::OkStatus();
  } catch (...) {
    return CurrentDbError(target.backend);
  }
}

base::Status DropDatabase(const Target& target) {
  PLX_RETURN_IF_ERROR(CheckName(target.database));
  SessionPool::Instance().Forget(target);
  if (target.backend == Backend::kSqlite) {
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((target.path + suffix).c_str());
    return base::OkStatus();
  }
  PLX_ASSIGN_OR_RETURN(auto s, OpenMaintenance(target));
  try {
    s->sql() << "DROP DATABASE IF EXISTS \"" + target.database + "\" WITH (FORCE)";
    return base::OkStatus();
  } catch (...) {
    return CurrentDbError(target.backend);
  }
}

}  // namespace data
