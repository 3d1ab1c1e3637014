// Sign-in tokens. A token is 32 random bytes from the system's
// cryptographic source, handed to its user once as 64 lower-case hex
// characters. Only the SHA-256 digest of that text is stored
// (SM_UserToken.TokenHash), so the table does not reveal usable tokens; the
// server hashes a presented bearer token the same way and looks it up.
#ifndef PLEXAVO_CLI_TOKEN_H_
#define PLEXAVO_CLI_TOKEN_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "base/result.h"

namespace cli {

inline constexpr size_t kTokenBytes = 32;
inline constexpr size_t kTokenChars = 2 * kTokenBytes;

// A fresh token; fails only when the random source does.
base::Result<std::string> NewToken();

// Lower-case hex SHA-256 of the token text (64 characters).
std::string TokenHash(std::string_view token);

// True for exactly 64 lower-case hex characters, the form NewToken answers.
bool IsWellFormedToken(std::string_view text);

}  // namespace cli

#endif  // PLEXAVO_CLI_TOKEN_H_
