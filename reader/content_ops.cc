// The reader's questions about one bill: its content (header and lines), the
// details of one executed line for a return, the executed lines of an order
// line still open for return, and whether the caller may still change or
// delete a bill.
#include <utility>

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

// Header of GetContent. The look-up names come through outer joins: a bill
// without project or cost item, or with a code that has no row, still reads.
constexpr const char* kContentHeaderSql =
    "SELECT MF_OutBill.Date, MF_OutBill.ExeDate, MF_OutBill.OrdBill, MF_OutBill.OrdSortID, "
    "MF_OutBill.OpCateID, MF_OutBill.ProjID, FD_Project.Name AS ProjName, MF_OutBill.ItemID, "
    "FD_Item.Name AS ItemName, MF_OutBill.Notes, MF_OutBill.Operator, MF_OutBill.Maker, "
    "MF_OutBill.Execer "
    "FROM MF_OutBill LEFT OUTER JOIN FD_Item ON MF_OutBill.ItemID = FD_Item.ID "
    "LEFT OUTER JOIN FD_Project ON MF_OutBill.ProjID = FD_Project.ID "
    "WHERE MF_OutBill.BillID = :bill";

enum ContentHeaderColumn {
  kHdrDate,
  kHdrExeDate,
  kHdrOrdBill,
  kHdrOrdSortID,
  kHdrOpCateID,
  kHdrProjID,
  kHdrProjName,
  kHdrItemID,
  kHdrItemName,
  kHdrNotes,
  kHdrOperator,
  kHdrMaker,
  kHdrExecer,
};

const std::vector<base::Field>& ContentHeaderFields() {
  static const std::vector<base::Field> fields = {
      {"Date", FieldType::kDate},     {"ExeDate", FieldType::kDate},
      {"OrdBill", FieldType::kText},  {"OrdSortID", FieldType::kText},
      {"OpCateID", FieldType::kText}, {"ProjID", FieldType::kText},
      {"ProjName", FieldType::kText}, {"ItemID", FieldType::kText},
      {"ItemName", FieldType::kText}, {"Notes", FieldType::kText},
      {"Operator", FieldType::kText}, {"Maker", FieldType::kText},
      {"Execer", FieldType::kText},
  };
  return fields;
}

// Lines of GetContent. Inner joins: a line whose article has no stock
// settings row, or whose article or shelf is missing, is left out.
constexpr const char* kContentLinesSql =
    "SELECT MF_OutDetail.SortID, MF_OutDetail.ArtID, FD_Article.ArtCode, "
    "FD_Article.Name AS ArtName, MF_OutDetail.MeasID, MF_OutDetail.ShelfID, "
    "ST_Shelf.Name AS ShelfName, MF_OutDetail.SerialNo, MF_OutDetail.ValidDate, "
    "MF_OutDetail.Qty, MF_OutDetail.Price, MF_OutDetail.Amt, MF_OutDetail.Memo, "
    "FD_ArtStore.KeepDay, FD_Article.Serial, MF_OutDetail.UnQty, MF_OutDetail.OrdBomID "
    "FROM FD_ArtStore INNER JOIN FD_Article ON FD_ArtStore.ID = FD_Article.ID "
    "INNER JOIN MF_OutDetail ON FD_Article.ID = MF_OutDetail.ArtID "
    "INNER JOIN ST_Shelf ON MF_OutDetail.ShelfID = ST_Shelf.ID "
    "WHERE MF_OutDetail.BillID = :bill "
    "ORDER BY MF_OutDetail.SortID";

const std::vector<base::Field>& ContentLineFields() {
  static const std::vector<base::Field> fields = {
      {"SortID", FieldType::kText},    {"ArtID", FieldType::kInt},
      {"ArtCode", FieldType::kText},   {"ArtName", FieldType::kText},
      {"MeasID", FieldType::kText},    {"ShelfID", FieldType::kText},
      {"ShelfName", FieldType::kText}, {"SerialNo", FieldType::kText},
      {"ValidDate", FieldType::kDate}, {"Qty", FieldType::kCurrency},
      {"Price", FieldType::kCurrency}, {"Amt", FieldType::kCurrency},
      {"Memo", FieldType::kText},      {"KeepDay", FieldType::kInt},
      {"Serial", FieldType::kInt},     {"UnQty", FieldType::kCurrency},
      {"OrdBomID", FieldType::kInt},
  };
  return fields;
}

