// The demo company: a small but realistic set of master data, orders and
// users, so that every operation has something to work on.
#ifndef PLEXAVO_CLI_DEMO_COMPANY_H_
#define PLEXAVO_CLI_DEMO_COMPANY_H_

#include <string>

#include "base/result.h"
#include "data/target.h"

namespace cli {

// The users the demo company knows, with their sign-in tokens.
struct DemoUsers {
  std::string admin_token;   // admin: every right
  std::string clerk_token;   // wang: read and maintain
  std::string keeper_token;  // li: read, execute and reverse
};

// Fills a freshly initialised company database; the current period of
// module MF is `period` ("yyyymm"). Settings, period, users and tokens go in
// one transaction; the master data, stock, orders and depot rights then come
// from the files of share/demo through the import, one transaction per file.
base::Result<DemoUsers> SeedDemoCompany(const data::Target& target, const std::string& period);

}  // namespace cli

#endif  // PLEXAVO_CLI_DEMO_COMPANY_H_
