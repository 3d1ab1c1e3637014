// The order service over the company database: production orders in
// MF_Order, their lines in MF_OrdDetail, their bills of materials in
// MF_OrdBom.
#ifndef PLEXAVO_SERVICES_SQL_ORDER_SERVICE_H_
#define PLEXAVO_SERVICES_SQL_ORDER_SERVICE_H_

#include "services/order_service.h"

namespace services {

class SqlOrderService : public OrderService {
 public:
  using OrderService::OrderService;
  bool CheckOrderLine(const std::string& ord_bill, const std::string& ord_sort_id,
                      std::string& dept, const std::string& db, std::string& err) override;
  std::optional<base::Rowset> OrderBom(const std::string& bill, const std::string& sort_id,
                                       std::string& art_code, std::string& art_name,
                                       base::Currency& qty, const std::string& db,
                                       std::string& err) override;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_SQL_ORDER_SERVICE_H_
