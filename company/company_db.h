// Reaching a company database. Every opening of a company database, by the
// two classes, Share_Bus and the outside services alike, takes its
// connection string from GetCnnString (cnn_string.h), so that a missing or
// broken database is met the same way wherever it is opened.
#ifndef PLEXAVO_COMPANY_COMPANY_DB_H_
#define PLEXAVO_COMPANY_COMPANY_DB_H_

#include <string>

#include "base/result.h"
#include "data/connection.h"
#include "data/target.h"

namespace company {

// Opens `cnn` on company database `db` with the connection string that
// GetCnnString builds; with `tx` the connection joins that transaction's
// session for the database, with nullptr it runs on its own.
base::Status OpenCompanyDb(const std::string& db, data::Enlistment* tx, data::Connection& cnn);

// The connection target of company database `db`, for the administration
// tool and the server's own tables. A database without a settings key is
// refused with a text naming the settings file; otherwise the target is the
// one GetCnnString's connection string names.
base::Result<data::Target> CompanyTarget(const std::string& db);

}  // namespace company

#endif  // PLEXAVO_COMPANY_COMPANY_DB_H_
