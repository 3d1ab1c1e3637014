// Executing a bill: the stock component takes the goods out of stock, the
// header is stamped, the order (or order line) is marked started, and the
// order's BOM issued quantities are raised line by line.
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

namespace writer {
namespace {

using frame::Call;
using frame::Outcome;

struct Header {
  std::string ord_bill;
  std::string ord_sort_id;
};

struct BomLine {
  int32_t art = 0;
  base::Currency st_qty;
  std::string serial;
  int32_t ord_bom_id = 0;
  bool non_standard = false;
};

// Reads and checks the bill header, locked until the transaction ends; a
// refusal when it may not be executed.
Outcome ReadHeader(Call& call, const std::string& bill_id, const base::DateTime& exe_date,
                   Header& header) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      call.cnn().Query(data::Sql(std::string("Select Date, Execer, OrdBill, OrdSortID From "
                                             "MF_OutBill Where BillID = :id") +
                                 call.cnn().dialect().ForUpdate())
                           .Bind("id", bill_id),
                       {{"Date", base::FieldType::kDate},
                        {"Execer", base::FieldType::kText},
                        {"OrdBill", base::FieldType::kText},
                        {"OrdSortID", base::FieldType::kText}}));
  if (rs.RecordCount() == 0) return call.Refuse(messages::kMsgBillNotFound, bill_id);
  const auto& row = rs.Row(0);
  if (!row[1].IsNull()) return call.Refuse(messages::kMsgBillAlreadyExecuted, bill_id);
  // A bill without a date cannot be dated after its execution.
  if (!row[0].IsNull() && exe_date < *row[0].AsDate()) {
    return call.Refuse(messages::kMsgExecuteBeforeBillDate);
  }
  PLX_ASSIGN_OR_RETURN(header.ord_bill, row[2].AsText());
  PLX_ASSIGN_OR_RETURN(header.ord_sort_id, row[3].AsText());
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

// Marks the order's lines (or the one named line) started, keeping the
// start date of lines started before.
base::Result<int64_t> MarkOrderStarted(data::Connection& cnn, const Header& h,
                                       const base::DateTime& exe_date) {
  data::Sql sql = h.ord_sort_id.empty()
                      ? data::Sql(
                            "Update MF_OrdDetail Set BegFlag = 1, FbegDate = :exe "
                            "Where BillID = :ord And BegFlag = 0")
                      : data::Sql(
                            "Update MF_OrdDetail Set BegFlag = 1, FbegDate = :exe "
                            "Where BillID = :ord And SortID = :line And BegFlag = 0");
  sql.Bind("exe", exe_date.DateOnly()).Bind("ord", h.ord_bill);
  if (!h.ord_sort_id.empty()) sql.Bind("line", h.ord_sort_id);
  return cnn.Execute(sql);
}

base::Result<std::vector<BomLine>> ReadBomLines(data::Connection& cnn, const std::string& bill_id) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("Select MF_OutDetail.SortID, MF_OutDetail.ArtID, MF_OutDetail.StQty, "
                          "MF_OutDetail.SerialNo, MF_OutDetail.OrdBomID, FD_Article.NonStandard "
                          "From MF_OutDetail Inner Join FD_Article "
                          "On MF_OutDetail.ArtID = FD_Article.ID "
                          "Where MF_OutDetail.BillID = :id Order By MF_OutDetail.SortID")
                    .Bind("id", bill_id),
                {{"SortID", base::FieldType::kText},
                 {"ArtID", base::FieldType::kInt},
                 {"StQty", base::FieldType::kCurrency},
                 {"SerialNo", base::FieldType::kText},
                 {"OrdBomID", base::FieldType::kInt},
                 {"NonStandard", base::FieldType::kBool}}));
  std::vector<BomLine> lines;
  for (const auto& row : rs.rows()) {
    BomLine l;
    PLX_ASSIGN_OR_RETURN(l.art, row[1].AsInt());
    PLX_ASSIGN_OR_RETURN(l.st_qty, row[2].AsCurrency());
    l.serial = row[3].TextOrEmpty();
    l.ord_bom_id = row[4].IntOrZero();
    l.non_standard = !row[5].IsNull() && *row[5].AsBool();
    lines.push_back(std::move(l));
  }
  return lines;
}

