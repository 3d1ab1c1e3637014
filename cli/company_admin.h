// The company database changes the admin tool makes: users and their
// sign-in tokens, rights, settings and module periods. Each function runs in
// a transaction of its own on the given database and commits only when all
// of its work succeeded.
#ifndef PLEXAVO_CLI_COMPANY_ADMIN_H_
#define PLEXAVO_CLI_COMPANY_ADMIN_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/datetime.h"
#include "base/result.h"
#include "data/connection.h"
#include "data/target.h"

namespace cli {

struct NewUser {
  std::string login;
  std::string name;
  int32_t inner_id = 0;
  std::string lang;
};

// Adds the user and issues its first sign-in token; answers the token.
// A login that already exists is refused and nothing is written.
base::Result<std::string> AddUser(const data::Target& target, const NewUser& user);

// Issues another sign-in token for an existing user, valid until `expires`
// (for ever without); answers the token.
base::Result<std::string> IssueUserToken(const data::Target& target, const std::string& login,
                                         std::optional<base::DateTime> expires = std::nullopt);

// Removes every sign-in token of an existing user; answers how many there
// were. A removed token is refused from the next request on.
base::Result<int64_t> RevokeUserTokens(const data::Target& target, const std::string& login);

struct RightChange {
  std::string code;
  bool changed = false;  // false: already granted (grant) or not granted (revoke)
};

// Grants or revokes right codes of an existing user, one answer per code in
// the order given.
base::Result<std::vector<RightChange>> GrantRights(const data::Target& target,
                                                   const std::string& login,
                                                   const std::vector<std::string>& codes);
base::Result<std::vector<RightChange>> RevokeRights(const data::Target& target,
                                                    const std::string& login,
                                                    const std::vector<std::string>& codes);

// Sets SM_Config value `key`; answers the value it had (nullopt: none).
base::Result<std::optional<std::string>> SetConfig(const data::Target& target,
                                                   const std::string& key,
                                                   const std::string& value);

// A period is "YYYYMM": six digits, the month 01 to 12.
base::Status CheckPeriod(const std::string& period);

// Sets the current period of a module; answers the period it had.
base::Result<std::optional<std::string>> SetPeriod(const data::Target& target,
                                                   const std::string& module,
                                                   const std::string& period);

// Removes the module's period (the module is then not started); answers
// the period it had (nullopt: it had none, nothing changed).
base::Result<std::optional<std::string>> ClearPeriod(const data::Target& target,
                                                     const std::string& module);

}  // namespace cli

#endif  // PLEXAVO_CLI_COMPANY_ADMIN_H_
