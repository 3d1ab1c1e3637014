// The stock posting service over the company database: balances in
// ST_ShelfBal per shelf, article and serial number; every movement is
// recorded in ST_StockMove so that stock can be traced to its documents.
#ifndef PLEXAVO_SERVICES_SQL_STOCK_POSTING_SERVICE_H_
#define PLEXAVO_SERVICES_SQL_STOCK_POSTING_SERVICE_H_

#include "services/stock_posting_service.h"

namespace services {

class SqlStockPostingService : public StockPostingService {
 public:
  using StockPostingService::StockPostingService;
  bool ExecStockBill(const std::string& module, const std::string& bill_id,
                     const base::DateTime& date, const std::string& db, std::string& err) override;
  bool UnExecStockBill(const std::string& module, const std::string& bill_id,
                       const base::DateTime& date, const std::string& db,
                       std::string& err) override;

 private:
  bool Finish(const base::Status& status, const std::string& refusal, std::string& err);
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_SQL_STOCK_POSTING_SERVICE_H_
