// The reader's whole result sets: the bill list of the browse window (one
// row per bill) and the print data (one row per bill line, the header
// repeated on every line).
#include <array>
#include <string>
#include <utility>

#include "data/columns.h"
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

using data::Column;

// The look-up names come through outer joins: a bill without operation
// category, project or cost item, or with a code that has no row, is still
// listed, with a NULL name.
constexpr std::array kBillList = {
    Column{"MF_OutBill.BillID", "BillID", FieldType::kText},
    Column{"MF_OutBill.Date", "Date", FieldType::kDate},
    Column{"MF_OutBill.ExeDate", "ExeDate", FieldType::kDate},
    Column{"MF_OutBill.OrdBill", "OrdBill", FieldType::kText},
    Column{"MF_OutBill.OrdSortID", "OrdSortID", FieldType::kText},
    Column{"MF_OutBill.OpCateID", "OpCateID", FieldType::kText},
    Column{"FD_OpCate.Name", "OpCateName", FieldType::kText},
    Column{"MF_OutBill.ProjID", "ProjID", FieldType::kText},
    Column{"FD_Project.Name", "ProjName", FieldType::kText},
    Column{"MF_OutBill.ItemID", "ItemID", FieldType::kText},
    Column{"FD_Item.Name", "ItemName", FieldType::kText},
    Column{"MF_OutBill.Notes", "Notes", FieldType::kText},
    Column{"MF_OutBill.Operator", "Operator", FieldType::kText},
    Column{"MF_OutBill.Maker", "Maker", FieldType::kText},
    Column{"MF_OutBill.Execer", "Execer", FieldType::kText},
};

std::string BillListSql() {
  return "SELECT " + data::SelectList(kBillList) +
         " FROM MF_OutBill LEFT OUTER JOIN FD_Item ON MF_OutBill.ItemID = FD_Item.ID "
         "LEFT OUTER JOIN FD_Project ON MF_OutBill.ProjID = FD_Project.ID "
         "LEFT OUTER JOIN FD_OpCate ON MF_OutBill.OpCateID = FD_OpCate.ID";
}

// Lines without article or shelf are left out (inner joins); a line whose
// shelf holds no balance row for its article and serial number shows 0.
constexpr std::array kPrint = {
    Column{"MF_OutBill.BillID", "BillID", FieldType::kText},
    Column{"MF_OutBill.Date", "Date", FieldType::kDate},
    Column{"MF_OutBill.ExeDate", "ExeDate", FieldType::kDate},
    Column{"MF_OutBill.OrdBill", "OrdBill", FieldType::kText},
    Column{"MF_OutBill.OrdSortID", "OrdSortID", FieldType::kText},
    Column{"MF_OutBill.OpCateID", "OpCateID", FieldType::kText},
    Column{"MF_OutBill.ProjID", "ProjID", FieldType::kText},
    Column{"MF_OutBill.DeptID", "DeptID", FieldType::kText},
    Column{"MF_OutBill.ItemID", "ItemID", FieldType::kText},
    Column{"MF_OutBill.Notes", "Notes", FieldType::kText},
    Column{"MF_OutBill.Operator", "Operator", FieldType::kText},
    Column{"MF_OutBill.Maker", "MakerName", FieldType::kText},
    Column{"MF_OutBill.Execer", "ExecerName", FieldType::kText},
    Column{"MF_OutDetail.SortID", "SortID", FieldType::kText},
    Column{"MF_OutDetail.ArtID", "ArtID", FieldType::kInt},
    Column{"FD_Article.ArtCode", "ArtCode", FieldType::kText},
    Column{"FD_Article.Name", "ArtName", FieldType::kText},
    Column{"MF_OutDetail.MeasID", "MeasID", FieldType::kText},
    Column{"MF_OutDetail.ShelfID", "ShelfID", FieldType::kText},
    Column{"ST_Shelf.Name", "ShelfName", FieldType::kText},
    Column{"MF_OutDetail.SerialNo", "SerialNo", FieldType::kText},
    Column{"MF_OutDetail.ValidDate", "ValidDate", FieldType::kDate},
    Column{"MF_OutDetail.Qty", "Qty", FieldType::kCurrency},
    Column{"MF_OutDetail.Price", "Price", FieldType::kCurrency},
    Column{"MF_OutDetail.Amt", "Amt", FieldType::kCurrency},
    Column{"MF_OutDetail.Memo", "Memo", FieldType::kText},
    Column{"COALESCE(ST_ShelfBal.Qty, 0)", "ShelfBal", FieldType::kCurrency},
    Column{"MF_OutDetail.OrdBomID", "OrdBomID", FieldType::kInt},
};

std::string PrintSql() {
  return "SELECT " + data::SelectList(kPrint) +
         " FROM MF_OutBill INNER JOIN MF_OutDetail ON MF_OutBill.BillID = MF_OutDetail.BillID "
         "INNER JOIN FD_Article ON MF_OutDetail.ArtID = FD_Article.ID "
         "INNER JOIN ST_Shelf ON MF_OutDetail.ShelfID = ST_Shelf.ID "
         "LEFT OUTER JOIN ST_ShelfBal ON MF_OutDetail.ShelfID = ST_ShelfBal.ShelfID "
         "AND MF_OutDetail.ArtID = ST_ShelfBal.ArtID AND MF_OutDetail.SerialNo = "
         "ST_ShelfBal.SerialNo";
}

// The list's selection. A bill number alone selects; otherwise the bill
// dates (either order, both ends included, days only), then maker, state
// and workshop (through the bill's production order), each when given.
data::Sql BillListStatement(const std::string& bill_id, const base::DateTime& begin,
                            const base::DateTime& end, const std::string& shop, int32_t state,
                            const std::string& maker) {
  std::string text = BillListSql();
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
  std::string text = PrintSql();
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
                                     data::FieldsOf(kBillList)));
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
                                     data::FieldsOf(kPrint)));
        return Outcome::Ok();
      });
}

}  // namespace reader
