#include "services/sql_config_service.h"

#include <map>
#include <vector>

#include "base/ascii.h"
#include "data/connection.h"
#include "services/lookup_support.h"

namespace services {
namespace {

base::Result<std::string> ReadPeriod(data::Connection& cnn, const std::string& module) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("SELECT Period FROM SM_Period WHERE Module = :m").Bind("m", module),
                {{"Period", base::FieldType::kText}}));
  return rs.RecordCount() == 0 ? std::string() : rs.Row(0)[0].TextOrEmpty();
}

base::Result<std::string> ReadValues(data::Connection& cnn, const std::string& keys) {
  PLX_ASSIGN_OR_RETURN(base::Rowset rs, cnn.Query(data::Sql("SELECT ID, Value FROM SM_Config"),
                                                  {{"ID", base::FieldType::kText},
                                                   {"Value", base::FieldType::kText}}));
  std::map<std::string, std::string> settings;
  for (const auto& row : rs.rows()) settings[row[0].TextOrEmpty()] = row[1].TextOrEmpty();
  const std::vector<std::string> parts = base::SplitCommas(keys);
  std::string values;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) values += ';';
    values += settings[parts[i]];
  }
  return values;
}

base::Result<std::string> ReadUserName(data::Connection& cnn, const std::string& login,
                                       const std::string& db) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("SELECT UserName FROM SM_User WHERE LoginName = :l").Bind("l", login),
                {{"UserName", base::FieldType::kText}}));
  if (rs.RecordCount() == 0) {
    return base::MakeErr(base::kErrInvalidArgument,
                         "user '" + login + "' is not a user of company database '" + db + "'",
                         "Plexavo.ConfigService");
  }
  return rs.Row(0)[0].TextOrEmpty();
}

}  // namespace

bool SqlConfigService::GetCurPeriod(const std::string& module, std::string& period,
                                    const std::string& db, std::string& err) {
  data::Connection cnn;
  base::Status opened =
      OpenCompanyDb(GetObjectContext(), "Plexavo.ConfigService.GetCurPeriod", db, cnn);
  auto p = opened.ok() ? ReadPeriod(cnn, module) : base::Result<std::string>(opened.err());
  if (!p.ok()) {
    err = p.err().description;
    return GetObjectContext().VoteFor(false);
  }
  period = *p;
  return GetObjectContext().VoteFor(true);
}

bool SqlConfigService::GetSettings(const std::string& keys, std::string& values,
                                   const std::string& module, std::string& period,
                                   std::string& user_name, const std::string& db,
                                   std::string& err) {
  auto read = [&]() -> base::Status {
    data::Connection cnn;
    PLX_RETURN_IF_ERROR(
        OpenCompanyDb(GetObjectContext(), "Plexavo.ConfigService.GetSettings", db, cnn));
    PLX_ASSIGN_OR_RETURN(values, ReadValues(cnn, keys));
    PLX_ASSIGN_OR_RETURN(period, ReadPeriod(cnn, module));
    PLX_ASSIGN_OR_RETURN(user_name, ReadUserName(cnn, GetObjectContext().CallerLogin(), db));
    return base::OkStatus();
  }();
  if (!read.ok()) {
    err = read.err().description;
    return GetObjectContext().VoteFor(false);
  }
  return GetObjectContext().VoteFor(true);
}

}  // namespace services
