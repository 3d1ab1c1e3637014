// Contract of the ERP's operator service: the people who draw material.
#ifndef PLEXAVO_SERVICES_OPERATOR_SERVICE_H_
#define PLEXAVO_SERVICES_OPERATOR_SERVICE_H_

#include <optional>
#include <string>

#include "base/rowset.h"
#include "host/object_context.h"

namespace services {

inline constexpr const char* kOperatorServiceProgId = "Plexavo.OperatorService";

class OperatorService : public host::Component {
 public:
  using host::Component::Component;

  // The operators of `db`: ID, Name, DeptID (text each), by ID. No rowset
  // means failure, with its reason in `err`.
  virtual std::optional<base::Rowset> GetOperatorList(const std::string& db, std::string& err) = 0;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_OPERATOR_SERVICE_H_