constexpr const char* kDetailSql =
    "SELECT MF_OutBill.OrdBill, MF_OutBill.OrdSortID, MF_OutDetail.ArtID, MF_OutDetail.MeasID, "
    "MF_OutDetail.Qty - MF_OutDetail.UnQty AS CanUnQty, MF_OutDetail.Price, MF_OutDetail.UnQty, "
    "FD_Article.ArtCode, MF_OutBill.Execer, MF_OutDetail.Memo, MF_OutBill.ExeDate, "
    "MF_OutDetail.StQty "
    "FROM MF_OutBill INNER JOIN MF_OutDetail ON MF_OutBill.BillID = MF_OutDetail.BillID "
    "INNER JOIN FD_Article ON MF_OutDetail.ArtID = FD_Article.ID "
    "WHERE MF_OutDetail.BillID = :bill AND MF_OutDetail.SortID = :line";

enum DetailColumn {
  kDetOrdBill,
  kDetOrdSortID,
  kDetArtID,
  kDetMeasID,
  kDetCanUnQty,
  kDetPrice,
  kDetUnQty,
  kDetArtCode,
  kDetExecer,
  kDetMemo,
  kDetExeDate,
  kDetStQty,
};

const std::vector<base::Field>& DetailFields() {
  static const std::vector<base::Field> fields = {
      {"OrdBill", FieldType::kText},      {"OrdSortID", FieldType::kText},
      {"ArtID", FieldType::kInt},         {"MeasID", FieldType::kText},
      {"CanUnQty", FieldType::kCurrency}, {"Price", FieldType::kCurrency},
      {"UnQty", FieldType::kCurrency},    {"ArtCode", FieldType::kText},
      {"Execer", FieldType::kText},       {"Memo", FieldType::kText},
      {"ExeDate", FieldType::kDate},      {"StQty", FieldType::kCurrency},
  };
  return fields;
}

// The date bounds compare with the stored dates as the bare day: a value
// stored with a time of day after midnight lies after that day's bound.
constexpr const char* kOpenLinesSql =
    "SELECT MF_OutBill.ExeDate, MF_OutDetail.BillID, MF_OutDetail.SortID, FD_Article.ArtCode, "
    "FD_Article.Name AS ArtName, MF_OutDetail.MeasID, MF_OutDetail.Qty, MF_OutDetail.UnQty, "
    "MF_OutDetail.SerialNo, MF_OutDetail.ValidDate "
    "FROM FD_Article INNER JOIN MF_OutDetail ON FD_Article.ID = MF_OutDetail.ArtID "
    "INNER JOIN MF_OutBill ON MF_OutDetail.BillID = MF_OutBill.BillID "
    "WHERE MF_OutBill.ExeDate >= :beg AND MF_OutBill.ExeDate <= :end "
    "AND MF_OutBill.OrdBill = :ord AND MF_OutBill.OrdSortID = :line "
    "AND MF_OutDetail.UnQty < MF_OutDetail.Qty "
    "ORDER BY MF_OutDetail.BillID, MF_OutDetail.SortID";

