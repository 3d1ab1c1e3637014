#include "company/company_db.h"

#include "company/cnn_string.h"
#include "platform/registry.h"

namespace company {

base::Status OpenCompanyDb(const std::string& db, data::Enlistment* tx, data::Connection& cnn) {
  PLX_ASSIGN_OR_RETURN(std::string cnn_string, GetCnnString(db));
  return cnn.Open(cnn_string, tx);
}

base::Result<data::Target> CompanyTarget(const std::string& db) {
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(kSettingsKeyPrefix + db, &key) != platform::kRegSuccess) {
    return base::MakeErr(
        base::kErrInvalidArgument,
        "company database '" + db + "' has no settings in " + platform::SettingsPath(),
        "Plexavo.Settings");
  }
  PLX_ASSIGN_OR_RETURN(std::string cnn_string, GetCnnString(db));
  return data::ParseConnectionString(cnn_string);
}

}  // namespace company
