// How the outside services reach a company database: its settings key gives
// the server, user and password; the connection joins the calling object's
// transaction when it runs in one.
#ifndef PLEXAVO_SERVICES_COMPANY_DB_H_
#define PLEXAVO_SERVICES_COMPANY_DB_H_

#include <string>

#include "base/result.h"
#include "data/connection.h"
#include "host/object_context.h"

namespace services {

base::Status OpenCompanyDb(host::ObjectContext& ctx, const std::string& db, data::Connection& cnn);

// The settings of a company database as a connection target.
base::Result<data::Target> CompanyTarget(const std::string& db);

}  // namespace services

#endif  // PLEXAVO_SERVICES_COMPANY_DB_H_
