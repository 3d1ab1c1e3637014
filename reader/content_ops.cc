// The reader's questions about one bill: its content (header and lines), the
// details of one executed line for a return, the executed lines of an order
// line still open for return, and whether the caller may still change or
// delete a bill.
#include <array>
#include <utility>

#include "data/columns.h"

#include "frame/op_frame.h"
#include "frame/text.h"
#include "messages/catalogue.h"
#include "reader/editable.h"
#include "reader/mf_outbill.h"
#include "reader/rights.h"

namespace reader {

using base::FieldType;
using frame::Call;
using frame::Outcome;

namespace {

using MaybeRowset = std::optional<base::Rowset>;

// A text the caller relies on: NULL is an unexpected failure.
Outcome ReadText(const base::Value& v, std::string& out) {
  PLX_ASSIGN_OR_RETURN(out, v.AsText());
  return Outcome::Ok();
}

Outcome ReadDate(const base::Value& v, base::DateTime& out) {
  PLX_ASSIGN_OR_RETURN(out, v.AsDate());
  return Outcome::Ok();
}

Outcome ReadCurrency(const base::Value& v, base::Currency& out) {
  PLX_ASSIGN_OR_RETURN(out, v.AsCurrency());
  return Outcome::Ok();
}

using data::Column;
using data::IndexOf;

// Header of GetContent. The look-up names come through outer joins: a bill
// without project or cost item, or with a code that has no row, still reads.
constexpr std::array kContentHeader = {
    Column{"MF_OutBill.Date", "Date", FieldType::kDate},
    Column{"MF_OutBill.ExeDate", "ExeDate", FieldType::kDate},
    Column{"MF_OutBill.OrdBill", "OrdBill", FieldType::kText},
    Column{"MF_OutBill.OrdSortID", "OrdSortID", FieldType::kText},
    Column{"MF_OutBill.OpCateID", "OpCateID", FieldType::kText},
    Column{"MF_OutBill.ProjID", "ProjID", FieldType::kText},
    Column{"FD_Project.Name", "ProjName", FieldType::kText},
    Column{"MF_OutBill.ItemID", "ItemID", FieldType::kText},
    Column{"FD_Item.Name", "ItemName", FieldType::kText},
    Column{"MF_OutBill.Notes", "Notes", FieldType::kText},
    Column{"MF_OutBill.Operator", "Operator", FieldType::kText},
    Column{"MF_OutBill.Maker", "Maker", FieldType::kText},
    Column{"MF_OutBill.Execer", "Execer", FieldType::kText},
};

const std::string& ContentHeaderSql() {
  static const std::string sql =
      "SELECT " + data::SelectList(kContentHeader) +
      " FROM MF_OutBill LEFT OUTER JOIN FD_Item ON MF_OutBill.ItemID = FD_Item.ID "
      "LEFT OUTER JOIN FD_Project ON MF_OutBill.ProjID = FD_Project.ID "
      "WHERE MF_OutBill.BillID = :bill";
  return sql;
}

// Lines of GetContent. Inner joins: a line whose article has no stock
// settings row, or whose article or shelf is missing, is left out.
constexpr std::array kContentLines = {
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
    Column{"FD_ArtStore.KeepDay", "KeepDay", FieldType::kInt},
    Column{"FD_Article.Serial", "Serial", FieldType::kInt},
    Column{"MF_OutDetail.UnQty", "UnQty", FieldType::kCurrency},
    Column{"MF_OutDetail.OrdBomID", "OrdBomID", FieldType::kInt},
};

const std::string& ContentLinesSql() {
  static const std::string sql =
      "SELECT " + data::SelectList(kContentLines) +
      " FROM FD_ArtStore INNER JOIN FD_Article ON FD_ArtStore.ID = FD_Article.ID "
      "INNER JOIN MF_OutDetail ON FD_Article.ID = MF_OutDetail.ArtID "
      "INNER JOIN ST_Shelf ON MF_OutDetail.ShelfID = ST_Shelf.ID "
      "WHERE MF_OutDetail.BillID = :bill "
      "ORDER BY MF_OutDetail.SortID";
  return sql;
}

constexpr std::array kDetail = {
    Column{"MF_OutBill.OrdBill", "OrdBill", FieldType::kText},
    Column{"MF_OutBill.OrdSortID", "OrdSortID", FieldType::kText},
    Column{"MF_OutDetail.ArtID", "ArtID", FieldType::kInt},
    Column{"MF_OutDetail.MeasID", "MeasID", FieldType::kText},
    Column{"MF_OutDetail.Qty - MF_OutDetail.UnQty", "CanUnQty", FieldType::kCurrency},
    Column{"MF_OutDetail.Price", "Price", FieldType::kCurrency},
    Column{"MF_OutDetail.UnQty", "UnQty", FieldType::kCurrency},
    Column{"FD_Article.ArtCode", "ArtCode", FieldType::kText},
    Column{"MF_OutBill.Execer", "Execer", FieldType::kText},
    Column{"MF_OutDetail.Memo", "Memo", FieldType::kText},
    Column{"MF_OutBill.ExeDate", "ExeDate", FieldType::kDate},
    Column{"MF_OutDetail.StQty", "StQty", FieldType::kCurrency},
};

const std::string& DetailSql() {
  static const std::string sql =
      "SELECT " + data::SelectList(kDetail) +
      " FROM MF_OutBill INNER JOIN MF_OutDetail ON MF_OutBill.BillID = MF_OutDetail.BillID "
      "INNER JOIN FD_Article ON MF_OutDetail.ArtID = FD_Article.ID "
      "WHERE MF_OutDetail.BillID = :bill AND MF_OutDetail.SortID = :line";
  return sql;
}

// The date bounds compare with the stored dates as the bare day: a value
// stored with a time of day after midnight lies after that day's bound.
constexpr std::array kOpenLines = {
    Column{"MF_OutBill.ExeDate", "ExeDate", FieldType::kDate},
    Column{"MF_OutDetail.BillID", "BillID", FieldType::kText},
    Column{"MF_OutDetail.SortID", "SortID", FieldType::kText},
    Column{"FD_Article.ArtCode", "ArtCode", FieldType::kText},
    Column{"FD_Article.Name", "ArtName", FieldType::kText},
    Column{"MF_OutDetail.MeasID", "MeasID", FieldType::kText},
    Column{"MF_OutDetail.Qty", "Qty", FieldType::kCurrency},
    Column{"MF_OutDetail.UnQty", "UnQty", FieldType::kCurrency},
    Column{"MF_OutDetail.SerialNo", "SerialNo", FieldType::kText},
    Column{"MF_OutDetail.ValidDate", "ValidDate", FieldType::kDate},
};

const std::string& OpenLinesSql() {
  static const std::string sql =
      "SELECT " + data::SelectList(kOpenLines) +
      " FROM FD_Article INNER JOIN MF_OutDetail ON FD_Article.ID = MF_OutDetail.ArtID "
      "INNER JOIN MF_OutBill ON MF_OutDetail.BillID = MF_OutBill.BillID "
      "WHERE MF_OutBill.ExeDate >= :beg AND MF_OutBill.ExeDate <= :end "
      "AND MF_OutBill.OrdBill = :ord AND MF_OutBill.OrdSortID = :line "
      "AND MF_OutDetail.UnQty < MF_OutDetail.Qty "
      "ORDER BY MF_OutDetail.BillID, MF_OutDetail.SortID";
  return sql;
}

// Whether the stored order and order line differ from the ones the caller
// names. The stored order line counts without its surrounding blanks. A
// NULL leaves its comparison undecided, so the line is refused only when
// the other comparison is a definite difference.
bool OrderDiffers(const base::Value& ord_bill, const base::Value& ord_sort_id,
                  const std::string& want_bill, const std::string& want_line) {
  const bool bill_differs = !ord_bill.IsNull() && ord_bill.TextOrEmpty() != want_bill;
  const bool line_differs =
      !ord_sort_id.IsNull() && frame::TrimSpaces(ord_sort_id.TextOrEmpty()) != want_line;
  return bill_differs || line_differs;
}

}  // namespace

frame::ReaderGate MF_OutBill::Gate(bool (MF_OutBill::*right)(const std::string&), int32_t refusal) {
  frame::ReaderGate gate;
  gate.language = [this](std::string& lang, const std::string& db, std::string& err) {
    return GetUserLang(lang, db, err);
  };
  gate.right = [this, right](const std::string& db) { return (this->*right)(db); };
  gate.refusal = refusal;
  return gate;
}

std::optional<base::Rowset> MF_OutBill::GetContent(
    const std::string& vstrBillID, base::DateTime& vdtmDate, base::DateTime& vdtmExeDate,
    std::string& vstrOrdBillID, std::string& vstrOrdSortID, std::string& vstrOpCateID,
    std::string& vstrProjID, std::string& vstrProjName, std::string& vstrItemID,
    std::string& vstrItemName, std::string& vstrMaker, std::string& vstrExecer,
    std::string& vstrOperator, std::string& vstrMemo, const std::string& vstrDB,
    std::string& vstrErr) {
  return frame::RunReader<MaybeRowset>(
      GetObjectContext(), "Plexavo.GetContent", vstrDB, vstrErr, std::nullopt,
      Gate(&MF_OutBill::ReadRight, messages::kMsgNoReadRight),
      [&](Call& call, MaybeRowset& result) -> Outcome {
        PLX_ASSIGN_OR_RETURN(
            base::Rowset header,
            call.cnn().Query(data::Sql(ContentHeaderSql()).Bind("bill", vstrBillID),
                             data::FieldsOf(kContentHeader)));
        if (header.RecordCount() == 0) return call.Refuse(messages::kMsgBillNotFound, vstrBillID);
        // The out-parameters are filled one by one in this order; a NULL
        // where a value is needed ends the call at that column.
        const auto& row = header.Row(0);
        PLX_RETURN_IF_NOT_OK(ReadText(row[IndexOf(kContentHeader, "Notes")], vstrMemo));
        PLX_RETURN_IF_NOT_OK(ReadDate(row[IndexOf(kContentHeader, "Date")], vdtmDate));
        // A bill not yet executed shows today as its execution date.
        if (row[IndexOf(kContentHeader, "ExeDate")].IsNull()) {
          vdtmExeDate = base::DateTime::Now().DateOnly();
        } else {
          PLX_RETURN_IF_NOT_OK(ReadDate(row[IndexOf(kContentHeader, "ExeDate")], vdtmExeDate));
        }
        PLX_RETURN_IF_NOT_OK(ReadText(row[IndexOf(kContentHeader, "OrdBill")], vstrOrdBillID));
        PLX_RETURN_IF_NOT_OK(ReadText(row[IndexOf(kContentHeader, "OrdSortID")], vstrOrdSortID));
        vstrOpCateID = row[IndexOf(kContentHeader, "OpCateID")].TextOrEmpty();
        vstrProjID = row[IndexOf(kContentHeader, "ProjID")].TextOrEmpty();
        vstrProjName = row[IndexOf(kContentHeader, "ProjName")].TextOrEmpty();
        vstrItemID = row[IndexOf(kContentHeader, "ItemID")].TextOrEmpty();
        vstrItemName = row[IndexOf(kContentHeader, "ItemName")].TextOrEmpty();
        PLX_RETURN_IF_NOT_OK(ReadText(row[IndexOf(kContentHeader, "Maker")], vstrMaker));
        vstrExecer = row[IndexOf(kContentHeader, "Execer")].TextOrEmpty();
        PLX_RETURN_IF_NOT_OK(ReadText(row[IndexOf(kContentHeader, "Operator")], vstrOperator));

        PLX_ASSIGN_OR_RETURN(result,
                             call.cnn().Query(data::Sql(ContentLinesSql()).Bind("bill", vstrBillID),
                                              data::FieldsOf(kContentLines)));
        return Outcome::Ok();
      });
}

bool MF_OutBill::DetailInfo(const std::string& vstrOrdBill, const std::string& vstrOrdSortID,
                            const std::string& vstrBillID, const std::string& vstrSortID,
                            base::DateTime& vdtmOutDate, int32_t& vlngArtID,
                            std::string& vstrArtCode, base::Currency& vcurStQty,
                            base::Currency& vcurCanUnQty, std::string& vstrMeasID,
                            base::Currency& vcurPrice, std::string& vstrMemo,
                            const std::string& vstrDB, std::string& vstrErr) {
  return frame::RunReader<bool>(
      GetObjectContext(), "Plexavo.DetailInfo", vstrDB, vstrErr, false,
      Gate(&MF_OutBill::ReadRight, messages::kMsgNoReadRight),
      [&](Call& call, bool& result) -> Outcome {
        PLX_ASSIGN_OR_RETURN(
            base::Rowset rs,
            call.cnn().Query(
                data::Sql(DetailSql()).Bind("bill", vstrBillID).Bind("line", vstrSortID),
                data::FieldsOf(kDetail)));
        if (rs.RecordCount() == 0) return call.Refuse(messages::kMsgInvalidBillOrLine);
        const auto& row = rs.Row(0);
        if (row[IndexOf(kDetail, "Execer")].IsNull())
          return call.Refuse(messages::kMsgLinkedBillNotExecuted);
        if (OrderDiffers(row[IndexOf(kDetail, "OrdBill")], row[IndexOf(kDetail, "OrdSortID")],
                         vstrOrdBill, vstrOrdSortID)) {
          return call.Refuse(messages::kMsgProductionOrderMismatch);
        }
        // Filled one by one in this order; a NULL ends the call there.
        PLX_ASSIGN_OR_RETURN(vlngArtID, row[IndexOf(kDetail, "ArtID")].AsInt());
        PLX_RETURN_IF_NOT_OK(ReadText(row[IndexOf(kDetail, "ArtCode")], vstrArtCode));
        PLX_RETURN_IF_NOT_OK(ReadCurrency(row[IndexOf(kDetail, "CanUnQty")], vcurCanUnQty));
        PLX_RETURN_IF_NOT_OK(ReadCurrency(row[IndexOf(kDetail, "StQty")], vcurStQty));
        PLX_RETURN_IF_NOT_OK(ReadText(row[IndexOf(kDetail, "MeasID")], vstrMeasID));
        PLX_RETURN_IF_NOT_OK(ReadCurrency(row[IndexOf(kDetail, "Price")], vcurPrice));
        PLX_RETURN_IF_NOT_OK(ReadText(row[IndexOf(kDetail, "Memo")], vstrMemo));
        PLX_RETURN_IF_NOT_OK(ReadDate(row[IndexOf(kDetail, "ExeDate")], vdtmOutDate));
        result = true;
        return Outcome::Ok();
      });
}

std::optional<base::Rowset> MF_OutBill::OutUnListRst(const std::string& vstrOrdBill,
                                                     const std::string& vstrOrdSortID,
                                                     const base::DateTime& vdtmBegin,
                                                     const base::DateTime& vdtmEnd,
                                                     const std::string& vstrDB,
                                                     std::string& vstrErr) {
  return frame::RunReader<MaybeRowset>(
      GetObjectContext(), "Plexavo.OutUnListRst", vstrDB, vstrErr, std::nullopt,
      Gate(&MF_OutBill::ReadRight, messages::kMsgNoReadRight),
      [&](Call& call, MaybeRowset& result) -> Outcome {
        PLX_ASSIGN_OR_RETURN(result, call.cnn().Query(data::Sql(OpenLinesSql())
                                                          .Bind("beg", vdtmBegin.DateOnly())
                                                          .Bind("end", vdtmEnd.DateOnly())
                                                          .Bind("ord", vstrOrdBill)
                                                          .Bind("line", vstrOrdSortID),
                                                      data::FieldsOf(kOpenLines)));
        return Outcome::Ok();
      });
}

bool MF_OutBill::CanEdit(const std::string& vstrID, const std::string& vstrDB,
                         std::string& vstrErr) {
  return frame::RunReader<bool>(
      GetObjectContext(), "Plexavo.CanEdit", vstrDB, vstrErr, false,
      Gate(&MF_OutBill::EditRight, messages::kMsgNoMaintainRight),
      [&](Call& call, bool& result) -> Outcome {
        const std::string user = UserName(call.db(), call.err());
        if (!call.err().empty()) return Outcome::Reported();
        PLX_RETURN_IF_NOT_OK(CheckEditable(call, vstrID, user, /*lock=*/false));
        result = true;
        return Outcome::Ok();
      });
}

bool MF_OutBill::CanDelete(const std::string& vstrID, const std::string& vstrDB,
                           std::string& vstrErr) {
  return frame::RunOperation<bool>(GetObjectContext(), "Plexavo.CanDelete", vstrDB, vstrErr, false,
                                   [&](Call&, bool& result) -> Outcome {
                                     result = CanEdit(vstrID, vstrDB, vstrErr);
                                     return result ? Outcome::Ok() : Outcome::Reported();
                                   });
}

}  // namespace reader
