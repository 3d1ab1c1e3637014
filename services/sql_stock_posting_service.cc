#include "services/sql_stock_posting_service.h"

#include <map>
#include <tuple>

#include "data/connection.h"
#include "data/locks.h"
#include "messages/catalogue.h"
#include "messages/showmsg.h"
#include "services/lookup_support.h"

namespace services {
namespace {

constexpr int32_t kOut = -1;
constexpr int32_t kBack = 1;

struct Line {
  std::string sort_id;
  std::string shelf;
  int32_t art = 0;
  std::string serial;
  base::Currency qty;
};

using Key = std::tuple<std::string, int32_t, std::string>;  // shelf, article, serial

base::Result<std::vector<Line>> ReadLines(data::Connection& cnn, const std::string& bill_id) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("SELECT SortID, ShelfID, ArtID, SerialNo, StQty FROM MF_OutDetail "
                          "WHERE BillID = :bill ORDER BY SortID")
                    .Bind("bill", bill_id),
                {{"SortID", base::FieldType::kText},
                 {"ShelfID", base::FieldType::kText},
                 {"ArtID", base::FieldType::kInt},
                 {"SerialNo", base::FieldType::kText},
                 {"StQty", base::FieldType::kCurrency}}));
  std::vector<Line> lines;
  for (const auto& row : rs.rows()) {
    Line l;
    l.sort_id = row[0].TextOrEmpty();
    l.shelf = row[1].TextOrEmpty();
    PLX_ASSIGN_OR_RETURN(l.art, row[2].AsInt());
    l.serial = row[3].TextOrEmpty();
    PLX_ASSIGN_OR_RETURN(l.qty, row[4].AsCurrency());
    lines.push_back(std::move(l));
  }
  return lines;
}

base::Result<std::optional<base::Currency>> Balance(data::Connection& cnn, const Key& key) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("SELECT Qty FROM ST_ShelfBal WHERE ShelfID = :shelf AND ArtID = :art "
                          "AND SerialNo = :serial")
                    .Bind("shelf", std::get<0>(key))
                    .Bind("art", std::get<1>(key))
                    .Bind("serial", std::get<2>(key)),
                {{"Qty", base::FieldType::kCurrency}}));
  if (rs.RecordCount() == 0) return std::optional<base::Currency>();
  PLX_ASSIGN_OR_RETURN(base::Currency qty, rs.Row(0)[0].AsCurrency());
  return std::optional<base::Currency>(qty);
}

// Checks every balance the bill draws on before anything moves, summing
// the lines that draw on the same balance. Answers a refusal text naming
// the first line that cannot be served, or "" when all can. With `effects`
// (a dry run) every short line is written down, not only the first.
base::Result<std::string> CheckBalances(data::Connection& cnn, const std::string& bill_id,
                                        const std::vector<Line>& lines, host::Effects* effects) {
  std::map<Key, base::Currency> needed;
  std::string refusal;
  for (const Line& l : lines) {
    Key key{l.shelf, l.art, l.serial};
    PLX_ASSIGN_OR_RETURN(needed[key], needed[key].Add(l.qty));
    PLX_ASSIGN_OR_RETURN(std::optional<base::Currency> have, Balance(cnn, key));
    std::string short_text;
    if (!have.has_value()) {
      short_text = messages::Showmsg(messages::kMsgItemNotInLocation, "", l.sort_id);
    } else if (*have < needed[key]) {
      short_text = messages::Showmsg(messages::kMsgLocationBalanceShortOnDate, "", l.sort_id);
    }
    if (short_text.empty()) continue;
    if (refusal.empty()) refusal = short_text;
    if (effects == nullptr) break;
    const base::Currency available = have.value_or(base::Currency());
    PLX_ASSIGN_OR_RETURN(base::Currency shortfall, needed[key].Sub(available));
    effects->shortages.push_back(
        {bill_id, l.sort_id, l.shelf, l.art, l.serial, needed[key], available, shortfall});
  }
  return refusal;
}

// Writes a movement down for a dry run, with the balance before and after.
base::Status NoteMove(data::Connection& cnn, const std::string& bill_id, const Line& l,
                      const base::Currency& delta, host::Effects& effects) {
  PLX_ASSIGN_OR_RETURN(std::optional<base::Currency> before,
                       Balance(cnn, Key{l.shelf, l.art, l.serial}));
  const base::Currency was = before.value_or(base::Currency());
  PLX_ASSIGN_OR_RETURN(base::Currency after, was.Add(delta));
  effects.stock.push_back({bill_id, l.sort_id, l.shelf, l.art, l.serial, delta, was, after});
  return base::OkStatus();
}

