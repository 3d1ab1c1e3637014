// Contract of the ERP's production order service, as the issue bill uses it.
#ifndef PLEXAVO_SERVICES_ORDER_SERVICE_H_
#define PLEXAVO_SERVICES_ORDER_SERVICE_H_

#include <optional>
#include <string>

#include "base/currency.h"
#include "base/rowset.h"
#include "host/object_context.h"

namespace services {

inline constexpr const char* kOrderServiceProgId = "Plexavo.OrderService";

class OrderService : public host::Component {
 public:
  using host::Component::Component;

  // True when material may be drawn against the order (an empty line: the
  // order as a whole) or the named order line; `dept` is then the
  // department of the line (of the order for an empty line), empty when it
  // has none. False with a reason in `err` otherwise.
  virtual bool CheckOrderLine(const std::string& ord_bill, const std::string& ord_sort_id,
                              std::string& dept, const std::string& db, std::string& err) = 0;

  // The bill of materials of order `bill`, line `sort_id` (an empty line:
  // the BOM rows of the order as a whole), by row id, with the columns
  //   ID (int)  ArtID (int)  ArtCode, ArtName, MeasID (text: the article's
  //   code, name and stock unit, NULL for an unknown article)  SerialNo
  //   (text)  Qty (currency, planned)  OutQty (currency, issued so far).
  // `art_code`, `art_name` and `qty` become the product of the order line:
  // its article's code and name and its planned quantity ("", "" and 0 for
  // the order as a whole, which names no product). An unknown order or line
  // answers no rowset with a reason in `err`, the three values untouched.
  virtual std::optional<base::Rowset> OrderBom(const std::string& bill, const std::string& sort_id,
                                               std::string& art_code, std::string& art_name,
                                               base::Currency& qty, const std::string& db,
                                               std::string& err) = 0;
};

}  // namespace services

#endif  // PLEXAVO_SERVICES_ORDER_SERVICE_H_
