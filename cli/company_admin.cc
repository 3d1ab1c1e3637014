#include "cli/company_admin.h"

#include <set>
#include <utility>

#include "base/datetime.h"
#include "data/enlistment.h"
#include "tokens/token_store.h"

namespace cli {
namespace {

constexpr const char* kSource = "Plexavo.Admin";

base::Err Refused(std::string message) {
  return base::MakeErr(base::kErrInvalidArgument, std::move(message), kSource);
}

// Runs `body` on a connection inside a transaction of its own; commits when
// the body succeeds, rolls back (by the enlistment's destructor) otherwise.
template <typename Body>
auto InTransaction(const data::Target& target, Body&& body)
    -> decltype(body(std::declval<data::Connection&>())) {
  data::Enlistment tx;
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(target, &tx));
  auto result = body(cnn);
  cnn.Close();
  if (!result.ok()) return result;
  PLX_RETURN_IF_ERROR(tx.Commit());
  return result;
}

base::Result<bool> UserExists(data::Connection& cnn, const std::string& login) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(
          data::Sql("SELECT LoginName FROM SM_User WHERE LoginName = :login").Bind("login", login),
          {{"LoginName", base::FieldType::kText}}));
  return rs.RecordCount() > 0;
}

base::Status RequireUser(data::Connection& cnn, const std::string& login) {
  PLX_ASSIGN_OR_RETURN(bool exists, UserExists(cnn, login));
  if (exists) return base::OkStatus();
  return Refused("there is no user '" + login + "' in company database '" + cnn.target().database +
                 "'");
}

// The single text value a query answers, nullopt when it answers no row.
base::Result<std::optional<std::string>> OneText(data::Connection& cnn, const data::Sql& sql) {
  PLX_ASSIGN_OR_RETURN(base::Rowset rs, cnn.Query(sql, {{"Value", base::FieldType::kText}}));
  if (rs.RecordCount() == 0) return std::optional<std::string>();
  return std::optional<std::string>(rs.Row(0)[0].TextOrEmpty());
}

// Removes the current period of `module`; answers it (nullopt: none was set).
base::Result<std::optional<std::string>> TakePeriod(data::Connection& cnn,
                                                    const std::string& module) {
  PLX_ASSIGN_OR_RETURN(
      std::optional<std::string> before,
      OneText(
          cnn,
          data::Sql("SELECT Period FROM SM_Period WHERE Module = :module").Bind("module", module)));
  PLX_RETURN_IF_ERROR(cnn.Execute(
      data::Sql("DELETE FROM SM_Period WHERE Module = :module").Bind("module", module)));
  return before;
}

}  // namespace

base::Result<std::string> AddUser(const data::Target& target, const NewUser& user) {
  return InTransaction(target, [&](data::Connection& cnn) -> base::Result<std::string> {
    PLX_ASSIGN_OR_RETURN(bool exists, UserExists(cnn, user.login));
    if (exists) {
      return Refused("user '" + user.login + "' already exists in company database '" +
                     target.database + "'");
    }
    PLX_RETURN_IF_ERROR(
        cnn.Execute(data::Sql("INSERT INTO SM_User (LoginName, UserName, InnerID, Lang) "
                              "VALUES (:login, :name, :inner, :lang)")
                        .Bind("login", user.login)
                        .Bind("name", user.name)
                        .Bind("inner", user.inner_id)
                        .Bind("lang", user.lang)));
    return tokens::InsertToken(cnn, user.login);
  });
}

base::Result<std::string> IssueUserToken(const data::Target& target, const std::string& login,
                                         std::optional<base::DateTime> expires) {
  return InTransaction(target, [&](data::Connection& cnn) -> base::Result<std::string> {
    PLX_RETURN_IF_ERROR(RequireUser(cnn, login));
    return tokens::InsertToken(cnn, login, expires);
  });
}

base::Result<int64_t> RevokeUserTokens(const data::Target& target, const std::string& login) {
  return InTransaction(target, [&](data::Connection& cnn) -> base::Result<int64_t> {
    PLX_RETURN_IF_ERROR(RequireUser(cnn, login));
    return tokens::DeleteTokens(cnn, login);
  });
}

