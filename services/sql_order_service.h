// The order service over the company database: production orders in
// MF_Order, their lines in MF_OrdDetail.
#ifndef PLEXAVO_SERVICES_SQL_ORDER_SERVICE_H_
#define PLEXAVO_SERVICES_SQL_ORDER_SERVICE_H_

#include "services/order_service.h"

namespace services {

class SqlOrderService : public OrderService {
 public:
  using OrderService::OrderService;
  bool CheckOrderLine(const std::string& ord_bill, const std::string& ord_sort_id,
                      std::string& dept, const std::string& db, std::string& err) override;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_SQL_ORDER_SERVICE_H_
