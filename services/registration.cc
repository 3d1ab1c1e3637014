#include "services/registration.h"

#include "services/sql_article_service.h"
#include "services/sql_config_service.h"
#include "services/sql_depot_service.h"
#include "services/sql_master_services.h"
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
  // The look-up services of the bill-entry screen.
  classes.Register({kArticleServiceProgId, host::TransactionAttribute::kSupports,
                    FactoryOf<SqlArticleService>()});
  classes.Register({kOperatorServiceProgId, host::TransactionAttribute::kSupports,
                    FactoryOf<SqlOperatorService>()});
  classes.Register(
      {kDepotServiceProgId, host::TransactionAttribute::kSupports, FactoryOf<SqlDepotService>()});
  classes.Register(
      {kItemServiceProgId, host::TransactionAttribute::kSupports, FactoryOf<SqlItemService>()});
  classes.Register({kProjectServiceProgId, host::TransactionAttribute::kSupports,
                    FactoryOf<SqlProjectService>()});
  classes.Register(
      {kShopServiceProgId, host::TransactionAttribute::kSupports, FactoryOf<SqlShopService>()});
}

}  // namespace services
