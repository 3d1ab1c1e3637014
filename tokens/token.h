// Sign-in tokens. A token is 32 random bytes from the system's
// cryptographic source, handed to its user once as 64 lower-case hex
// characters. Only the SHA-256 digest of that text is stored
// (SM_UserToken.TokenHash), so the table does not reveal usable tokens; the
// server hashes a presented bearer token the same way and looks it up.
#ifndef PLEXAVO_TOKENS_TOKEN_H_
#define PLEXAVO_TOKENS_TOKEN_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "base/result.h"

namespace tokens {

inline constexpr size_t kTokenBytes = 32;
inline constexpr size_t kTokenChars = 2 * kTokenBytes;

// A fresh token; fails only when the random source does.
base::Result<std::string> NewToken();

// Lower-case hex SHA-256 of `text` (64 characters); empty only when the
// digest cannot be computed.
std::string Sha256Hex(std::string_view text);

// The digest stored for a token: Sha256Hex of its text.
inline std::string TokenHash(std::string_view token) { return Sha256Hex(token); }

// True for exactly 64 lower-case hex characters, the form NewToken answers.
bool IsWellFormedToken(std::string_view text);

}  // namespace tokens

#endif  // PLEXAVO_TOKENS_TOKEN_H_