const std::vector<base::Field>& OpenLineFields() {
  static const std::vector<base::Field> fields = {
      {"ExeDate", FieldType::kDate},  {"BillID", FieldType::kText},
      {"SortID", FieldType::kText},   {"ArtCode", FieldType::kText},
      {"ArtName", FieldType::kText},  {"MeasID", FieldType::kText},
      {"Qty", FieldType::kCurrency},  {"UnQty", FieldType::kCurrency},
      {"SerialNo", FieldType::kText}, {"ValidDate", FieldType::kDate},
  };
  return fields;
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
        PLX_ASSIGN_OR_RETURN(base::Rowset header,
                             call.cnn().Query(data::Sql(kContentHeaderSql).Bind("bill", vstrBillID),
                                              ContentHeaderFields()));
        if (header.RecordCount() == 0) return call.Refuse(messages::kMsgBillNotFound, vstrBillID);
        // The out-parameters are filled one by one in this order; a NULL
        // where a value is needed ends the call at that column.
        const auto& row = header.Row(0);
        PLX_RETURN_IF_NOT_OK(ReadText(row[kHdrNotes], vstrMemo));
        PLX_RETURN_IF_NOT_OK(ReadDate(row[kHdrDate], vdtmDate));
        // A bill not yet executed shows today as its execution date.
        if (row[kHdrExeDate].IsNull()) {
          vdtmExeDate = base::DateTime::Now().DateOnly();
        } else {
          PLX_RETURN_IF_NOT_OK(ReadDate(row[kHdrExeDate], vdtmExeDate));
        }
        PLX_RETURN_IF_NOT_OK(ReadText(row[kHdrOrdBill], vstrOrdBillID));
        PLX_RETURN_IF_NOT_OK(ReadText(row[kHdrOrdSortID], vstrOrdSortID));
        vstrOpCateID = row[kHdrOpCateID].TextOrEmpty();
        vstrProjID = row[kHdrProjID].TextOrEmpty();
        vstrProjName = row[kHdrProjName].TextOrEmpty();
        vstrItemID = row[kHdrItemID].TextOrEmpty();
        vstrItemName = row[kHdrItemName].TextOrEmpty();
        PLX_RETURN_IF_NOT_OK(ReadText(row[kHdrMaker], vstrMaker));
        vstrExecer = row[kHdrExecer].TextOrEmpty();
        PLX_RETURN_IF_NOT_OK(ReadText(row[kHdrOperator], vstrOperator));

        PLX_ASSIGN_OR_RETURN(result,
                             call.cnn().Query(data::Sql(kContentLinesSql).Bind("bill", vstrBillID),
                                              ContentLineFields()));
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
                data::Sql(kDetailSql).Bind("bill", vstrBillID).Bind("line", vstrSortID),
                DetailFields()));
        if (rs.RecordCount() == 0) return call.Refuse(messages::kMsgInvalidBillOrLine);
        const auto& row = rs.Row(0);
        if (row[kDetExecer].IsNull()) return call.Refuse(messages::kMsgLinkedBillNotExecuted);
        if (OrderDiffers(row[kDetOrdBill], row[kDetOrdSortID], vstrOrdBill, vstrOrdSortID)) {
          return call.Refuse(messages::kMsgProductionOrderMismatch);
        }
        // Filled one by one in this order; a NULL ends the call there.
        PLX_ASSIGN_OR_RETURN(vlngArtID, row[kDetArtID].AsInt());
        PLX_RETURN_IF_NOT_OK(ReadText(row[kDetArtCode], vstrArtCode));
        PLX_RETURN_IF_NOT_OK(ReadCurrency(row[kDetCanUnQty], vcurCanUnQty));
        PLX_RETURN_IF_NOT_OK(ReadCurrency(row[kDetStQty], vcurStQty));
        PLX_RETURN_IF_NOT_OK(ReadText(row[kDetMeasID], vstrMeasID));
        PLX_RETURN_IF_NOT_OK(ReadCurrency(row[kDetPrice], vcurPrice));
        PLX_RETURN_IF_NOT_OK(ReadText(row[kDetMemo], vstrMemo));
        PLX_RETURN_IF_NOT_OK(ReadDate(row[kDetExeDate], vdtmOutDate));
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
        PLX_ASSIGN_OR_RETURN(result, call.cnn().Query(data::Sql(kOpenLinesSql)
                                                          .Bind("beg", vdtmBegin.DateOnly())
                                                          .Bind("end", vdtmEnd.DateOnly())
                                                          .Bind("ord", vstrOrdBill)
                                                          .Bind("line", vstrOrdSortID),
                                                      OpenLineFields()));
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
