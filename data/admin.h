// Creating and dropping whole company databases, for the admin CLI and tests.
#ifndef PLEXAVO_DATA_ADMIN_H_
#define PLEXAVO_DATA_ADMIN_H_

#include "base/result.h"
#include "data/target.h"

namespace data {

// SQLite: creates the file when missing. PostgreSQL: connects to the
// server's "postgres" database and creates the target database when it
// does not exist. Database names are limited to letters, digits, '_' and '-'.
base::Status CreateDatabaseIfMissing(const Target& target);

// Removes the database (file or PostgreSQL database). Missing is not an error.
base::Status DropDatabase(const Target& target);

}  // namespace data

#endif  // PLEXAVO_DATA_ADMIN_H_
