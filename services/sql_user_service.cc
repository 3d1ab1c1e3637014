#include "services/sql_user_service.h"

#include <set>

#include "base/ascii.h"
#include "services/lookup_support.h"

namespace services {
namespace {

constexpr const char* kSource = "Plexavo.UserService";

// Each comma-separated code of `codes` as "1" when granted, "0" otherwise.
std::string AnswerFor(const std::string& codes, const std::set<std::string>& granted) {
  std::string answer;
  for (const std::string& code : base::SplitCommas(codes)) {
    answer += granted.count(code) ? '1' : '0';
  }
  return answer;
}

}  // namespace

base::Result<SqlUserService::User> SqlUserService::Caller(const std::string& method,
                                                          const std::string& db) {
  const std::string& login = GetObjectContext().CallerLogin();
  if (login.empty()) {
    return base::MakeErr(base::kErrInvalidArgument, "the call carries no login name", kSource);
  }
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(OpenCompanyDb(GetObjectContext(), method, db, cnn));
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("SELECT UserName, InnerID, Lang FROM SM_User WHERE LoginName = :login")
                    .Bind("login", login),
                {{"UserName", base::FieldType::kText},
                 {"InnerID", base::FieldType::kInt},
                 {"Lang", base::FieldType::kText}}));
  if (rs.RecordCount() == 0) {
    return base::MakeErr(base::kErrInvalidArgument,
                         "user '" + login + "' is not a user of company database '" + db + "'",
                         kSource);
  }
  const auto& row = rs.Row(0);
  return User{row[0].TextOrEmpty(), row[1].IntOrZero(), row[2].TextOrEmpty()};
}

std::string SqlUserService::GetLoginName(std::string& err) {
  const std::string& login = GetObjectContext().CallerLogin();
  if (login.empty()) err = "the call carries no login name";
  GetObjectContext().VoteFor(err.empty());
  return login;
}

std::string SqlUserService::GetUserName(const std::string& db, std::string& err) {
  auto user = Caller("Plexavo.UserService.GetUserName", db);
  if (!user.ok()) {
    err = user.err().description;
    GetObjectContext().VoteFor(false);
    return "";
  }
  GetObjectContext().VoteFor(true);
  return user->user_name;
}

int32_t SqlUserService::GetUserInnerID(const std::string& db, std::string& err) {
  auto user = Caller("Plexavo.UserService.GetUserInnerID", db);
  if (!user.ok()) {
    err = user.err().description;
    GetObjectContext().VoteFor(false);
    return 0;
  }
  GetObjectContext().VoteFor(true);
  return user->inner_id;
}

std::optional<base::Rowset> SqlUserService::GetUserList(const std::string& db, std::string& err) {
  data::Connection cnn;
  base::Status opened =
      OpenCompanyDb(GetObjectContext(), "Plexavo.UserService.GetUserList", db, cnn);
  if (!opened.ok()) {
    err = opened.err().description;
    GetObjectContext().VoteFor(false);
    return std::nullopt;
  }
  auto rs =
      cnn.Query(data::Sql("SELECT LoginName, UserName, InnerID FROM SM_User ORDER BY LoginName"),
                {{"LoginName", base::FieldType::kText},
                 {"UserName", base::FieldType::kText},
                 {"InnerID", base::FieldType::kInt}});
  if (!rs.ok()) {
    err = rs.err().description;
    GetObjectContext().VoteFor(false);
    return std::nullopt;
  }
  GetObjectContext().VoteFor(true);
  return std::move(rs).value();
}

bool SqlUserService::GetRights(const std::string& codes, std::string& answer, const std::string& db,
                               std::string& err) {
  auto granted = [&]() -> base::Result<std::set<std::string>> {
    auto user =
        Caller("Plexavo.UserService.GetRights", db);  // an unknown user has no rights to answer
    if (!user.ok()) return user.err();
    data::Connection cnn;
    PLX_RETURN_IF_ERROR(
        OpenCompanyDb(GetObjectContext(), "Plexavo.UserService.GetRights", db, cnn));
    PLX_ASSIGN_OR_RETURN(base::Rowset rs,
                         cnn.Query(data::Sql("SELECT RightCode FROM SM_UserRight "
                                             "WHERE LoginName = :login")
                                       .Bind("login", GetObjectContext().CallerLogin()),
                                   {{"RightCode", base::FieldType::kText}}));
    std::set<std::string> codes;
    for (const auto& row : rs.rows()) codes.insert(row[0].TextOrEmpty());
    return codes;
  }();
  if (!granted.ok()) {
    err = granted.err().description;
    return GetObjectContext().VoteFor(false);
  }
  answer = AnswerFor(codes, *granted);
  return GetObjectContext().VoteFor(true);
}

bool SqlUserService::GetLanguage(std::string& lang, const std::string& db, std::string& err) {
  auto user = Caller("Plexavo.UserService.GetLanguage", db);
  if (!user.ok()) {
    err = user.err().description;
    return GetObjectContext().VoteFor(false);
  }
  lang = user->lang;
  return GetObjectContext().VoteFor(true);
}

}  // namespace services
