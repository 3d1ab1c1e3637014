#include "tokens/token.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

namespace tokens {
namespace {

std::string HexLower(const unsigned char* bytes, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * size);
  for (size_t i = 0; i < size; ++i) {
    hex.push_back(kDigits[bytes[i] >> 4]);
    hex.push_back(kDigits[bytes[i] & 0x0f]);
  }
  return hex;
}

}  // namespace

base::Result<std::string> NewToken() {
  unsigned char bytes[kTokenBytes];
  if (RAND_bytes(bytes, sizeof bytes) != 1) {
    return base::MakeErr(base::kErrInternal, "the random source could not supply a token",
                         "Plexavo.Token");
  }
  return HexLower(bytes, sizeof bytes);
}

std::string Sha256Hex(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  // EVP_Digest fails only when OpenSSL itself is broken; callers treat the
  // empty answer as a failure (it can never equal a stored digest).
  if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr) != 1) return "";
  return HexLower(digest, size);
}

bool IsWellFormedToken(std::string_view text) {
  if (text.size() != kTokenChars) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace tokens
