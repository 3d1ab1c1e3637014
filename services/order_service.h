// Contract of the ERP's production order service, as the issue bill uses it.
#ifndef PLEXAVO_SERVICES_ORDER_SERVICE_H_
#define PLEXAVO_SERVICES_ORDER_SERVICE_H_

#include <string>

#include "host/object_context.h"

namespace services {

inline constexpr const char* kOrderServiceProgId = "Plexavo.OrderService";

class OrderService : public host::Component {
 public:
  using host::Component::Component;

  // True when material may be drawn against the order (an empty line: the
  // order as a whole) or the named order line; `dept` is then the
  // department of the line (of the order for an empty line), empty when it
  // has none. False with a reason in `err` otherwise.
  virtual bool CheckOrderLine(const std::string& ord_bill, const std::string& ord_sort_id,
                              std::string& dept, const std::string& db, std::string& err) = 0;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_ORDER_SERVICE_H_
