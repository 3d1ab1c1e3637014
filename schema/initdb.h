// Bringing a company database to the latest schema version.
#ifndef PLEXAVO_SCHEMA_INITDB_H_
#define PLEXAVO_SCHEMA_INITDB_H_

#include <functional>
#include <string>

#include "base/result.h"
#include "data/target.h"

namespace schema {

struct InitReport {
  int from_version = 0;
  int to_version = 0;
};

// Creates the database when missing, then applies every migration newer
// than the version it records, all in one transaction, and records the new
// version. Running it again on an up-to-date database changes nothing.
// `progress` is told each migration as it is applied.
base::Result<InitReport> InitDb(const data::Target& target,
                                const std::function<void(const std::string&)>& progress = {});

// The version a database records (0 for one without our tables).
base::Result<int> SchemaVersion(const data::Target& target);

}  // namespace schema

#endif  // PLEXAVO_SCHEMA_INITDB_H_
