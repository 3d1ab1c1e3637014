// Contract of the ERP's configuration service: system settings and the
// current accounting period of each module.
#ifndef PLEXAVO_SERVICES_CONFIG_SERVICE_H_
#define PLEXAVO_SERVICES_CONFIG_SERVICE_H_

#include <string>

#include "host/object_context.h"

namespace services {

inline constexpr const char* kConfigServiceProgId = "Plexavo.ConfigService";

class ConfigService : public host::Component {
 public:
  using host::Component::Component;

  // The module's current period "yyyymm"; empty when the module has not
  // been started.
  virtual bool GetCurPeriod(const std::string& module, std::string& period, const std::string& db,
                            std::string& err) = 0;
  // One value per comma-separated key, joined by ";" (a missing setting is
  // the empty text), the module's current period as above, and the calling
  // user's name.
  virtual bool GetSettings(const std::string& keys, std::string& values, const std::string& module,
                           std::string& period, std::string& user_name, const std::string& db,
                           std::string& err) = 0;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_CONFIG_SERVICE_H_
