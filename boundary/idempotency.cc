#include "boundary/idempotency.h"

#include <openssl/evp.h>

#include <cstdlib>

#include "base/datetime.h"

namespace boundary {
namespace {

// The oldest time of a key still in force.
base::DateTime Cutoff(int64_t expiry_s) {
  auto cutoff = base::DateTime::FromOleDate(base::DateTime::Now().ToOleDate() -
                                            static_cast<double>(expiry_s) / 86400.0);
  return cutoff.ok() ? *cutoff : base::DateTime();
}

}  // namespace

bool ValidIdempotencyKey(std::string_view key) {
  if (key.empty() || key.size() > 255) return false;
  for (unsigned char c : key) {
    if (c <= 0x20 || c >= 0x7f) return false;
  }
  return true;
}

std::string RequestHash(std::string_view body) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  // EVP_Digest fails only when OpenSSL itself is broken; the empty answer
  // then never equals a kept fingerprint.
  if (EVP_Digest(body.data(), body.size(), digest, &size, EVP_sha256(), nullptr) != 1) return "";
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xf];
  }
  return hex;
}

int64_t IdempotencyExpirySeconds() {
  const char* text = std::getenv("PLEXAVO_IDEMPOTENCY_EXPIRY_S");
  if (text != nullptr && *text != '\0') {
    char* end = nullptr;
    const long long seconds = std::strtoll(text, &end, 10);
    if (*end == '\0' && seconds > 0) return seconds;
  }
  return 24 * 60 * 60;
}

base::Result<std::optional<KeptAnswer>> FindKeptAnswer(const data::Target& target,
                                                       const std::string& login,
                                                       const std::string& key, int64_t expiry_s) {
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(target, nullptr));
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("SELECT RequestHash, Answer FROM PX_IdempotencyKey "
                          "WHERE LoginName = :login AND KeyText = :key AND Created >= :cutoff")
                    .Bind("login", login)
                    .Bind("key", key)
                    .Bind("cutoff", Cutoff(expiry_s)),
                {{"RequestHash", base::FieldType::kText}, {"Answer", base::FieldType::kText}}));
  if (rs.RecordCount() == 0) return std::optional<KeptAnswer>();
  return std::optional<KeptAnswer>(
      KeptAnswer{rs.Row(0)[0].TextOrEmpty(), rs.Row(0)[1].TextOrEmpty()});
}

base::Status KeepAnswer(data::Connection& cnn, const std::string& login, const std::string& key,
                        const KeptAnswer& kept, int64_t expiry_s) {
  PLX_RETURN_IF_ERROR(cnn.Execute(data::Sql("DELETE FROM PX_IdempotencyKey WHERE Created < :cutoff")
                                      .Bind("cutoff", Cutoff(expiry_s))));
  PLX_RETURN_IF_ERROR(cnn.Execute(
      data::Sql("INSERT INTO PX_IdempotencyKey (LoginName, KeyText, RequestHash, Answer, Created) "
                "VALUES (:login, :key, :hash, :answer, :created)")
          .Bind("login", login)
          .Bind("key", key)
          .Bind("hash", kept.request_hash)
          .Bind("answer", kept.answer)
          .Bind("created", base::DateTime::Now())));
  return base::OkStatus();
}

}  // namespace boundary
