#include "services/registration.h"

#include "services/sql_config_service.h"
#include "services/sql_order_service.h"
#include "services/sql_stock_posting_service.h"
#include "services/sql_user_service.h"

namespace services {
namespace {

template <typename T>
host::Factory FactoryOf() {
  return [](host::ObjectContext& ctx) { return std::make_unique<T>(ctx); };
}

}  // namespace

void RegisterServices(host::ClassTable& classes) {
  classes.Register(
      {kUserServiceProgId, host::TransactionAttribute::kSupports, FactoryOf<SqlUserService>()});
  classes.Register(
      {kConfigServiceProgId, host::TransactionAttribute::kSupports, FactoryOf<SqlConfigService>()});
  classes.Register(
      {kOrderServiceProgId, host::TransactionAttribute::kSupports, FactoryOf<SqlOrderService>()});
  classes.Register({kStockPostingServiceProgId, host::TransactionAttribute::kSupports,
                    FactoryOf<SqlStockPostingService>()});
}

}  // namespace services
