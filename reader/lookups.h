// The current period and the user's name, as both classes look them up:
// the reader answers them publicly, the writer uses private copies that
// behave alike. Failure shows as a non-empty error text alone.
#ifndef PLEXAVO_READER_LOOKUPS_H_
#define PLEXAVO_READER_LOOKUPS_H_

#include <string>

#include "host/object_context.h"

namespace reader {

// The production module's current period "yyyymm", asked of the
// configuration service created on its own (outside the transaction).
// Empty text when the service fails; "" also when the module is not started.
std::string CurPeriodLookup(host::ObjectContext& ctx, const std::string& db, std::string& err);

// The caller's user name, asked of the user service inside the transaction.
std::string UserNameLookup(host::ObjectContext& ctx, const std::string& db, std::string& err);

}  // namespace reader

#endif  // PLEXAVO_READER_LOOKUPS_H_
