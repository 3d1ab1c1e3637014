// The depot service over the company database: shelves in ST_Shelf, each in
// the depot ST_Shelf.DepotID; the rights of each login per depot and
// direction in ST_DepotRight. The caller is the login the host was given.
#ifndef PLEXAVO_SERVICES_SQL_DEPOT_SERVICE_H_
#define PLEXAVO_SERVICES_SQL_DEPOT_SERVICE_H_

#include "services/depot_service.h"

namespace services {

class SqlDepotService : public DepotService {
 public:
  using DepotService::DepotService;

  bool CheckRight(const std::string& shelf_id, int32_t direction, bool& allowed,
                  const std::string& db, std::string& err) override;
  std::string GetShelfName(const std::string& shelf_id, const std::string& db,
                           std::string& err) override;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_SQL_DEPOT_SERVICE_H_
