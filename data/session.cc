#include "data/session.h"

#include <poll.h>
#include <sys/stat.h>

#include <libpq-fe.h>

#include <soci/postgresql/soci-postgresql.h>
#include <soci/sqlite3/soci-sqlite3.h>

namespace data {
namespace {

constexpr int kSqliteBusySeconds = static_cast<int>(
    std::chrono::duration_cast<std::chrono::seconds>(kSqliteWriterPatience).count());

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

bool Session::Reusable() noexcept {
  soci::details::session_backend* backend = sql_->get_backend();
  if (backend == nullptr) return false;  // closed
  if (backend_ == Backend::kSqlite) {
    return sqlite_api::sqlite3_get_autocommit(
               static_cast<soci::sqlite3_session_backend*>(backend)->conn_) != 0;
  }
  PGconn* conn = static_cast<soci::postgresql_session_backend*>(backend)->conn_;
  if (conn == nullptr || PQstatus(conn) != CONNECTION_OK) return false;
  if (PQtransactionStatus(conn) != PQTRANS_IDLE) return false;
  // An idle connection has nothing to read unless the server spoke first:
  // it ended the session (or, rarely, sent a notice; such a session is
  // given up as well, which costs no more than opening another).
  pollfd fd{PQsocket(conn), POLLIN, 0};
  if (fd.fd < 0) return false;
  return ::poll(&fd, 1, 0) == 0;
}

// Ephemeral tables (an IN list, the rows of an UPDATE ... FROM) each get a
// page cache of their own. Without a bulk allocation up front, their pages
// come from the heap's free lists instead of a fresh block that the heap
// hands back to the system when the statement ends and takes again on the
// next one. Takes effect only before SQLite's first use in the process.
void ConfigureSqliteOnce() {
  static const bool configured = [] {
    sqlite_api::sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    return true;
  }();
  (void)configured;
}

base::Result<std::unique_ptr<Session>> OpenSession(const Target& target, OpenMode mode) {
  try {
    if (target.backend == Backend::kSqlite) {
      ConfigureSqliteOnce();
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
      return std::make_unique<Session>(target.backend, std::move(s));
    }
    std::string conn = "host=" + QuotePgValue(target.host) + " port=" + QuotePgValue(target.port) +
                       " dbname=" + QuotePgValue(target.database) + " connect_timeout=10";
    if (!target.user.empty()) conn += " user=" + QuotePgValue(target.user);
    if (!target.password.empty()) conn += " password=" + QuotePgValue(target.password);
    return std::make_unique<Session>(target.backend,
                                     std::make_unique<soci::session>(soci::postgresql, conn));
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
    return base::MakeErr(PostgresNumber(e.sqlstate()), FirstLine(e.get_error_message()), source);
  } catch (const soci::sqlite3_soci_error& e) {
    return base::MakeErr(SqliteNumber(e.result()), FirstLine(e.get_error_message()), source);
  } catch (const soci::soci_error& e) {
    int32_t n = e.get_error_category() == soci::soci_error::connection_error ? kDbGeneralError
                : e.get_error_category() == soci::soci_error::constraint_violation
                    ? kDbIntegrityViolation
                    : kDbGeneralError;
    return base::MakeErr(n, FirstLine(e.get_error_message()), source);
  } catch (const std::bad_alloc&) {
    return base::MakeErr(base::kErrOutOfMemory, "Out of memory", source);
  } catch (const std::exception& e) {
    return base::MakeErr(kDbGeneralError, FirstLine(e.what()), source);
  } catch (...) {
    return base::MakeErr(kDbGeneralError, "unknown database failure", source);
  }
}

}  // namespace data
