// What the look-up services share: one query on a company database in the
// calling object's transaction, and the vote a service casts on its answer.
#ifndef PLEXAVO_SERVICES_LOOKUP_SUPPORT_H_
#define PLEXAVO_SERVICES_LOOKUP_SUPPORT_H_

#include <string>
#include <vector>

#include "base/result.h"
#include "base/rowset.h"
#include "data/connection.h"
#include "data/sql.h"
#include "host/object_context.h"

namespace services {

// Opens company database `db` in the calling object's transaction, the way
// the classes open theirs (company::OpenCompanyDb). A failure is an
// unexpected one and is reported as the method frame reports it: FormatErr
// writes its event-log record under `method` (the service's program id and
// operation), and the error answered carries FormatErr's composed text as
// its description, the text a service hands its caller.
base::Status OpenCompanyDb(host::ObjectContext& ctx, const std::string& method,
                           const std::string& db, data::Connection& cnn);

// All rows of `sql` on company database `db`, read into `fields`; `method`
// as for OpenCompanyDb.
base::Result<base::Rowset> QueryCompany(host::ObjectContext& ctx, const std::string& method,
                                        const std::string& db, const data::Sql& sql,
                                        const std::vector<base::Field>& fields);

// The text of a failed look-up of `what` with key `key`, in both languages:
// "<zh> <key> 不存在！(<en> <key> does not exist.)".
std::string MissingText(const std::string& zh, const std::string& en, const std::string& key);

}  // namespace services

#endif  // PLEXAVO_SERVICES_LOOKUP_SUPPORT_H_
