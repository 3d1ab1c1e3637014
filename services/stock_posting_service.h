// Contract of the ERP's stock posting service: it takes the goods of a
// document out of stock and puts them back, inside the caller's
// transaction. It reads the document's lines itself.
#ifndef PLEXAVO_SERVICES_STOCK_POSTING_SERVICE_H_
#define PLEXAVO_SERVICES_STOCK_POSTING_SERVICE_H_

#include <string>

#include "base/datetime.h"
#include "host/object_context.h"

namespace services {

inline constexpr const char* kStockPostingServiceProgId = "Plexavo.StockPostingService";

class StockPostingService : public host::Component {
 public:
  using host::Component::Component;

  // Takes each line's stock quantity out of its shelf balance. False with a
  // text naming the line, and nothing changed, when a balance is missing or
  // would fall below zero.
  virtual bool ExecStockBill(const std::string& module, const std::string& bill_id,
                             const base::DateTime& date, const std::string& db,
                             std::string& err) = 0;
  // Puts the quantities that ExecStockBill took back; `date` is the date the
  // bill was executed on.
  virtual bool UnExecStockBill(const std::string& module, const std::string& bill_id,
                               const base::DateTime& date, const std::string& db,
                               std::string& err) = 0;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_STOCK_POSTING_SERVICE_H_
