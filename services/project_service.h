// Contract of the ERP's project service.
#ifndef PLEXAVO_SERVICES_PROJECT_SERVICE_H_
#define PLEXAVO_SERVICES_PROJECT_SERVICE_H_

#include <string>

#include "host/object_context.h"

namespace services {

inline constexpr const char* kProjectServiceProgId = "Plexavo.ProjectService";

class ProjectService : public host::Component {
 public:
  using host::Component::Component;

  // The name of project `id` ("" when it has none). An unknown id answers
  // "" with a reason in `err`, so that a mistyped code is reported.
  virtual std::string GetProjectName(const std::string& id, const std::string& db,
                                     std::string& err) = 0;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_PROJECT_SERVICE_H_
