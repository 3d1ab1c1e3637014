#include "tokens/token_store.h"

#include "data/sql.h"
#include "tokens/token.h"

namespace tokens {

base::Result<std::string> InsertToken(data::Connection& cnn, const std::string& login,
                                      std::optional<base::DateTime> expires) {
  PLX_ASSIGN_OR_RETURN(std::string token, NewToken());
  std::string hash = TokenHash(token);
  if (hash.empty()) {
    return base::MakeErr(base::kErrInternal, "SHA-256 is unavailable", "Plexavo.Token");
  }
  PLX_RETURN_IF_ERROR(
      cnn.Execute(data::Sql("INSERT INTO SM_UserToken (TokenHash, LoginName, Created, Expires) "
                            "VALUES (:hash, :login, :created, :expires)")
                      .Bind("hash", hash)
                      .Bind("login", login)
                      .Bind("created", base::DateTime::Now())
                      .Bind("expires", expires ? base::Value(*expires) : base::Value())));
  return token;
}

base::Result<std::string> LoginOfToken(data::Connection& cnn, const std::string& token) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("SELECT LoginName FROM SM_UserToken WHERE TokenHash = :hash "
                          "AND (Expires IS NULL OR Expires > :now)")
                    .Bind("hash", TokenHash(token))
                    .Bind("now", base::DateTime::Now()),
                {{"LoginName", base::FieldType::kText}}));
  if (rs.RecordCount() == 0) return std::string();
  return rs.Row(0)[0].TextOrEmpty();
}

void LookUpWithoutDatabase(const std::string& token) {
  data::Target nowhere;
  nowhere.backend = data::Backend::kSqlite;
  nowhere.database = "token-decoy";
  nowhere.path = ":memory:";
  data::Connection cnn;
  if (!cnn.Open(nowhere, nullptr, data::OpenMode::kCreateIfMissing).ok()) return;
  (void)cnn.Query(data::Sql("SELECT LoginName FROM (SELECT NULL AS LoginName, '' AS TokenHash, "
                            "NULL AS Expires) AS SM_UserToken WHERE TokenHash = :hash "
                            "AND (Expires IS NULL OR Expires > :now)")
                      .Bind("hash", TokenHash(token))
                      .Bind("now", base::DateTime::Now()),
                  {{"LoginName", base::FieldType::kText}});
}

base::Result<int64_t> DeleteTokens(data::Connection& cnn, const std::string& login) {
  return cnn.Execute(
      data::Sql("DELETE FROM SM_UserToken WHERE LoginName = :login").Bind("login", login));
}

}  // namespace tokens
