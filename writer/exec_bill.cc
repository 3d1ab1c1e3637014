// Executing a bill: the stock component takes the goods out of stock, the
// header is stamped, the order (or order line) is marked started, and the
// order's BOM issued quantities are raised line by line.
#include <algorithm>
#include <array>
#include <map>

#include "data/columns.h"
#include "data/locks.h"
#include "data/value_rows.h"
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

struct BomLine {
  int32_t art = 0;
  base::Currency st_qty;
  std::string serial;
  int32_t ord_bom_id = 0;
  bool non_standard = false;
};

using base::FieldType;
using data::Column;
using data::IndexOf;

constexpr std::array kHeader = {
    Column{"Date", "Date", FieldType::kDate},
    Column{"Execer", "Execer", FieldType::kText},
    Column{"OrdBill", "OrdBill", FieldType::kText},
    Column{"OrdSortID", "OrdSortID", FieldType::kText},
};

// Reads and checks the bill header, locked until the transaction ends; a
// refusal when it may not be executed.
Outcome ReadHeader(Call& call, const std::string& bill_id, const base::DateTime& exe_date,
                   OrderScope& header) {
  PLX_ASSIGN_OR_RETURN(base::Rowset rs,
                       call.cnn().Query(data::Sql("Select " + data::SelectList(kHeader) +
                                                  " From MF_OutBill Where BillID = :id" +
                                                  call.cnn().dialect().ForUpdate())
                                            .Bind("id", bill_id),
                                        data::FieldsOf(kHeader)));
  if (rs.RecordCount() == 0) return call.Refuse(messages::kMsgBillNotFound, bill_id);
  const auto& row = rs.Row(0);
  const base::Value& date = row[IndexOf(kHeader, "Date")];
  if (!row[IndexOf(kHeader, "Execer")].IsNull()) {
    return call.Refuse(messages::kMsgBillAlreadyExecuted, bill_id);
  }
  // A bill without a date cannot be dated after its execution.
  if (!date.IsNull() && exe_date < *date.AsDate()) {
    return call.Refuse(messages::kMsgExecuteBeforeBillDate);
  }
  PLX_ASSIGN_OR_RETURN(header.ord_bill, row[IndexOf(kHeader, "OrdBill")].AsText());
  PLX_ASSIGN_OR_RETURN(header.ord_sort_id, row[IndexOf(kHeader, "OrdSortID")].AsText());
  return Outcome::Ok();
}

base::Result<int64_t> StampHeader(data::Connection& cnn, const std::string& bill_id,
                                  const base::DateTime& exe_date, const std::string& user) {
  return cnn.Execute(data::Sql("Update MF_OutBill Set ExeDate = :exe, Execer = :user, "
                               "Version = Version + 1000 Where BillID = :id")
                         .Bind("exe", exe_date.DateOnly())
                         .Bind("user", user)
                         .Bind("id", bill_id));
}

constexpr std::array kBomLine = {
    Column{"MF_OutDetail.SortID", "SortID", FieldType::kText},
    Column{"MF_OutDetail.ArtID", "ArtID", FieldType::kInt},
    Column{"MF_OutDetail.StQty", "StQty", FieldType::kCurrency},
    Column{"MF_OutDetail.SerialNo", "SerialNo", FieldType::kText},
    Column{"MF_OutDetail.OrdBomID", "OrdBomID", FieldType::kInt},
    Column{"FD_Article.NonStandard", "NonStandard", FieldType::kBool},
};

base::Result<std::vector<BomLine>> ReadBomLines(data::Connection& cnn, const std::string& bill_id) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("Select " + data::SelectList(kBomLine) +
                          " From MF_OutDetail Inner Join FD_Article "
                          "On MF_OutDetail.ArtID = FD_Article.ID "
                          "Where MF_OutDetail.BillID = :id Order By MF_OutDetail.SortID")
                    .Bind("id", bill_id),
                data::FieldsOf(kBomLine)));
  std::vector<BomLine> lines;
  for (const auto& row : rs.rows()) {
    BomLine l;
    PLX_ASSIGN_OR_RETURN(l.art, row[IndexOf(kBomLine, "ArtID")].AsInt());
    PLX_ASSIGN_OR_RETURN(l.st_qty, row[IndexOf(kBomLine, "StQty")].AsCurrency());
    l.serial = row[IndexOf(kBomLine, "SerialNo")].TextOrEmpty();
    l.ord_bom_id = row[IndexOf(kBomLine, "OrdBomID")].IntOrZero();
    const base::Value& non_standard = row[IndexOf(kBomLine, "NonStandard")];
    l.non_standard = !non_standard.IsNull() && *non_standard.AsBool();
    lines.push_back(std::move(l));
  }
  return lines;
}

// A BOM row the execution adds for material the order does not list.
struct AddedBom {
  int32_t art = 0;
  std::string serial;
  base::Currency qty;
};

