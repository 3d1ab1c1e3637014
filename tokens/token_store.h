// The sign-in tokens of a company database (SM_UserToken): issuing one to a
// user, finding the user a presented token belongs to, and revoking a
// user's tokens. Only the digest of a token is stored (token.h).
#ifndef PLEXAVO_TOKENS_TOKEN_STORE_H_
#define PLEXAVO_TOKENS_TOKEN_STORE_H_

#include <cstdint>
#include <optional>
#include <string>

#include "base/datetime.h"
#include "base/result.h"
#include "data/connection.h"

namespace tokens {

// Stores the digest of a fresh token for `login` on `cnn`, valid until
// `expires` (for ever without); answers the token.
base::Result<std::string> InsertToken(data::Connection& cnn, const std::string& login,
                                      std::optional<base::DateTime> expires = std::nullopt);

// The login `token` belongs to while it has not expired; empty when no
// valid token of a user matches.
base::Result<std::string> LoginOfToken(data::Connection& cnn, const std::string& token);

// The work of LoginOfToken where the named company database does not
// exist: the same digest and statement, run on a private in-memory database
// over a row that matches nothing, so that refusing a token costs about the
// same whether or not the database exists.
void LookUpWithoutDatabase(const std::string& token);

// Removes every token of `login`; answers how many there were.
base::Result<int64_t> DeleteTokens(data::Connection& cnn, const std::string& login);

}  // namespace tokens

#endif  // PLEXAVO_TOKENS_TOKEN_STORE_H_
