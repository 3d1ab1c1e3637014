// The reader's whole result sets: the bill list of the browse window (one
// row per bill) and the print data (one row per bill line, the header
// repeated on every line).
#include <string>
#include <utility>

#include "frame/op_frame.h"
#include "messages/catalogue.h"
#include "reader/mf_outbill.h"

namespace reader {

using base::FieldType;
using frame::Call;
using frame::Outcome;

namespace {

using MaybeRowset = std::optional<base::Rowset>;

// Bill states the list can be restricted to; any other value lists both.
constexpr int32_t kStateNotExecuted = 1;
constexpr int32_t kStateExecuted = 2;

// The look-up names come through outer joins: a bill without operation
// category, project or cost item, or with a code that has no row, is still
// listed, with a NULL name.
constexpr const char* kBillListSql =
    "SELECT MF_OutBill.BillID, MF_OutBill.Date, MF_OutBill.ExeDate, MF_OutBill.OrdBill, "
    "MF_OutBill.OrdSortID, MF_OutBill.OpCateID, FD_OpCate.Name AS OpCateName, "
    "MF_OutBill.ProjID, FD_Project.Name AS ProjName, MF_OutBill.ItemID, "
    "FD_Item.Name AS ItemName, MF_OutBill.Notes, MF_OutBill.Operator, MF_OutBill.Maker, "
    "MF_OutBill.Execer "
    "FROM MF_OutBill LEFT OUTER JOIN FD_Item ON MF_OutBill.ItemID = FD_Item.ID "
    "LEFT OUTER JOIN FD_Project ON MF_OutBill.ProjID = FD_Project.ID "
    "LEFT OUTER JOIN FD_OpCate ON MF_OutBill.OpCateID = FD_OpCate.ID";

const std::vector<base::Field>& BillListFields() {
  static const std::vector<base::Field> fields = {
      {"BillID", FieldType::kText},     {"Date", FieldType::kDate},
      {"ExeDate", FieldType::kDate},    {"OrdBill", FieldType::kText},
      {"OrdSortID", FieldType::kText},  {"OpCateID", FieldType::kText},
      {"OpCateName", FieldType::kText}, {"ProjID", FieldType::kText},
      {"ProjName", FieldType::kText},   {"ItemID", FieldType::kText},
      {"ItemName", FieldType::kText},   {"Notes", FieldType::kText},
      {"Operator", FieldType::kText},   {"Maker", FieldType::kText},
      {"Execer", FieldType::kText},
  };
  return fields;
}

// Lines without article or shelf are left out (inner joins); a line whose
// shelf holds no balance row for its article and serial number shows 0.
constexpr const char* kPrintSql =
    "SELECT MF_OutBill.BillID, MF_OutBill.Date, MF_OutBill.ExeDate, MF_OutBill.OrdBill, "
    "MF_OutBill.OrdSortID, MF_OutBill.OpCateID, MF_OutBill.ProjID, MF_OutBill.DeptID, "
    "MF_OutBill.ItemID, MF_OutBill.Notes, MF_OutBill.Operator, MF_OutBill.Maker AS MakerName, "
    "MF_OutBill.Execer AS ExecerName, MF_OutDetail.SortID, MF_OutDetail.ArtID, "
    "FD_Article.ArtCode, FD_Article.Name AS ArtName, MF_OutDetail.MeasID, MF_OutDetail.ShelfID, "
    "ST_Shelf.Name AS ShelfName, MF_OutDetail.SerialNo, MF_OutDetail.ValidDate, "
    "MF_OutDetail.Qty, MF_OutDetail.Price, MF_OutDetail.Amt, MF_OutDetail.Memo, "
    "COALESCE(ST_ShelfBal.Qty, 0) AS ShelfBal, MF_OutDetail.OrdBomID "
    "FROM MF_OutBill INNER JOIN MF_OutDetail ON MF_OutBill.BillID = MF_OutDetail.BillID "
    "INNER JOIN FD_Article ON MF_OutDetail.ArtID = FD_Article.ID "
    "INNER JOIN ST_Shelf ON MF_OutDetail.ShelfID = ST_Shelf.ID "
    "LEFT OUTER JOIN ST_ShelfBal ON MF_OutDetail.ShelfID = ST_ShelfBal.ShelfID "
    "AND MF_OutDetail.ArtID = ST_ShelfBal.ArtID AND MF_OutDetail.SerialNo = ST_ShelfBal.SerialNo";

const std::vector<base::Field>& PrintFields() {
  static const std::vector<base::Field> fields = {
      {"BillID", FieldType::kText},       {"Date", FieldType::kDate},
      {"ExeDate", FieldType::kDate},      {"OrdBill", FieldType::kText},
      {"OrdSortID", FieldType::kText},    {"OpCateID", FieldType::kText},
      {"ProjID", FieldType::kText},       {"DeptID", FieldType::kText},
      {"ItemID", FieldType::kText},       {"Notes", FieldType::kText},
      {"Operator", FieldType::kText},     {"MakerName", FieldType::kText},
      {"ExecerName", FieldType::kText},   {"SortID", FieldType::kText},
      {"ArtID", FieldType::kInt},         {"ArtCode", FieldType::kText},
      {"ArtName", FieldType::kText},      {"MeasID", FieldType::kText},
      {"ShelfID", FieldType::kText},      {"ShelfName", FieldType::kText},
      {"SerialNo", FieldType::kText},     {"ValidDate", FieldType::kDate},
      {"Qty", FieldType::kCurrency},      {"Price", FieldType::kCurrency},
      {"Amt", FieldType::kCurrency},      {"Memo", FieldType::kText},
      {"ShelfBal", FieldType::kCurrency}, {"OrdBomID", FieldType::kInt},
  };
  return fields;
}

// The list's selection. A bill number alone selects; otherwise the bill
// dates (either order, both ends included, days only), then maker, state
// and workshop (through the bill's production order), each when given.
data::Sql BillListStatement(const std::string& bill_id, const base::DateTime& begin,
                            const base::DateTime& end, const std::string& shop, int32_t state,
                            const std::string& maker) {
  std::string text = kBillListSql;
  data::Sql sql("");
  if (!bill_id.empty()) {
    text += " WHERE MF_OutBill.BillID = :bill";
    sql.Bind("bill", bill_id);
  } else {
    base::DateTime from = begin.DateOnly();
    base::DateTime to = end.DateOnly();
    if (begin > end) std::swap(from, to);
    text += " WHERE MF_OutBill.Date >= :beg AND MF_OutBill.Date <= :end";
    sql.Bind("beg", from).Bind("end", to);
    if (!maker.empty()) {
      text += " AND MF_OutBill.Maker = :maker";
      sql.Bind("maker", maker);
    }
    if (state == kStateNotExecuted) {
      text += " AND MF_OutBill.Execer IS NULL";
    } else if (state == kStateExecuted) {
      text += " AND MF_OutBill.Execer IS NOT NULL";
    }
    if (!shop.empty()) {
      text += " AND MF_OutBill.OrdBill IN (SELECT BillID FROM MF_Order WHERE ShopID = :shop)";
      sql.Bind("shop", shop);
    }
  }
  sql.text = text + " ORDER BY MF_OutBill.BillID";
  return sql;
}

// The print selection. A bill number alone selects; otherwise the bill
// dates (flag 0) or the execution dates (any other flag), both ends
// included, no swapping, then the bill number bounds, each when given.
data::Sql PrintStatement(const std::string& bill_id, const std::string& beg_id,
                         const std::string& end_id, int32_t flag, const base::DateTime& beg,
                         const base::DateTime& end) {
  std::string text = kPrintSql;
  data::Sql sql("");
  if (!bill_id.empty()) {
    text += " WHERE MF_OutBill.BillID = :bill";
    sql.Bind("bill", bill_id);
  } else {
    text += flag == 0 ? " WHERE MF_OutBill.Date >= :beg AND MF_OutBill.Date <= :end"
                      : " WHERE MF_OutBill.ExeDate >= :beg AND MF_OutBill.ExeDate <= :end";
    sql.Bind("beg", beg.DateOnly()).Bind("end", end.DateOnly());
    if (!beg_id.empty()) {
      text += " AND MF_OutBill.BillID >= :first";
      sql.Bind("first", beg_id);
    }
    if (!end_id.empty()) {
      text += " AND MF_OutBill.BillID <= :last";
      sql.Bind("last", end_id);
    }
  }
  sql.text = text + " ORDER BY MF_OutBill.BillID, MF_OutDetail.SortID";
  return sql;
}

}  // namespace

std::optional<base::Rowset> MF_OutBill::BillList(const std::string& vstrBillID,
                                                 const base::DateTime& vdtmBegin,
                                                 const base::DateTime& vdtmEnd,
                                                 const std::string& vstrShopID, int32_t vlngState,
                                                 const std::string& vstrMaker,
                                                 const std::string& vstrDB, std::string& vstrErr) {
  return frame::RunReader<MaybeRowset>(
      GetObjectContext(), "Plexavo.BillList", vstrDB, vstrErr, std::nullopt,
      Gate(&MF_OutBill::ReadRight, messages::kMsgNoReadRight),
      [&](Call& call, MaybeRowset& result) -> Outcome {
        PLX_ASSIGN_OR_RETURN(
            result, call.QueryResult(BillListStatement(vstrBillID, vdtmBegin, vdtmEnd, vstrShopID,
                                                       vlngState, vstrMaker),
                                     BillListFields()));
        return Outcome::Ok();
      });
}

std::optional<base::Rowset> MF_OutBill::PrintRst(const std::string& vstrBillID,
                                                 const std::string& vstrBegID,
                                                 const std::string& vstrEndID, int32_t vlngFlag,
                                                 const base::DateTime& vdtmBeg,
                                                 const base::DateTime& vdtmEnd,
                                                 const std::string& vstrDB, std::string& vstrErr) {
  return frame::RunReader<MaybeRowset>(
      GetObjectContext(), "Plexavo.PrintRst", vstrDB, vstrErr, std::nullopt,
      Gate(&MF_OutBill::ReadRight, messages::kMsgNoReadRight),
      [&](Call& call, MaybeRowset& result) -> Outcome {
        PLX_ASSIGN_OR_RETURN(
            result, call.QueryResult(PrintStatement(vstrBillID, vstrBegID, vstrEndID, vlngFlag,
                                                    vdtmBeg, vdtmEnd),
                                     PrintFields()));
        return Outcome::Ok();
      });
}

}  // namespace reader