base::Status Move(data::Connection& cnn, const std::string& module, const std::string& bill_id,
                  const Line& l, const base::DateTime& date, int32_t direction,
                  host::Effects* effects) {
  base::Currency delta = direction == kOut ? base::Currency().Sub(l.qty).value() : l.qty;
  if (effects != nullptr) PLX_RETURN_IF_ERROR(NoteMove(cnn, bill_id, l, delta, *effects));
  PLX_ASSIGN_OR_RETURN(
      int64_t changed,
      cnn.Execute(data::Sql("UPDATE ST_ShelfBal SET Qty = Qty + :delta WHERE ShelfID = :shelf "
                            "AND ArtID = :art AND SerialNo = :serial")
                      .Bind("delta", delta)
                      .Bind("shelf", l.shelf)
                      .Bind("art", l.art)
                      .Bind("serial", l.serial)));
  if (changed == 0) {
    PLX_RETURN_IF_ERROR(
        cnn.Execute(data::Sql("INSERT INTO ST_ShelfBal (ShelfID, ArtID, SerialNo, Qty) "
                              "VALUES (:shelf, :art, :serial, :qty)")
                        .Bind("shelf", l.shelf)
                        .Bind("art", l.art)
                        .Bind("serial", l.serial)
                        .Bind("qty", delta)));
  }
  PLX_RETURN_IF_ERROR(
      cnn.Execute(data::Sql("INSERT INTO ST_StockMove (Module, BillID, SortID, ShelfID, ArtID, "
                            "SerialNo, Qty, MoveDate, Direction, Recorded) VALUES (:module, :bill, "
                            ":line, :shelf, :art, :serial, :qty, :date, :dir, :now)")
                      .Bind("module", module)
                      .Bind("bill", bill_id)
                      .Bind("line", l.sort_id)
                      .Bind("shelf", l.shelf)
                      .Bind("art", l.art)
                      .Bind("serial", l.serial)
                      .Bind("qty", l.qty)
                      .Bind("date", date.DateOnly())
                      .Bind("dir", direction)
                      .Bind("now", base::DateTime::Now().FormatDateTime())));
  return base::OkStatus();
}

// Locks every balance the bill moves before any is read.
base::Status LockBalances(data::Connection& cnn, const std::vector<Line>& lines) {
  std::vector<data::LockName> names;
  for (const Line& l : lines) names.push_back(data::StockBalanceLock(l.shelf, l.art, l.serial));
  return data::TakeLocks(cnn, std::move(names));
}

}  // namespace

bool SqlStockPostingService::Finish(const base::Status& status, const std::string& refusal,
                                    std::string& err) {
  if (!status.ok() || !refusal.empty()) {
    err = status.ok() ? refusal : status.err().description;
    return GetObjectContext().VoteFor(false);
  }
  return GetObjectContext().VoteFor(true);
}

bool SqlStockPostingService::ExecStockBill(const std::string& module, const std::string& bill_id,
                                           const base::DateTime& date, const std::string& db,
                                           std::string& err) {
  std::string refusal;
  base::Status status = [&]() -> base::Status {
    data::Connection cnn;
    PLX_RETURN_IF_ERROR(
        OpenCompanyDb(GetObjectContext(), "Plexavo.StockPostingService.ExecStockBill", db, cnn));
    PLX_ASSIGN_OR_RETURN(std::vector<Line> lines, ReadLines(cnn, bill_id));
    PLX_RETURN_IF_ERROR(LockBalances(cnn, lines));
    host::Effects* effects = GetObjectContext().effects();
    PLX_ASSIGN_OR_RETURN(refusal, CheckBalances(cnn, bill_id, lines, effects));
    if (!refusal.empty()) return base::OkStatus();
    for (const Line& l : lines) {
      PLX_RETURN_IF_ERROR(Move(cnn, module, bill_id, l, date, kOut, effects));
    }
    return base::OkStatus();
  }();
  return Finish(status, refusal, err);
}

bool SqlStockPostingService::UnExecStockBill(const std::string& module, const std::string& bill_id,
                                             const base::DateTime& date, const std::string& db,
                                             std::string& err) {
  base::Status status = [&]() -> base::Status {
    data::Connection cnn;
    PLX_RETURN_IF_ERROR(
        OpenCompanyDb(GetObjectContext(), "Plexavo.StockPostingService.UnExecStockBill", db, cnn));
    PLX_ASSIGN_OR_RETURN(std::vector<Line> lines, ReadLines(cnn, bill_id));
    PLX_RETURN_IF_ERROR(LockBalances(cnn, lines));
    host::Effects* effects = GetObjectContext().effects();
    for (const Line& l : lines) {
      PLX_RETURN_IF_ERROR(Move(cnn, module, bill_id, l, date, kBack, effects));
    }
    return base::OkStatus();
  }();
  return Finish(status, "", err);
}

}  // namespace services
