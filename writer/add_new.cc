// Creating a bill: every header field and line is checked before anything
// is written; the bill is numbered when the caller leaves the number
// empty, and executed at once on request, all in the caller's transaction.
#include "frame/bill_id.h"
#include "frame/catalogue.h"
#include "frame/op_frame.h"
#include "frame/share_bus.h"
#include "frame/showmsg.h"
#include "frame/text.h"
#include "reader/rights.h"
#include "schema/tables.h"
#include "services/config_service.h"
#include "services/order_service.h"
#include "writer/mf_outbille.h"

namespace writer {
namespace {

using frame::Call;
using frame::Outcome;

constexpr size_t kBillIdLength = 12;
constexpr size_t kMaxSortIdLength = 4;
constexpr size_t kMaxMemoLength = 255;

// The method text with the operation's progress marker.
void Mark(Call& call, const std::string& marker) { call.set_method("Plexavo.AddNew" + marker); }

// An optional code: NULL when empty.
base::Value Optional(const std::string& code) {
  return code.empty() ? base::Value() : base::Value(code);
}

// The settings the new bill needs, from the configuration service.
struct Settings {
  bool machine_time = false;
  std::string period;
  std::string user;
};

Outcome ReadSettings(Call& call, Settings& s) {
  services::ConfigService* config = nullptr;
  PLX_ASSIGN_OR_RETURN(host::Instance held,
                       frame::CreateService(call.ctx(), services::kConfigServiceProgId,
                                            /*in_transaction=*/true, &config));
  std::string values;
  if (!config->GetSettings("MachineTime,AutoExe", values, schema::kModule, s.period, s.user,
                           call.db(), call.err())) {
    return Outcome::Reported();
  }
  // Only the first value counts; execution depends on the caller's flag.
  s.machine_time = values.substr(0, values.find(';')) == "1";
  return Outcome::Ok();
}

// Checks one line in the order callers rely on; the line prefix names it.
Outcome CheckLine(Call& call, const base::Rowset& lines, size_t row, bool auto_exe) {
  PLX_ASSIGN_OR_RETURN(base::Value sort_value, lines.Get(row, "SortID"));
  PLX_ASSIGN_OR_RETURN(std::string sort_id, sort_value.AsText());
  const std::string prefix =
      frame::Showmsg(frame::kMsgLineIncomplete, call.lang(), sort_id) + "\r\n";
  if (sort_id.empty()) return call.Refuse(frame::kMsgLineNumberEmpty);
  if (frame::TextLength(sort_id) > kMaxSortIdLength) {
    return call.Refuse(frame::kMsgLineNumberTooLong);
  }
  PLX_ASSIGN_OR_RETURN(base::Value meas, lines.Get(row, "MeasID"));
  if (!meas.IsNull() && meas.TextOrEmpty().empty()) {
    return Outcome::Refused(prefix + frame::Showmsg(frame::kMsgUnitRequired, call.lang(), ""));
  }
  PLX_ASSIGN_OR_RETURN(base::Value memo, lines.Get(row, "Memo"));
  if (!memo.IsNull() && frame::TextLength(memo.TextOrEmpty()) > kMaxMemoLength) {
    return call.Refuse(frame::kMsgRemarkTooLong);
  }
  PLX_ASSIGN_OR_RETURN(base::Value qty, lines.Get(row, "Qty"));
  if (auto_exe && !qty.IsNull()) {
    PLX_ASSIGN_OR_RETURN(base::Currency q, qty.AsCurrency());
    if (q <= base::Currency()) {
      return Outcome::Refused(prefix +
                              frame::Showmsg(frame::kMsgQuantityNotPositive, call.lang(), ""));
    }
  }
  return Outcome::Ok();
}

Outcome CheckOrder(Call& call, const std::string& ord_bill, const std::string& ord_sort_id,
                   std::string& dept) {
  services::OrderService* orders = nullptr;
  PLX_ASSIGN_OR_RETURN(host::Instance held,
                       frame::CreateService(call.ctx(), services::kOrderServiceProgId,
                                            /*in_transaction=*/true, &orders));
  if (!orders->CheckOrderLine(ord_bill, ord_sort_id, dept, call.db(), call.err())) {
    return Outcome::Reported();
  }
  return Outcome::Ok();
}

// The caller's number when it is free, else a new one.
Outcome NumberBill(Call& call, const base::DateTime& date, std::string& bill_id) {
  if (!bill_id.empty()) {
    PLX_ASSIGN_OR_RETURN(
        base::Rowset rs,
        call.cnn().Query(
            data::Sql("Select BillID From MF_OutBill Where BillID = :id").Bind("id", bill_id),
            {{"BillID", base::FieldType::kText}}));
    if (rs.RecordCount() > 0) return call.Refuse(frame::kMsgDuplicateBillNumber);
    return Outcome::Ok();
  }
  if (!frame::share_bus::GetBillID(call.ctx(), schema::kOutBill, 1, date, bill_id, call.db(),
                                   call.err())) {
    return Outcome::Reported();
  }
  return Outcome::Ok();
}

// Inserts line `row` with its quantity in stock units.
Outcome InsertLine(Call& call, const std::string& bill_id, const base::Rowset& lines, size_t row) {
  auto field = [&](const char* name) { return lines.Get(row, name); };
  PLX_ASSIGN_OR_RETURN(base::Value sort_id, field("SortID"));
  PLX_ASSIGN_OR_RETURN(base::Value art, field("ArtID"));
  PLX_ASSIGN_OR_RETURN(base::Value meas, field("MeasID"));
  PLX_ASSIGN_OR_RETURN(base::Value shelf, field("ShelfID"));
  PLX_ASSIGN_OR_RETURN(base::Value serial, field("SerialNo"));
  PLX_ASSIGN_OR_RETURN(base::Value valid, field("ValidDate"));
  PLX_ASSIGN_OR_RETURN(base::Value qty, field("Qty"));
  PLX_ASSIGN_OR_RETURN(base::Value memo, field("Memo"));
  PLX_ASSIGN_OR_RETURN(base::Value bom, field("OrdBomID"));
  PLX_ASSIGN_OR_RETURN(int32_t art_id, art.AsInt());
  PLX_ASSIGN_OR_RETURN(std::string meas_id, meas.AsText());
  PLX_ASSIGN_OR_RETURN(base::Currency quantity, qty.AsCurrency());
  PLX_ASSIGN_OR_RETURN(base::Currency st_qty,
                       frame::share_bus::StMeasQty(art_id, meas_id, quantity, call.db()));
  Mark(call, "#6." + std::to_string(row + 1));
  PLX_ASSIGN_OR_RETURN(std::string sort_text, sort_id.AsText());
  PLX_ASSIGN_OR_RETURN(int32_t bom_id, bom.AsInt());
  base::Value valid_date;
  if (!valid.IsNull()) {
    PLX_ASSIGN_OR_RETURN(base::DateTime d, valid.AsDate());
    valid_date = base::Value(d.DateOnly());
  }
  return call.cnn().Execute(
      data::Sql("Insert Into MF_OutDetail(BillID,SortID,ArtID,MeasID,ShelfID,SerialNo,ValidDate,"
                "Qty,StQty,Memo,OrdBomID) Values(:bill, :line, :art, :meas, :shelf, :serial, "
                ":valid, :qty, :stqty, :memo, :bom)")
          .Bind("bill", bill_id)
          .Bind("line", sort_text)
          .Bind("art", art_id)
          .Bind("meas", meas_id)
          .Bind("shelf", shelf.TextOrEmpty())
          .Bind("serial", serial.TextOrEmpty())
          .Bind("valid", valid_date)
          .Bind("qty", quantity)
          .Bind("stqty", st_qty)
          .Bind("memo", memo.TextOrEmpty())
          .Bind("bom", bom_id));
}

}  // namespace

bool MF_OutBillE::AddNew(std::string& vstrID, const base::DateTime& vdtmDate,
                         const std::string& vstrOpCate, const std::string& vstrOrdBill,
                         const std::string& vstrOrdSortID, const std::string& vstrProject,
                         const std::string& vstrItem, const std::string& vstrOperator,
                         const std::string& vstrMemo, const std::optional<base::Rowset>& vrstDetail,
                         bool vblnAutoExe, const std::string& vstrDB, std::string& vstrErr) {
  host::ObjectContext& ctx = GetObjectContext();
  return frame::RunWriter(ctx, "Plexavo.AddNew#1", vstrDB, vstrErr, [&](Call& call) -> Outcome {
    PLX_RETURN_IF_NOT_OK(call.OpenConnection());
    if (!frame::share_bus::GetUserLang(ctx, call.lang(), vstrDB, vstrErr)) {
      return Outcome::Reported();
    }
    if (!ctx.IsInTransaction()) return call.Refuse(frame::kMsgNotInTransaction);
    if (!reader::Rights(ctx).EditRight(vstrDB)) return call.Refuse(frame::kMsgNoMaintainRight);
    Settings settings;
    PLX_RETURN_IF_NOT_OK(ReadSettings(call, settings));
    const base::DateTime date = settings.machine_time ? base::DateTime::Now().DateOnly() : vdtmDate;
    if (settings.period.empty()) return call.Refuse(frame::kMsgProductionNotEnabled);
    // Bound values keep apostrophes as they are; the memo is only trimmed.
    const std::string memo = frame::TrimSpaces(vstrMemo);
    Mark(call, "#2");
    PLX_ASSIGN_OR_RETURN(base::DateTime start, frame::PeriodStart(settings.period));
    if (date < start) return call.Refuse(frame::kMsgBillDateTooEarly, start.FormatDate());
    if (!vstrID.empty() && frame::TextLength(vstrID) != kBillIdLength) {
      return call.Refuse(frame::kMsgBillNumberLength);
    }
    if (!vrstDetail.has_value()) {
      return Outcome::Fault(base::MakeErr(91, "Object variable or With block variable not set"));
    }
    const base::Rowset& lines = *vrstDetail;
    if (lines.RecordCount() < 1) return call.Refuse(frame::kMsgNoDetailLines);
    for (size_t row = 0; row < lines.RecordCount(); ++row) {
      PLX_RETURN_IF_NOT_OK(CheckLine(call, lines, row, vblnAutoExe));
    }
    Mark(call, "#3");
    std::string dept;
    PLX_RETURN_IF_NOT_OK(CheckOrder(call, vstrOrdBill, vstrOrdSortID, dept));
    Mark(call, "#3.5");
    PLX_RETURN_IF_NOT_OK(NumberBill(call, date, vstrID));
    Mark(call, "#4");
    PLX_RETURN_IF_NOT_OK(call.cnn().Execute(
        data::Sql("Insert Into MF_OutBill(BillID,Date,OrdBill,OrdSortID,OpCateID,DeptID,ProjID,"
                  "ItemID,Notes,Operator,Maker) Values(:id, :date, :ord, :line, :opcate, :dept, "
                  ":proj, :item, :notes, :operator, :maker)")
            .Bind("id", vstrID)
            .Bind("date", date.DateOnly())
            .Bind("ord", vstrOrdBill)
            .Bind("line", vstrOrdSortID)
            .Bind("opcate", Optional(vstrOpCate))
            .Bind("dept", Optional(dept))
            .Bind("proj", Optional(vstrProject))
            .Bind("item", Optional(vstrItem))
            .Bind("notes", memo)
            .Bind("operator", vstrOperator)
            .Bind("maker", settings.user)));
    Mark(call, "#5");
    for (size_t row = 0; row < lines.RecordCount(); ++row) {
      PLX_RETURN_IF_NOT_OK(InsertLine(call, vstrID, lines, row));
    }
    Mark(call, "#7");
    if (!frame::share_bus::MakeLog(ctx, frame::Showmsg(frame::kMsgLogNewBill, call.lang(), vstrID),
                                   vstrDB, vstrErr)) {
      return Outcome::Reported();
    }
    if (vblnAutoExe) {
      Mark(call, "#8");
      if (!ExecBill(vstrID, date, vstrDB, vstrErr)) return Outcome::Reported();
    }
    Mark(call, "#9");
    return Outcome::Ok();
  });
}

}  // namespace writer
