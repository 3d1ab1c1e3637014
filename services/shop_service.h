// Contract of the ERP's workshop service.
#ifndef PLEXAVO_SERVICES_SHOP_SERVICE_H_
#define PLEXAVO_SERVICES_SHOP_SERVICE_H_

#include <optional>
#include <string>

#include "base/rowset.h"
#include "host/object_context.h"

namespace services {

inline constexpr const char* kShopServiceProgId = "Plexavo.ShopService";

class ShopService : public host::Component {
 public:
  using host::Component::Component;

  // The workshops of `db`: ID, Name (text each), by ID. No rowset means
  // failure, with its reason in `err`.
  virtual std::optional<base::Rowset> GetShopList(const std::string& db, std::string& err) = 0;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_SHOP_SERVICE_H_
