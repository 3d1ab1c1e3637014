#include "services/company_db.h"

#include "platform/registry.h"

namespace services {
namespace {

constexpr const char* kKeyPrefix = "SoftWare\\Halvaren\\Kelmora\\";

std::string Value(const platform::RegistryKey& key, const char* name) {
  char buffer[1024] = {};
  uint32_t length = sizeof buffer;
  if (key.QueryValue(name, buffer, &length) != platform::kRegSuccess || length == 0) return "";
  return std::string(buffer, length - 1);
}

}  // namespace

base::Result<data::Target> CompanyTarget(const std::string& db) {
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(kKeyPrefix + db, &key) != platform::kRegSuccess) {
    return base::MakeErr(
        base::kErrInvalidArgument,
        "company database '" + db + "' has no settings in " + platform::SettingsPath(),
        "Plexavo.Services");
  }
  return data::ParseConnectionString("Password=" + Value(key, "PWD") +
                                     ";User ID=" + Value(key, "UserID") + ";Initial Catalog=" + db +
                                     ";Data Source=" + Value(key, "Server"));
}

base::Status OpenCompanyDb(host::ObjectContext& ctx, const std::string& db, data::Connection& cnn) {
  PLX_ASSIGN_OR_RETURN(data::Target target, CompanyTarget(db));
  return cnn.Open(target, ctx.enlistment());
}

}  // namespace services
