// Contract of the ERP's depot service, as the bill-entry screen uses it:
// whether the calling user may move stock in or out of a shelf's depot, and
// a shelf's name. Every operation writes its failure reason into the in/out
// error text; success leaves it untouched.
#ifndef PLEXAVO_SERVICES_DEPOT_SERVICE_H_
#define PLEXAVO_SERVICES_DEPOT_SERVICE_H_

#include <cstdint>
#include <string>

#include "host/object_context.h"

namespace services {

inline constexpr const char* kDepotServiceProgId = "Plexavo.DepotService";

// Directions of a stock movement, as rights are granted per depot.
inline constexpr int32_t kDirectionStockIn = 1;
inline constexpr int32_t kDirectionStockOut = 2;

class DepotService : public host::Component {
 public:
  using host::Component::Component;

  // True when the question could be answered; `allowed` then tells whether
  // the calling user holds the right for `direction` in the depot of shelf
  // `shelf_id` (a shelf in no depot grants nothing). An unknown shelf
  // answers false with a reason in `err`, `allowed` untouched.
  virtual bool CheckRight(const std::string& shelf_id, int32_t direction, bool& allowed,
                          const std::string& db, std::string& err) = 0;

  // The name of shelf `shelf_id` ("" when it has none); an unknown shelf
  // answers "" with a reason in `err`.
  virtual std::string GetShelfName(const std::string& shelf_id, const std::string& db,
                                   std::string& err) = 0;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_DEPOT_SERVICE_H_
