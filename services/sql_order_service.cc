#include "services/sql_order_service.h"

#include "data/connection.h"
#include "services/lookup_support.h"

namespace services {
namespace {

using base::FieldType;

// The refusal for an order (an empty line) or order line that does not exist.
std::string MissingOrderText(const std::string& ord_bill, const std::string& ord_sort_id) {
  return ord_sort_id.empty()
             ? "生产单 " + ord_bill + " 不存在！(Production order " + ord_bill + " does not exist.)"
             : "生产单 " + ord_bill + " 没有序号为 " + ord_sort_id + " 的明细！(Production order " +
                   ord_bill + " has no line " + ord_sort_id + ".)";
}

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
    refusal = MissingOrderText(ord_bill, ord_sort_id);
    return std::string();
  }
  return rs.Row(0)[0].TextOrEmpty();
}

struct Product {
  std::string art_code;
  std::string art_name;
  base::Currency qty;
};

// The product of an order line, or of the order as a whole (none); false in
// `found` when the order or line does not exist.
base::Result<Product> ProductOf(data::Connection& cnn, const std::string& ord_bill,
                                const std::string& ord_sort_id, bool& found) {
  if (ord_sort_id.empty()) {
    PLX_ASSIGN_OR_RETURN(
        base::Rowset rs,
        cnn.Query(
            data::Sql("SELECT BillID FROM MF_Order WHERE BillID = :bill").Bind("bill", ord_bill),
            {{"BillID", FieldType::kText}}));
    found = rs.RecordCount() > 0;
    return Product{};
  }
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("SELECT FD_Article.ArtCode, FD_Article.Name, MF_OrdDetail.Qty "
                          "FROM MF_OrdDetail "
                          "LEFT JOIN FD_Article ON FD_Article.ID = MF_OrdDetail.ArtID "
                          "WHERE MF_OrdDetail.BillID = :bill AND MF_OrdDetail.SortID = :line")
                    .Bind("bill", ord_bill)
                    .Bind("line", ord_sort_id),
                {{"ArtCode", FieldType::kText},
                 {"Name", FieldType::kText},
                 {"Qty", FieldType::kCurrency}}));
  found = rs.RecordCount() > 0;
  if (!found) return Product{};
  const auto& row = rs.Row(0);
  return Product{row[0].TextOrEmpty(), row[1].TextOrEmpty(),
                 row[2].IsNull() ? base::Currency() : *row[2].AsCurrency()};
}

}  // namespace

bool SqlOrderService::CheckOrderLine(const std::string& ord_bill, const std::string& ord_sort_id,
                                     std::string& dept, const std::string& db, std::string& err) {
  data::Connection cnn;
  std::string refusal;
  base::Status opened =
      OpenCompanyDb(GetObjectContext(), "Plexavo.OrderService.CheckOrderLine", db, cnn);
  auto found = opened.ok() ? DepartmentOf(cnn, ord_bill, ord_sort_id, refusal)
                           : base::Result<std::string>(opened.err());
  if (!found.ok() || !refusal.empty()) {
    err = found.ok() ? refusal : found.err().description;
    return GetObjectContext().VoteFor(false);
  }
  dept = *found;
  return GetObjectContext().VoteFor(true);
}

std::optional<base::Rowset> SqlOrderService::OrderBom(const std::string& bill,
                                                      const std::string& sort_id,
                                                      std::string& art_code, std::string& art_name,
                                                      base::Currency& qty, const std::string& db,
                                                      std::string& err) {
  bool found = false;
  Product product;
  auto bom = [&]() -> base::Result<base::Rowset> {
    data::Connection cnn;
    PLX_RETURN_IF_ERROR(
        OpenCompanyDb(GetObjectContext(), "Plexavo.OrderService.OrderBom", db, cnn));
    PLX_ASSIGN_OR_RETURN(product, ProductOf(cnn, bill, sort_id, found));
    if (!found) return base::Rowset();
    return cnn.Query(
        data::Sql("SELECT MF_OrdBom.ID, MF_OrdBom.ArtID, FD_Article.ArtCode, FD_Article.Name, "
                  "FD_Article.MeasID, MF_OrdBom.SerialNo, MF_OrdBom.Qty, MF_OrdBom.OutQty "
                  "FROM MF_OrdBom LEFT JOIN FD_Article ON FD_Article.ID = MF_OrdBom.ArtID "
                  "WHERE MF_OrdBom.BillID = :bill AND MF_OrdBom.SortID = :line "
                  "ORDER BY MF_OrdBom.ID")
            .Bind("bill", bill)
            .Bind("line", sort_id),
        {{"ID", FieldType::kInt},
         {"ArtID", FieldType::kInt},
         {"ArtCode", FieldType::kText},
         {"ArtName", FieldType::kText},
         {"MeasID", FieldType::kText},
         {"SerialNo", FieldType::kText},
         {"Qty", FieldType::kCurrency},
         {"OutQty", FieldType::kCurrency}});
  }();
  if (!bom.ok() || !found) {
    err = bom.ok() ? MissingOrderText(bill, sort_id) : bom.err().description;
    GetObjectContext().SetAbort();
    return std::nullopt;
  }
  art_code = product.art_code;
  art_name = product.art_name;
  qty = product.qty;
  GetObjectContext().SetComplete();
  return std::move(bom).value();
}

}  // namespace services