// Raises the BOM issued quantity of every line, adding a BOM row for
// material the order does not list. Lines are taken in order, and a row
// added for one line serves the later lines of its article (and serial
// number) as it would had it been inserted at once: the added rows are
// inserted first, in the order of their first lines, then every existing
// row is raised by the sum of its lines.
base::Status RaiseBom(data::Connection& cnn, const std::string& bill_id, const OrderScope& scope,
                      const base::DateTime& exe_date, host::Effects* effects) {
  PLX_ASSIGN_OR_RETURN(std::vector<BomLine> lines, ReadBomLines(cnn, bill_id));
  PLX_ASSIGN_OR_RETURN(std::vector<BomRow> rows, ReadBomRows(cnn, scope));
  std::map<int32_t, base::Currency> raised;
  std::vector<AddedBom> added;
  for (const BomLine& l : lines) {
    const std::string* serial = l.non_standard ? &l.serial : nullptr;
    const std::vector<int32_t> candidates = BomCandidates(rows, l.art, serial);
    base::Currency* sum = nullptr;
    if (!candidates.empty()) {
      sum = &raised[ChooseBomTarget(candidates, l.ord_bom_id)];
    } else {
      auto same = std::find_if(added.begin(), added.end(), [&](const AddedBom& a) {
        return a.art == l.art && (serial == nullptr || a.serial == *serial);
      });
      if (same == added.end())
        same = added.insert(added.end(), {l.art, l.serial, base::Currency()});
      sum = &same->qty;
    }
    PLX_ASSIGN_OR_RETURN(*sum, sum->Add(l.st_qty));
  }
  std::vector<std::vector<base::Value>> inserts;
  const base::Currency zero;
  for (const AddedBom& a : added) {
    inserts.push_back({scope.ord_bill, scope.ord_sort_id, a.art, a.serial, exe_date.DateOnly(),
                       a.qty, zero, zero, zero});
    if (effects)
      effects->bom.push_back({scope.ord_bill, scope.ord_sort_id, a.art, a.serial, 0, a.qty, true});
  }
  PLX_RETURN_IF_ERROR(data::ExecuteRows(
      cnn,
      {"Insert Into MF_OrdBom(BillID,SortID,ArtID,SerialNo,UseDate,OutQty,Qty,NetQty,AddQty) ", "",
       std::vector<base::FieldType>(9, base::FieldType::kText), false},
      inserts));
  return AddIssued(cnn, scope, rows, raised, effects);
}

}  // namespace

bool MF_OutBillE::ExecBill(const std::string& vstrID, const base::DateTime& vdtmExeDate,
                           const std::string& vstrDB, std::string& vstrErr) {
  host::ObjectContext& ctx = GetObjectContext();
  const frame::WriterGate gate = RightGate(&reader::Rights::ExecRight, messages::kMsgNoExecuteRight,
                                           frame::feed::kExecuted, Connect::kFirst);
  return frame::RunWriter(
      ctx, "Plexavo.ExecBill", vstrDB, vstrErr, gate, [&](Call& call) -> Outcome {
        const std::string user = reader::UserNameLookup(ctx, vstrDB, vstrErr);
        if (!vstrErr.empty()) return Outcome::Reported();
        bool machine_time = false;
        if (!frame::share_bus::GetMachineTime(ctx, machine_time, vstrDB, vstrErr)) {
          return Outcome::Reported();
        }
        const base::DateTime exe_date =
            machine_time ? base::DateTime::Now().DateOnly() : vdtmExeDate;
        const std::string period = reader::CurPeriodLookup(ctx, vstrDB, vstrErr);
        if (!vstrErr.empty()) return Outcome::Reported();
        if (period.empty()) return call.Refuse(messages::kMsgProductionNotEnabled);
        PLX_ASSIGN_OR_RETURN(base::DateTime start, frame::PeriodStart(period));
        if (exe_date < start)
          return call.Refuse(messages::kMsgExecuteDateTooEarly, start.FormatDate());

        services::StockPostingService* stock = nullptr;
        PLX_ASSIGN_OR_RETURN(host::Instance held_stock,
                             frame::CreateService(ctx, services::kStockPostingServiceProgId,
                                                  /*in_transaction=*/true, &stock));
        OrderScope header;
        PLX_RETURN_IF_NOT_OK(ReadHeader(call, vstrID, exe_date, header));
        // The order's start marks and BOM rows are read and changed below.
        PLX_RETURN_IF_NOT_OK(data::TakeLocks(call.cnn(), {data::OrderLock(header.ord_bill)}));
        if (!stock->ExecStockBill(schema::kModule, vstrID, exe_date, vstrDB, vstrErr)) {
          return Outcome::Refused("生产领料单" + vstrID + "执行时，发生以下错误：\r\n" + vstrErr);
        }
        PLX_RETURN_IF_NOT_OK(StampHeader(call.cnn(), vstrID, exe_date, user));
        PLX_ASSIGN_OR_RETURN(int64_t marked, MarkStarted(call.cnn(), header, exe_date));
        host::Effects* effects = ctx.effects();
        if (effects && marked > 0)
          effects->orders.push_back({header.ord_bill, header.ord_sort_id, true});
        PLX_RETURN_IF_NOT_OK(RaiseBom(call.cnn(), vstrID, header, exe_date, effects));
        (void)held_stock.Release();
        PLX_RETURN_IF_NOT_OK(call.Changed({vstrID}));
        if (!frame::share_bus::MakeLog(
                ctx, messages::Showmsg(messages::kMsgLogExecuteBill, call.lang(), vstrID), vstrDB,
                vstrErr)) {
          return Outcome::Reported();
        }
        return Outcome::Ok();
      });
}

}  // namespace writer
