// The configuration service over the company database: settings in
// SM_Config, the current period of each module in SM_Period, and the
// calling user's name from SM_User.
#ifndef PLEXAVO_SERVICES_SQL_CONFIG_SERVICE_H_
#define PLEXAVO_SERVICES_SQL_CONFIG_SERVICE_H_

#include "services/config_service.h"

namespace services {

class SqlConfigService : public ConfigService {
 public:
  using ConfigService::ConfigService;

  bool GetCurPeriod(const std::string& module, std::string& period, const std::string& db,
                    std::string& err) override;
  bool GetSettings(const std::string& keys, std::string& values, const std::string& module,
                   std::string& period, std::string& user_name, const std::string& db,
                   std::string& err) override;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_SQL_CONFIG_SERVICE_H_
