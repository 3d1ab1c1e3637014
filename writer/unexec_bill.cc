// Reversing an execution: the BOM issued quantities are lowered, the stock
// component puts the goods back, the header loses its stamp, and the order's
// start mark goes when nothing is issued against its scope any more.
#include <array>
#include <map>

#include "data/columns.h"
#include "data/locks.h"
#include "frame/feed.h"
#include "frame/op_frame.h"
#include "frame/share_bus.h"
#include "frame/text.h"
#include "messages/catalogue.h"
#include "messages/showmsg.h"
#include "reader/lookups.h"
#include "reader/rights.h"
#include "schema/tables.h"
#include "services/stock_posting_service.h"
#include "writer/bom_target.h"
#include "writer/gate.h"
#include "writer/mf_outbille.h"
#include "writer/order_scope.h"

namespace writer {
namespace {

using frame::Call;
using frame::Outcome;

struct Executed {
  OrderScope scope;
  base::DateTime exe_date;
};

using base::FieldType;
using data::Column;
using data::IndexOf;

constexpr std::array kExecuted = {
    Column{"OrdBill", "OrdBill", FieldType::kText},
    Column{"OrdSortID", "OrdSortID", FieldType::kText},
    Column{"ExeDate", "ExeDate", FieldType::kDate},
    Column{"Execer", "Execer", FieldType::kText},
};

// Reads the header, locked until the transaction ends, and decides whether
// the caller may reverse it.
Outcome ReadExecuted(Call& call, const std::string& bill_id, const std::string& user,
                     const base::DateTime& period_start, Executed& bill) {
  PLX_ASSIGN_OR_RETURN(base::Rowset rs,
                       call.cnn().Query(data::Sql("Select " + data::SelectList(kExecuted) +
                                                  " From MF_OutBill Where BillID = :id" +
                                                  call.cnn().dialect().ForUpdate())
                                            .Bind("id", bill_id),
                                        data::FieldsOf(kExecuted)));
  if (rs.RecordCount() == 0) return call.Refuse(messages::kMsgBillNotFound, bill_id);
  const auto& row = rs.Row(0);
  const base::Value& execer = row[IndexOf(kExecuted, "Execer")];
  if (execer.IsNull()) return call.Refuse(messages::kMsgBillNotExecuted, bill_id);
  if (execer.TextOrEmpty() != user) {
    bool allowed = false;
    if (!reader::Rights(call.ctx()).AllowUnExeRight(allowed, call.db(), call.err())) {
      return Outcome::Reported();
    }
    if (!allowed) return call.Refuse(messages::kMsgReverseOnlyOwn);
  }
  PLX_ASSIGN_OR_RETURN(bill.exe_date, row[IndexOf(kExecuted, "ExeDate")].AsDate());
  if (bill.exe_date < period_start) {
    return call.Refuse(messages::kMsgReverseOnlyAfter, period_start.FormatDate());
  }
  PLX_ASSIGN_OR_RETURN(bill.scope.ord_bill, row[IndexOf(kExecuted, "OrdBill")].AsText());
  PLX_ASSIGN_OR_RETURN(bill.scope.ord_sort_id, row[IndexOf(kExecuted, "OrdSortID")].AsText());
  return Outcome::Ok();
}

// A return bill that names this bill blocks the reversal.
Outcome CheckNoReturnBill(Call& call, const std::string& bill_id) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      call.cnn().Query(data::Sql("Select BillID From MF_InDetail Where OutBillID = :id LIMIT 1")
                           .Bind("id", bill_id),
                       {{"BillID", base::FieldType::kText}}));
  if (rs.RecordCount() == 0) return Outcome::Ok();
  return Outcome::Refused(
      messages::Showmsg(messages::kMsgBillBasedOn, call.lang(), bill_id) +
      messages::Showmsg(messages::kMsgReturnBillExists, call.lang(), rs.Row(0)[0].TextOrEmpty()));
}

