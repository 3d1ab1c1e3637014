#include "writer/order_scope.h"

#include "data/value_rows.h"

namespace writer {
namespace {

// An update of the scope's order lines: `set` and, after the scope, `also`.
data::Sql ScopeUpdate(const OrderScope& scope, const std::string& set, const std::string& also) {
  data::Sql sql("Update MF_OrdDetail Set " + set + " Where BillID = :ord" +
                (scope.ord_sort_id.empty() ? "" : " And SortID = :line") + also);
  sql.Bind("ord", scope.ord_bill);
  if (!scope.ord_sort_id.empty()) sql.Bind("line", scope.ord_sort_id);
  return sql;
}

}  // namespace

base::Result<int64_t> MarkStarted(data::Connection& cnn, const OrderScope& scope,
                                  const base::DateTime& exe_date) {
  return cnn.Execute(ScopeUpdate(scope, "BegFlag = 1, FbegDate = :exe", " And BegFlag = 0")
                         .Bind("exe", exe_date.DateOnly()));
}

base::Result<int64_t> ClearStarted(data::Connection& cnn, const OrderScope& scope) {
  return cnn.Execute(ScopeUpdate(scope, "BegFlag = 0, FbegDate = Null", ""));
}

base::Result<std::vector<BomRow>> ReadBomRows(data::Connection& cnn, const OrderScope& scope) {
  PLX_ASSIGN_OR_RETURN(base::Rowset rs,
                       cnn.Query(data::Sql("Select ID, ArtID, SerialNo From MF_OrdBom "
                                           "Where BillID = :ord And SortID = :line Order By ID")
                                     .Bind("ord", scope.ord_bill)
                                     .Bind("line", scope.ord_sort_id),
                                 {{"ID", base::FieldType::kInt},
                                  {"ArtID", base::FieldType::kInt},
                                  {"SerialNo", base::FieldType::kText}}));
  std::vector<BomRow> rows;
  for (const auto& row : rs.rows()) {
    BomRow r;
    PLX_ASSIGN_OR_RETURN(r.id, row[0].AsInt());
    PLX_ASSIGN_OR_RETURN(r.art, row[1].AsInt());
    r.serial = row[2].TextOrEmpty();
    rows.push_back(std::move(r));
  }
  return rows;
}

std::vector<int32_t> BomCandidates(const std::vector<BomRow>& rows, int32_t art,
                                   const std::string* serial) {
  std::vector<int32_t> ids;
  for (const BomRow& r : rows) {
    if (r.art == art && (serial == nullptr || r.serial == *serial)) ids.push_back(r.id);
  }
  return ids;
}

base::Status AddIssued(data::Connection& cnn, const OrderScope& scope,
                       const std::vector<BomRow>& rows,
                       const std::map<int32_t, base::Currency>& by_id, host::Effects* effects) {
  for (const BomRow& r : rows) {
    auto found = by_id.find(r.id);
    if (effects != nullptr && found != by_id.end()) {
      effects->bom.push_back(
          {scope.ord_bill, scope.ord_sort_id, r.art, r.serial, r.id, found->second, false});
    }
  }
  std::vector<std::vector<base::Value>> values;
  for (const auto& [id, qty] : by_id) values.push_back({id, qty});
  PLX_RETURN_IF_ERROR(data::ExecuteRows(cnn,
                                        {"Update MF_OrdBom Set OutQty = OutQty + v.column2 From (",
                                         ") AS v Where MF_OrdBom.ID = v.column1",
                                         {base::FieldType::kInt, base::FieldType::kCurrency},
                                         true},
                                        values));
  return base::OkStatus();
}

}  // namespace writer
