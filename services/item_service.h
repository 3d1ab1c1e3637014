// Contract of the ERP's cost item service.
#ifndef PLEXAVO_SERVICES_ITEM_SERVICE_H_
#define PLEXAVO_SERVICES_ITEM_SERVICE_H_

#include <string>

#include "host/object_context.h"

namespace services {

inline constexpr const char* kItemServiceProgId = "Plexavo.ItemService";

class ItemService : public host::Component {
 public:
  using host::Component::Component;

  // The name of cost item `id` ("" when it has none). An unknown id answers
  // "" with a reason in `err`, so that a mistyped code is reported.
  virtual std::string GetItemName(const std::string& id, const std::string& db,
                                  std::string& err) = 0;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_ITEM_SERVICE_H_