// The BOM rows a line may draw against, lowest ID first.
base::Result<std::vector<int32_t>> Candidates(data::Connection& cnn, const Header& h,
                                              const BomLine& l) {
  data::Sql sql(std::string("Select ID, SerialNo From MF_OrdBom Where BillID = :ord "
                            "And SortID = :line And ArtID = :art") +
                (l.non_standard ? " And SerialNo = :serial" : "") + " Order By ID");
  sql.Bind("ord", h.ord_bill).Bind("line", h.ord_sort_id).Bind("art", l.art);
  if (l.non_standard) sql.Bind("serial", l.serial);
  PLX_ASSIGN_OR_RETURN(base::Rowset rs, cnn.Query(sql, {{"ID", base::FieldType::kInt},
                                                        {"SerialNo", base::FieldType::kText}}));
  std::vector<int32_t> ids;
  for (const auto& row : rs.rows()) {
    PLX_ASSIGN_OR_RETURN(int32_t id, row[0].AsInt());
    ids.push_back(id);
  }
  return ids;
}

// Raises the BOM issued quantity of every line, adding a BOM row for
// material the order does not list. Each line's write comes before the
// next line's look-up, so a row added for one line serves the next.
base::Status RaiseBom(data::Connection& cnn, const std::string& bill_id, const Header& h,
                      const base::DateTime& exe_date, host::Effects* effects) {
  PLX_ASSIGN_OR_RETURN(std::vector<BomLine> lines, ReadBomLines(cnn, bill_id));
  for (const BomLine& l : lines) {
    PLX_ASSIGN_OR_RETURN(std::vector<int32_t> candidates, Candidates(cnn, h, l));
    if (candidates.empty()) {
      PLX_RETURN_IF_ERROR(cnn.Execute(
          data::Sql("Insert Into MF_OrdBom(BillID,SortID,ArtID,SerialNo,UseDate,OutQty,Qty,"
                    "NetQty,AddQty) Values(:ord, :line, :art, :serial, :used, :qty, 0, 0, 0)")
              .Bind("ord", h.ord_bill)
              .Bind("line", h.ord_sort_id)
              .Bind("art", l.art)
              .Bind("serial", l.serial)
              .Bind("used", exe_date.DateOnly())
              .Bind("qty", l.st_qty)));
      if (effects)
        effects->bom.push_back({h.ord_bill, h.ord_sort_id, l.art, l.serial, 0, l.st_qty, true});
      continue;
    }
    const int32_t target = ChooseBomTarget(candidates, l.ord_bom_id);
    PLX_RETURN_IF_ERROR(
        cnn.Execute(data::Sql("Update MF_OrdBom Set OutQty = OutQty + :qty Where ID = :id")
                        .Bind("qty", l.st_qty)
                        .Bind("id", target)));
    if (effects)
      effects->bom.push_back({h.ord_bill, h.ord_sort_id, l.art, l.serial, target, l.st_qty, false});
  }
  return base::OkStatus();
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
        Header header;
        PLX_RETURN_IF_NOT_OK(ReadHeader(call, vstrID, exe_date, header));
        // The order's start marks and BOM rows are read and changed below.
        PLX_RETURN_IF_NOT_OK(data::TakeLocks(call.cnn(), {data::OrderLock(header.ord_bill)}));
        if (!stock->ExecStockBill(schema::kModule, vstrID, exe_date, vstrDB, vstrErr)) {
          return Outcome::Refused("生产领料单" + vstrID + "执行时，发生以下错误：\r\n" + vstrErr);
        }
        PLX_RETURN_IF_NOT_OK(StampHeader(call.cnn(), vstrID, exe_date, user));
        PLX_ASSIGN_OR_RETURN(int64_t marked, MarkOrderStarted(call.cnn(), header, exe_date));
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
