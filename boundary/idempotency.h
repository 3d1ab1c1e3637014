// Answers of writer calls kept by their idempotency key, so that a call sent
// twice (a double click, a retry after a lost answer) runs once. Both the
// HTTP server (the Idempotency-Key header) and the in-process component
// (InvokeWithKey) keep them here.
//
// The key row lives in the company database (PX_IdempotencyKey) and is
// written in the call's own transaction: it exists exactly when the call's
// writes were committed. A key belongs to the login that used it; the same
// key with another request is refused. Keys older than the expiry are
// forgotten (and removed when a new key is stored).
#ifndef PLEXAVO_BOUNDARY_IDEMPOTENCY_H_
#define PLEXAVO_BOUNDARY_IDEMPOTENCY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"
#include "data/connection.h"
#include "data/target.h"

namespace boundary {

struct KeptAnswer {
  std::string request_hash;
  std::string answer;  // the JSON text answered when the call ran
};

// A key is 1 to 255 visible ASCII characters.
bool ValidIdempotencyKey(std::string_view key);

// The fingerprint of a request's text (SHA-256, hexadecimal).
std::string RequestHash(std::string_view body);

// How long a kept answer is in force: $PLEXAVO_IDEMPOTENCY_EXPIRY_S seconds
// when that is a positive number, 24 hours otherwise.
int64_t IdempotencyExpirySeconds();

// The answer kept under (login, key) that is younger than `expiry_s`.
base::Result<std::optional<KeptAnswer>> FindKeptAnswer(const data::Target& target,
                                                       const std::string& login,
                                                       const std::string& key, int64_t expiry_s);

// Keeps the answer through `cnn`, a connection in the call's transaction,
// and removes expired keys. A key stored meanwhile by a concurrent call
// fails with the database's integrity violation.
base::Status KeepAnswer(data::Connection& cnn, const std::string& login, const std::string& key,
                        const KeptAnswer& kept, int64_t expiry_s);

}  // namespace boundary

#endif  // PLEXAVO_BOUNDARY_IDEMPOTENCY_H_
