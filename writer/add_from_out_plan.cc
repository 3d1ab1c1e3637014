// Bills from the issue plan: each run of adjacent plan rows of the same
// order line becomes one bill; the batch is numbered at once, logged once
// and executed bill by bill, all in one transaction.
#include <algorithm>

#include "base/ascii.h"
#include "data/locks.h"
#include "frame/bill_id.h"
#include "frame/feed.h"
#include "frame/op_frame.h"
#include "frame/share_bus.h"
#include "frame/text.h"
#include "messages/catalogue.h"
#include "messages/showmsg.h"
#include "reader/rights.h"
#include "schema/tables.h"
#include "services/config_service.h"
#include "writer/bill_lines.h"
#include "writer/gate.h"
#include "writer/mf_outbille.h"

namespace writer {

using frame::Call;
using frame::Outcome;

namespace {

constexpr const char* kMethod = "Plexavo.AddFromOutPlan";
constexpr const char* kPlanNotes = "生产领料计划生成";

// The failure text of a run-time error names the statement built last; it
// shows the values the way the statement's text would carry them.
void ShowStatement(Call& call, const std::string& statement) {
  call.set_method(std::string(kMethod) + "\r\n" + statement);
}

// Whether a plan field starts a new bill against the previous row's value.
// A NULL never counts as a change.
bool Differs(const base::Value& field, const std::string& previous) {
  return !field.IsNull() && field.TextOrEmpty() != previous;
}

// The line count of the plan's largest bill.
size_t LongestBill(const std::vector<bool>& starts) {
  size_t longest = 0, run = 0;
  for (bool start : starts) {
    run = start ? 1 : run + 1;
    longest = std::max(longest, run);
  }
  return longest;
}

struct Group {
  std::string order;
  std::string line;
  std::string dept;
};

// Which rows start a bill, by the rule above, from a start with no order.
base::Result<std::vector<bool>> BillStarts(const base::Rowset& plan) {
  std::vector<bool> starts;
  std::string order, line;
  for (size_t row = 0; row < plan.RecordCount(); ++row) {
    PLX_ASSIGN_OR_RETURN(base::Value o, plan.Get(row, "OrderID"));
    PLX_ASSIGN_OR_RETURN(base::Value l, plan.Get(row, "OrderSortID"));
    const bool start = Differs(o, order) || Differs(l, line);
    if (start) {
      order = o.TextOrEmpty();
      line = l.TextOrEmpty();
    }
    starts.push_back(start);
  }
  return starts;
}

Outcome ReadSettings(Call& call, std::string& values, std::string& period, std::string& user) {
  services::ConfigService* config = nullptr;
  PLX_ASSIGN_OR_RETURN(host::Instance held,
                       frame::CreateService(call.ctx(), services::kConfigServiceProgId,
                                            /*in_transaction=*/true, &config));
  if (!config->GetSettings("MachineTime", values, schema::kModule, period, user, call.db(),
                           call.err())) {
    return Outcome::Reported();
  }
  return Outcome::Ok();
}

Outcome InsertHeader(Call& call, const std::string& id, const base::DateTime& date, const Group& g,
                     const std::string& user) {
  ShowStatement(call,
                "Insert Into MF_OutBill(BillID,Date,OrdBill,OrdSortID,OpCateID,  DeptID,"
                "ProjID,ItemID,Notes,Operator,Maker) Values( N'" +
                    id + "',  '" + date.FormatDate() + "',  N'" + g.order + "',  N'" + g.line +
                    "',  NULL, " + (g.dept.empty() ? "Null" : "N'" + g.dept + "'") +
                    ",  NULL ,  NULL ,  N'" + kPlanNotes + "',  N'',  N'" + user + "')");
  return call.cnn().Execute(
      data::Sql("Insert Into MF_OutBill(BillID,Date,OrdBill,OrdSortID,OpCateID,DeptID,ProjID,"
                "ItemID,Notes,Operator,Maker) Values(:id, :date, :ord, :line, NULL, :dept, NULL, "
                "NULL, :notes, '', :maker)")
          .Bind("id", id)
          .Bind("date", date.DateOnly())
          .Bind("ord", g.order)
          .Bind("line", g.line)
          .Bind("dept", OptionalCode(g.dept))
          .Bind("notes", kPlanNotes)
          .Bind("maker", user));
}

// A plan line goes in unconverted: its stock quantity is its quantity.
Outcome InsertPlanLine(Call& call, const std::string& id, const base::Rowset& plan, size_t row) {
  auto field = [&](const char* name) { return plan.Get(row, name); };
  PLX_ASSIGN_OR_RETURN(std::string sort_id, TextField(plan, row, "SortID"));
  PLX_ASSIGN_OR_RETURN(std::string meas, TextField(plan, row, "MeasID"));
  PLX_ASSIGN_OR_RETURN(std::string shelf, TextField(plan, row, "ShelfID"));
  PLX_ASSIGN_OR_RETURN(std::string serial, TextField(plan, row, "SerialNo"));
  PLX_ASSIGN_OR_RETURN(std::string memo, TextField(plan, row, "Memo"));
  PLX_ASSIGN_OR_RETURN(base::Value art, field("ArtID"));
  PLX_ASSIGN_OR_RETURN(base::Value qty, field("Qty"));
  PLX_ASSIGN_OR_RETURN(base::Value bom, field("OrdBomID"));
  ShowStatement(call,
                "Insert Into MF_OutDetail(BillID,SortID,ArtID,MeasID,  ShelfID,SerialNo,"
                "ValidDate,Qty,StQty,Memo,OrdBomID) Values( N'" +
                    id + "',  N'" + sort_id + "', " + art.TextOrEmpty() + ",  N'" + meas +
                    "',  N'" + shelf + "',  N'" + serial + "',  NULL ," + qty.TextOrEmpty() + ", " +
                    qty.TextOrEmpty() + ",  N'" + memo + "', " + bom.TextOrEmpty() + " )");
  PLX_ASSIGN_OR_RETURN(int32_t art_id, art.AsInt());
  PLX_ASSIGN_OR_RETURN(base::Currency quantity, qty.AsCurrency());
  PLX_ASSIGN_OR_RETURN(int32_t bom_id, bom.AsInt());
  return call.cnn().Execute(
      data::Sql("Insert Into MF_OutDetail(BillID,SortID,ArtID,MeasID,ShelfID,SerialNo,ValidDate,"
                "Qty,StQty,Memo,OrdBomID) Values(:bill, :line, :art, :meas, :shelf, :serial, "
                "NULL, :qty, :qty, :memo, :bom)")
          .Bind("bill", id)
          .Bind("line", sort_id)
          .Bind("art", art_id)
          .Bind("meas", meas)
          .Bind("shelf", shelf)
          .Bind("serial", serial)
          .Bind("qty", quantity)
          .Bind("memo", memo)
          .Bind("bom", bom_id));
}

// Locks the orders and stock balances that executing the plan's bills
// will change, all of them before the first bill runs: executing bill by
// bill would take one bill's balances before the next bill's order.
Outcome LockPlan(Call& call, const base::Rowset& plan) {
  std::vector<data::LockName> names;
  for (size_t row = 0; row < plan.RecordCount(); ++row) {
    PLX_ASSIGN_OR_RETURN(std::string order, TextField(plan, row, "OrderID"));
    PLX_ASSIGN_OR_RETURN(std::string shelf, TextField(plan, row, "ShelfID"));
    PLX_ASSIGN_OR_RETURN(std::string serial, TextField(plan, row, "SerialNo"));
    PLX_ASSIGN_OR_RETURN(base::Value art, plan.Get(row, "ArtID"));
    names.push_back(data::OrderLock(order));
    if (!art.IsNull()) {
      PLX_ASSIGN_OR_RETURN(int32_t art_id, art.AsInt());
      names.push_back(data::StockBalanceLock(shelf, art_id, serial));
    }
  }
  return data::TakeLocks(call.cnn(), std::move(names));
}

Outcome SubscriptOutOfRange() { return Outcome::Fault(base::MakeErr(9, "Subscript out of range")); }

// Writes every bill of the plan, each header just before its first line.
Outcome WriteBills(Call& call, const base::Rowset& plan, const std::vector<bool>& starts,
                   const std::vector<std::string>& numbers, const base::DateTime& date,
                   const std::string& user) {
  int64_t position = -1;
  for (size_t row = 0; row < plan.RecordCount(); ++row) {
    if (starts[row]) {
      ++position;
      Group g;
      PLX_ASSIGN_OR_RETURN(base::Value order, plan.Get(row, "OrderID"));
      PLX_ASSIGN_OR_RETURN(base::Value line, plan.Get(row, "OrderSortID"));
      PLX_ASSIGN_OR_RETURN(g.order, order.AsText());
      PLX_ASSIGN_OR_RETURN(g.line, line.AsText());
      PLX_ASSIGN_OR_RETURN(g.dept, TextField(plan, row, "DeptID"));
      if (position >= static_cast<int64_t>(numbers.size())) return SubscriptOutOfRange();
      PLX_RETURN_IF_NOT_OK(InsertHeader(call, numbers[position], date, g, user));
    }
    // A first row that starts no bill has no number to go under.
    if (position < 0) return SubscriptOutOfRange();
    PLX_RETURN_IF_NOT_OK(InsertPlanLine(call, numbers[position], plan, row));
  }
  return Outcome::Ok();
}

}  // namespace

// Executes the plan's bills in order; the first failure ends the call. A
// dry run goes on through the other bills, so that it finds every short
// stock line of the plan, and still answers the first failure's text.
frame::Outcome MF_OutBillE::ExecuteAll(const std::vector<std::string>& numbers,
                                       const base::DateTime& date, const std::string& vstrDB,
                                       std::string& vstrErr) {
  const bool dry_run = GetObjectContext().effects() != nullptr;
  std::optional<std::string> first_failure;
  for (const std::string& number : numbers) {
    std::string err;
    if (ExecBill(number, date, vstrDB, err)) continue;
    if (!first_failure) first_failure = err;
    if (!dry_run) break;
  }
  if (!first_failure) return Outcome::Ok();
  vstrErr = *first_failure;
  return Outcome::Reported();
}

bool MF_OutBillE::AddFromOutPlan(const base::DateTime& vdtmDate, int32_t vlngCount,
                                 const std::optional<base::Rowset>& vrstDetail,
                                 const std::string& vstrDB, std::string& vstrErr) {
  host::ObjectContext& ctx = GetObjectContext();
  const frame::WriterGate gate =
      RightGate(&reader::Rights::EditRight, messages::kMsgNoMaintainRight, frame::feed::kPlanned,
                Connect::kFirst);
  return frame::RunWriter(
      ctx, std::string(kMethod) + "\r\n", vstrDB, vstrErr, gate, [&](Call& call) -> Outcome {
        std::string values, period, user;
        PLX_RETURN_IF_NOT_OK(ReadSettings(call, values, period, user));
        const base::DateTime date = values == "1" ? base::DateTime::Now().DateOnly() : vdtmDate;
        if (period.empty()) return call.Refuse(messages::kMsgProductionNotEnabled);
        PLX_RETURN_IF_NOT_OK(CheckBillHeader(call, date, period, ""));
        if (!vrstDetail.has_value()) {
          return Outcome::Fault(base::MakeErr(base::kErrObjectNotSet,
                                              "Object variable or With block variable not set"));
        }
        const base::Rowset& plan = *vrstDetail;
        // An empty plan and a count that does not match the plan's bills are
        // refused before any number is drawn, so that nothing is written.
        if (plan.RecordCount() == 0) {
          return Outcome::Refused("生产领料计划中没有明细！(The issue plan has no rows.)");
        }
        PLX_ASSIGN_OR_RETURN(std::vector<bool> starts, BillStarts(plan));
        const int64_t bills = std::count(starts.begin(), starts.end(), true);
        PLX_RETURN_IF_NOT_OK(CheckLineCount(call, LongestBill(starts)));
        if (bills != vlngCount) {
          return Outcome::Refused("生产领料计划生成 " + std::to_string(bills) +
                                  " 张生产领料单，与指定的数量 " + std::to_string(vlngCount) +
                                  " 不符！(The issue plan yields " + std::to_string(bills) +
                                  " bills, not " + std::to_string(vlngCount) + ".)");
        }
        std::string joined;
        if (!frame::share_bus::GetBillID(ctx, schema::kOutBill, vlngCount, date, joined, vstrDB,
                                         vstrErr)) {
          return Outcome::Reported();
        }
        const std::vector<std::string> numbers = base::SplitCommas(joined);
        PLX_RETURN_IF_NOT_OK(WriteBills(call, plan, starts, numbers, date, user));
        PLX_RETURN_IF_NOT_OK(call.Changed(numbers));
        PLX_RETURN_IF_NOT_OK(LockPlan(call, plan));
        call.Close();
        if (!frame::share_bus::MakeLog(
                ctx, messages::Showmsg(messages::kMsgLogNewBill, call.lang(), joined), vstrDB,
                vstrErr)) {
          return Outcome::Reported();
        }
        return ExecuteAll(numbers, date, vstrDB, vstrErr);
      });
}

}  // namespace writer