// Lowers the BOM row of every line, highest line number first. A line
// without a BOM row of the bill's order line is refused (10110) before
// anything is lowered.
Outcome LowerBom(Call& call, const std::string& bill_id, const Executed& bill) {
  constexpr std::array kLine = {
      Column{"ArtID", "ArtID", FieldType::kInt},
      Column{"StQty", "StQty", FieldType::kCurrency},
      Column{"OrdBomID", "OrdBomID", FieldType::kInt},
  };
  PLX_ASSIGN_OR_RETURN(base::Rowset lines,
                       call.cnn().Query(data::Sql("Select " + data::SelectList(kLine) +
                                                  " From MF_OutDetail Where BillID = :id "
                                                  "Order By SortID Desc")
                                            .Bind("id", bill_id),
                                        data::FieldsOf(kLine)));
  PLX_ASSIGN_OR_RETURN(std::vector<BomRow> rows, ReadBomRows(call.cnn(), bill.scope));
  std::map<int32_t, base::Currency> lowered;
  for (const auto& line : lines.rows()) {
    PLX_ASSIGN_OR_RETURN(int32_t art, line[IndexOf(kLine, "ArtID")].AsInt());
    const std::vector<int32_t> candidates = BomCandidates(rows, art, nullptr);
    if (candidates.empty()) return call.Refuse(messages::kMsgInvalidBill);
    PLX_ASSIGN_OR_RETURN(base::Currency st_qty, line[IndexOf(kLine, "StQty")].AsCurrency());
    const int32_t named = line[IndexOf(kLine, "OrdBomID")].IntOrZero();
    base::Currency& sum = lowered[ChooseBomTarget(candidates, named)];
    PLX_ASSIGN_OR_RETURN(sum, sum.Sub(st_qty));
  }
  PLX_RETURN_IF_ERROR(AddIssued(call.cnn(), bill.scope, rows, lowered, call.ctx().effects()));
  return Outcome::Ok();
}

// Clears the start mark of the bill's scope once nothing is issued in it.
base::Status ResetOrderStart(data::Connection& cnn, const OrderScope& scope,
                             host::Effects* effects) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset issued,
      cnn.Query(data::Sql("Select ID From MF_OrdBom Where SortID = :line And BillID = :ord "
                          "And OutQty > 0 LIMIT 1")
                    .Bind("line", scope.ord_sort_id)
                    .Bind("ord", scope.ord_bill),
                {{"ID", base::FieldType::kInt}}));
  if (issued.RecordCount() > 0) return base::OkStatus();
  PLX_ASSIGN_OR_RETURN(int64_t reset_rows, ClearStarted(cnn, scope));
  if (effects && reset_rows > 0)
    effects->orders.push_back({scope.ord_bill, scope.ord_sort_id, false});
  return base::OkStatus();
}

}  // namespace

bool MF_OutBillE::UnExecBill(const std::string& vstrID, const std::string& vstrDB,
                             std::string& vstrErr) {
  host::ObjectContext& ctx = GetObjectContext();
  const frame::WriterGate gate = RightGate(
      &reader::Rights::UnExecRight, messages::kMsgNoReverseExecuteRight, frame::feed::kReversed);
  return frame::RunWriter(
      ctx, "Plexavo.UnExecBill", vstrDB, vstrErr, gate, [&](Call& call) -> Outcome {
        const std::string user = reader::UserNameLookup(ctx, vstrDB, vstrErr);
        if (!vstrErr.empty()) return Outcome::Reported();
        const std::string period = reader::CurPeriodLookup(ctx, vstrDB, vstrErr);
        if (!vstrErr.empty()) return Outcome::Reported();
        if (period.empty()) return call.Refuse(messages::kMsgProductionNotEnabled);
        PLX_ASSIGN_OR_RETURN(base::DateTime start, frame::PeriodStart(period));

        services::StockPostingService* stock = nullptr;
        PLX_ASSIGN_OR_RETURN(host::Instance held_stock,
                             frame::CreateService(ctx, services::kStockPostingServiceProgId,
                                                  /*in_transaction=*/true, &stock));
        PLX_RETURN_IF_NOT_OK(call.OpenConnection());
        Executed bill;
        PLX_RETURN_IF_NOT_OK(ReadExecuted(call, vstrID, user, start, bill));
        PLX_RETURN_IF_NOT_OK(CheckNoReturnBill(call, vstrID));
        // The order's BOM rows and start marks are read and changed below.
        PLX_RETURN_IF_NOT_OK(data::TakeLocks(call.cnn(), {data::OrderLock(bill.scope.ord_bill)}));
        PLX_RETURN_IF_NOT_OK(LowerBom(call, vstrID, bill));
        if (!stock->UnExecStockBill(schema::kModule, vstrID, bill.exe_date, vstrDB, vstrErr)) {
          return Outcome::Refused("生产领料单" + vstrID + "取消执行时，发生以下错误：\r\n" +
                                  vstrErr);
        }
        PLX_RETURN_IF_NOT_OK(
            call.cnn().Execute(data::Sql("Update MF_OutBill Set ExeDate = Null, Execer = Null, "
                                         "Version = Version + 1000 Where BillID = :id")
                                   .Bind("id", vstrID)));
        PLX_RETURN_IF_NOT_OK(ResetOrderStart(call.cnn(), bill.scope, ctx.effects()));
        (void)held_stock.Release();
        PLX_RETURN_IF_NOT_OK(call.Changed({vstrID}));
        if (!frame::share_bus::MakeLog(
                ctx, messages::Showmsg(messages::kMsgLogReverseExecute, call.lang(), vstrID),
                vstrDB, vstrErr)) {
          return Outcome::Reported();
        }
        return Outcome::Ok();
      });
}

}  // namespace writer
