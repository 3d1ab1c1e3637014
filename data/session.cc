#include "data/session.h"

#include <sys/stat.h>

#include <soci/postgresql/soci-postgresql.h>
#include <soci/sqlite3/soci-sqlite3.h>

namespace data {
namespace {

// How long a SQLite writer waits for another writer's lock, in seconds.
constexpr int kSqliteBusySeconds = 10;

std::string QuotePgValue(const std::string& v) {
  std::string out = "'";
  for (char c : v) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

int32_t SqliteNumber(int result) {
  switch (result & 0xff) {
    case SQLITE_CONSTRAINT:
      return kDbIntegrityViolation;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kDbTransactionConflict;
    case SQLITE_ERROR:
      return kDbInvalidStatement;
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_READONLY:
      return kDbNoPrivilege;
    default:
      return kDbGeneralError;
  }
}

int32_t PostgresNumber(const std::string& sqlstate) {
  if (sqlstate.rfind("23", 0) == 0) return kDbIntegrityViolation;
  if (sqlstate == "40001" || sqlstate == "40P01") return kDbTransactionConflict;
  if (sqlstate.rfind("42501", 0) == 0) return kDbNoPrivilege;
  if (sqlstate.rfind("42", 0) == 0) return kDbInvalidStatement;
  return kDbGeneralError;
}

std::string FirstLine(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

}  // namespace

base::Result<std::unique_ptr<soci::session>> OpenSession(const Target& target, OpenMode mode) {
  try {
    if (target.backend == Backend::kSqlite) {
      struct stat st;
      if (mode == OpenMode::kExisting && ::stat(target.path.c_str(), &st) != 0) {
        return base::MakeErr(kDbGeneralError,
                             "[Plexavo.Data] Cannot open database \"" + target.database +
                                 "\": file " + target.path + " does not exist",
                             ProviderSource(target.backend));
      }
      auto s = std::make_unique<soci::session>(
          soci::sqlite3,
          "db=\"" + target.path + "\" timeout=" + std::to_string(kSqliteBusySeconds));
      *s << "PRAGMA journal_mode=WAL";
      *s << "PRAGMA synchronous=NORMAL";
      return s;
    }
    std::string conn = "host=" + QuotePgValue(target.host) + " port=" + QuotePgValue(target.port) +
                       " dbname=" + QuotePgValue(target.database) + " connect_timeout=10";
    if (!target.user.empty()) conn += " user=" + QuotePgValue(target.user);
    if (!target.password.empty()) conn += " password=" + QuotePgValue(target.password);
    return std::make_unique<soci::session>(soci::postgresql, conn);
  } catch (...) {
    return CurrentDbError(target.backend);
  }
}

Conflict CurrentConflict() {
  try {
    throw;
  } catch (const soci::postgresql_soci_error& e) {
    const std::string state = e.sqlstate();
    if (state == "40001" || state == "40P01" || state == "55P03") return Conflict::kTransient;
    return state == "23505" ? Conflict::kKeyTaken : Conflict::kNone;
  } catch (const soci::sqlite3_soci_error& e) {
    // Writers run one at a time: a key is never taken by a racing writer.
    const int primary = e.result() & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED ? Conflict::kTransient
                                                              : Conflict::kNone;
  } catch (...) {
    return Conflict::kNone;
  }
}

base::Err CurrentDbError(Backend backend) {
  const std::string source = ProviderSource(backend);
  try {
    throw;
  } catch (const soci::postgresql_soci_error& e) {
    return base::MakeErr(PostgresNumber(e.sqlstate()), FirstLine(e.what()), source);
  } catch (const soci::sqlite3_soci_error& e) {
    return base::MakeErr(SqliteNumber(e.result()), FirstLine(e.what()), source);
  } catch (const soci::soci_error& e) {
    int32_t n = e.get_error_category() == soci::soci_error::connection_error ? kDbGeneralError
                : e.get_error_category() == soci::soci_error::constraint_violation
                    ? kDbIntegrityViolation
                    : kDbGeneralError;
    return base::MakeErr(n, FirstLine(e.what()), source);
  } catch (const std::bad_alloc&) {
    return base::MakeErr(base::kErrOutOfMemory, "Out of memory", source);
  } catch (const std::exception& e) {
    return base::MakeErr(kDbGeneralError, FirstLine(e.what()), source);
  } catch (...) {
    return base::MakeErr(kDbGeneralError, "unknown database failure", source);
  }
}

}  // namespace data