base::Result<std::vector<RightChange>> GrantRights(const data::Target& target,
                                                   const std::string& login,
                                                   const std::vector<std::string>& codes) {
  return InTransaction(
      target, [&](data::Connection& cnn) -> base::Result<std::vector<RightChange>> {
        PLX_RETURN_IF_ERROR(RequireUser(cnn, login));
        PLX_ASSIGN_OR_RETURN(
            base::Rowset rs,
            cnn.Query(data::Sql("SELECT RightCode FROM SM_UserRight WHERE LoginName = :login")
                          .Bind("login", login),
                      {{"RightCode", base::FieldType::kText}}));
        std::set<std::string> held;
        for (const auto& row : rs.rows()) held.insert(row[0].TextOrEmpty());
        std::vector<RightChange> changes;
        for (const std::string& code : codes) {
          bool fresh = held.insert(code).second;
          if (fresh) {
            PLX_RETURN_IF_ERROR(cnn.Execute(
                data::Sql("INSERT INTO SM_UserRight (LoginName, RightCode) VALUES (:login, :code)")
                    .Bind("login", login)
                    .Bind("code", code)));
          }
          changes.push_back({code, fresh});
        }
        return changes;
      });
}

base::Result<std::vector<RightChange>> RevokeRights(const data::Target& target,
                                                    const std::string& login,
                                                    const std::vector<std::string>& codes) {
  return InTransaction(
      target, [&](data::Connection& cnn) -> base::Result<std::vector<RightChange>> {
        PLX_RETURN_IF_ERROR(RequireUser(cnn, login));
        std::vector<RightChange> changes;
        for (const std::string& code : codes) {
          PLX_ASSIGN_OR_RETURN(
              int64_t removed,
              cnn.Execute(data::Sql("DELETE FROM SM_UserRight "
                                    "WHERE LoginName = :login AND RightCode = :code")
                              .Bind("login", login)
                              .Bind("code", code)));
          changes.push_back({code, removed > 0});
        }
        return changes;
      });
}

base::Result<std::optional<std::string>> SetConfig(const data::Target& target,
                                                   const std::string& key,
                                                   const std::string& value) {
  return InTransaction(
      target, [&](data::Connection& cnn) -> base::Result<std::optional<std::string>> {
        PLX_ASSIGN_OR_RETURN(
            std::optional<std::string> before,
            OneText(cnn, data::Sql("SELECT Value FROM SM_Config WHERE ID = :id").Bind("id", key)));
        PLX_RETURN_IF_ERROR(
            cnn.Execute(data::Sql("DELETE FROM SM_Config WHERE ID = :id").Bind("id", key)));
        PLX_RETURN_IF_ERROR(
            cnn.Execute(data::Sql("INSERT INTO SM_Config (ID, Value) VALUES (:id, :value)")
                            .Bind("id", key)
                            .Bind("value", value)));
        return before;
      });
}

base::Status CheckPeriod(const std::string& period) {
  bool digits = period.size() == 6;
  for (char c : period) digits = digits && c >= '0' && c <= '9';
  if (!digits) return Refused("period '" + period + "' is not YYYYMM (six digits)");
  int month = (period[4] - '0') * 10 + (period[5] - '0');
  if (month < 1 || month > 12) {
    return Refused("period '" + period + "' has month " + period.substr(4) +
                   "; months are 01 to 12");
  }
  return base::OkStatus();
}

base::Result<std::optional<std::string>> SetPeriod(const data::Target& target,
                                                   const std::string& module,
                                                   const std::string& period) {
  PLX_RETURN_IF_ERROR(CheckPeriod(period));
  return InTransaction(
      target, [&](data::Connection& cnn) -> base::Result<std::optional<std::string>> {
        PLX_ASSIGN_OR_RETURN(std::optional<std::string> before, TakePeriod(cnn, module));
        PLX_RETURN_IF_ERROR(cnn.Execute(
            data::Sql("INSERT INTO SM_Period (Module, Period) VALUES (:module, :period)")
                .Bind("module", module)
                .Bind("period", period)));
        return before;
      });
}

base::Result<std::optional<std::string>> ClearPeriod(const data::Target& target,
                                                     const std::string& module) {
  return InTransaction(target, [&](data::Connection& cnn) { return TakePeriod(cnn, module); });
}

}  // namespace cli
