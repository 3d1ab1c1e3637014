#include "server/idempotency.h"

#include "base/datetime.h"
#include "tokens/token.h"

namespace server {
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

std::string RequestHash(std::string_view body) { return tokens::Sha256Hex(body); }

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

}  // namespace server
