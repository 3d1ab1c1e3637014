// Target: which database a connection string names, and how to reach it.
//
// The connection string is the one the method frame composes:
//   Provider=SQLOLEDB.1;Password=P;Persist Security Info=False;  User ID=U;
//   Initial Catalog=NAME ;Data Source=SOURCE
// "Data Source" chooses the backend:
//   sqlite:/path/to/file.db      SQLite, the file holds company database NAME
//   postgresql://host[:port]     PostgreSQL, database NAME, user U, password P
// Anything else is refused with a clear provider error.
#ifndef PLEXAVO_DATA_TARGET_H_
#define PLEXAVO_DATA_TARGET_H_

#include <string>

#include "base/result.h"

namespace data {

enum class Backend { kSqlite, kPostgres };

// Whether opening a SQLite file that does not exist creates it.
enum class OpenMode { kExisting, kCreateIfMissing };

struct Target {
  Backend backend = Backend::kSqlite;
  std::string database;  // Initial Catalog
  std::string path;      // SQLite file
  std::string host;      // PostgreSQL
  std::string port;
  std::string user;
  std::string password;

  // Identifies the physical database: one session per key and transaction.
  std::string Key() const;
};

base::Result<Target> ParseConnectionString(const std::string& cnn);

// Source text of provider errors, per backend.
const char* ProviderSource(Backend backend);

}  // namespace data

#endif  // PLEXAVO_DATA_TARGET_H_
