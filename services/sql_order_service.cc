#include "services/sql_order_service.h"

#include "data/connection.h"
#include "services/company_db.h"

namespace services {
namespace {

// The department of the order line (or of the order for an empty line);
// a refusal text when there is no such order or line.
base::Result<std::string> DepartmentOf(data::Connection& cnn, const std::string& ord_bill,
                                       const std::string& ord_sort_id, std::string& refusal) {
  data::Sql sql = ord_sort_id.empty()
                      ? data::Sql("SELECT DeptID FROM MF_Order WHERE BillID = :bill")
                      : data::Sql(
                            "SELECT MF_OrdDetail.DeptID FROM MF_OrdDetail "
                            "INNER JOIN MF_Order ON MF_Order.BillID = MF_OrdDetail.BillID "
                            "WHERE MF_OrdDetail.BillID = :bill AND MF_OrdDetail.SortID = :line");
  sql.Bind("bill", ord_bill);
  if (!ord_sort_id.empty()) sql.Bind("line", ord_sort_id);
  PLX_ASSIGN_OR_RETURN(base::Rowset rs, cnn.Query(sql, {{"DeptID", base::FieldType::kText}}));
  if (rs.RecordCount() == 0) {
    refusal =
        ord_sort_id.empty()
            ? "生产单 " + ord_bill + " 不存在！(Production order " + ord_bill + " does not exist.)"
            : "生产单 " + ord_bill + " 没有序号为 " + ord_sort_id + " 的明细！(Production order " +
                  ord_bill + " has no line " + ord_sort_id + ".)";
    return std::string();
  }
  return rs.Row(0)[0].TextOrEmpty();
}

}  // namespace

bool SqlOrderService::CheckOrderLine(const std::string& ord_bill, const std::string& ord_sort_id,
                                     std::string& dept, const std::string& db, std::string& err) {
  data::Connection cnn;
  std::string refusal;
  base::Status opened = OpenCompanyDb(GetObjectContext(), db, cnn);
  auto found = opened.ok() ? DepartmentOf(cnn, ord_bill, ord_sort_id, refusal)
                           : base::Result<std::string>(opened.err());
  if (!found.ok() || !refusal.empty()) {
    err = found.ok() ? refusal : found.err().description;
    GetObjectContext().SetAbort();
    return false;
  }
  dept = *found;
  GetObjectContext().SetComplete();
  return true;
}

}  // namespace services
