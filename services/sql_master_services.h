// The master-data services over the company database: operators in
// FD_Operator, workshops in FD_Shop, cost items in FD_Item and projects in
// FD_Project.
#ifndef PLEXAVO_SERVICES_SQL_MASTER_SERVICES_H_
#define PLEXAVO_SERVICES_SQL_MASTER_SERVICES_H_

#include "services/item_service.h"
#include "services/operator_service.h"
#include "services/project_service.h"
#include "services/shop_service.h"

namespace services {

class SqlOperatorService : public OperatorService {
 public:
  using OperatorService::OperatorService;
  std::optional<base::Rowset> GetOperatorList(const std::string& db, std::string& err) override;
};

class SqlShopService : public ShopService {
 public:
  using ShopService::ShopService;
  std::optional<base::Rowset> GetShopList(const std::string& db, std::string& err) override;
};

class SqlItemService : public ItemService {
 public:
  using ItemService::ItemService;
  std::string GetItemName(const std::string& id, const std::string& db, std::string& err) override;
};

class SqlProjectService : public ProjectService {
 public:
  using ProjectService::ProjectService;
  std::string GetProjectName(const std::string& id, const std::string& db,
                             std::string& err) override;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_SQL_MASTER_SERVICES_H_
