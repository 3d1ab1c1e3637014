#include "services/sql_stock_posting_service.h"

#include <map>
#include <set>
#include <tuple>

#include "data/connection.h"
#include "data/locks.h"
#include "data/value_rows.h"
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

using Balances = std::map<Key, base::Currency>;

Key KeyOf(const Line& l) { return {l.shelf, l.art, l.serial}; }

// The balances the lines draw on that exist, read in one statement.
base::Result<Balances> ReadBalances(data::Connection& cnn, const std::vector<Line>& lines) {
  std::vector<std::vector<base::Value>> keys;
  std::set<Key> seen;
  for (const Line& l : lines) {
    if (seen.insert(KeyOf(l)).second) keys.push_back({l.shelf, l.art, l.serial});
  }
  using base::FieldType;
  const data::RowStatement statement{
      "SELECT ShelfID, ArtID, SerialNo, Qty FROM ST_ShelfBal WHERE (ShelfID, ArtID, SerialNo) IN (",
      ")",
      {FieldType::kText, FieldType::kInt, FieldType::kText},
      true};
  PLX_ASSIGN_OR_RETURN(base::Rowset rs, data::QueryRows(cnn, statement, keys,
                                                        {{"ShelfID", FieldType::kText},
                                                         {"ArtID", FieldType::kInt},
                                                         {"SerialNo", FieldType::kText},
                                                         {"Qty", FieldType::kCurrency}}));
  Balances balances;
  for (const auto& row : rs.rows()) {
    PLX_ASSIGN_OR_RETURN(int32_t art, row[1].AsInt());
    PLX_ASSIGN_OR_RETURN(base::Currency qty, row[3].AsCurrency());
    balances[{row[0].TextOrEmpty(), art, row[2].TextOrEmpty()}] = qty;
  }
  return balances;
}

// Checks every balance the bill draws on before anything moves, summing
// the lines that draw on the same balance. Answers a refusal text naming
// the first line that cannot be served, or "" when all can. With `effects`
// (a dry run) every short line is written down, not only the first.
base::Result<std::string> CheckBalances(const std::string& bill_id, const Balances& have,
                                        const std::vector<Line>& lines, host::Effects* effects) {
  Balances needed;
  std::string refusal;
  for (const Line& l : lines) {
    const Key key = KeyOf(l);
    PLX_ASSIGN_OR_RETURN(needed[key], needed[key].Add(l.qty));
    auto found = have.find(key);
    std::string short_text;
    if (found == have.end()) {
      short_text = messages::Showmsg(messages::kMsgItemNotInLocation, "", l.sort_id);
    } else if (found->second < needed[key]) {
      short_text = messages::Showmsg(messages::kMsgLocationBalanceShortOnDate, "", l.sort_id);
    }
    if (short_text.empty()) continue;
    if (refusal.empty()) refusal = short_text;
    if (effects == nullptr) break;
    const base::Currency available = found == have.end() ? base::Currency() : found->second;
    PLX_ASSIGN_OR_RETURN(base::Currency shortfall, needed[key].Sub(available));
    effects->shortages.push_back(
        {bill_id, l.sort_id, l.shelf, l.art, l.serial, needed[key], available, shortfall});
  }
  return refusal;
}

base::Result<base::Currency> SignedQty(const Line& l, int32_t direction) {
  return direction == kOut ? base::Currency().Sub(l.qty) : base::Result<base::Currency>(l.qty);
}

// Writes every movement down for a dry run, in line order, with the balance
// before and after; lines on the same balance follow one another.
base::Status NoteMoves(const std::string& bill_id, const std::vector<Line>& lines, Balances running,
                       int32_t direction, host::Effects& effects) {
  for (const Line& l : lines) {
    PLX_ASSIGN_OR_RETURN(base::Currency delta, SignedQty(l, direction));
    base::Currency& balance = running[KeyOf(l)];
    const base::Currency was = balance;
    PLX_ASSIGN_OR_RETURN(balance, was.Add(delta));
    effects.stock.push_back({bill_id, l.sort_id, l.shelf, l.art, l.serial, delta, was, balance});
  }
  return base::OkStatus();
}

// Moves every line's quantity: the existing balances change in one
// statement, the missing ones are added in another, and every line leaves
// its move record, in line order.
base::Status Move(data::Connection& cnn, const std::string& module, const std::string& bill_id,
                  const std::vector<Line>& lines, const Balances& existing,
                  const base::DateTime& date, int32_t direction, host::Effects* effects) {
  if (effects != nullptr) {
    PLX_RETURN_IF_ERROR(NoteMoves(bill_id, lines, existing, direction, *effects));
  }
  Balances deltas;
  for (const Line& l : lines) {
    PLX_ASSIGN_OR_RETURN(base::Currency delta, SignedQty(l, direction));
    base::Currency& sum = deltas[KeyOf(l)];
    PLX_ASSIGN_OR_RETURN(sum, sum.Add(delta));
  }
  std::vector<std::vector<base::Value>> changed, added;
  for (const auto& [key, delta] : deltas) {
    const auto& [shelf, art, serial] = key;
    (existing.count(key) > 0 ? changed : added).push_back({shelf, art, serial, delta});
  }
  using base::FieldType;
  const std::vector<FieldType> balance_columns = {FieldType::kText, FieldType::kInt,
                                                  FieldType::kText, FieldType::kCurrency};
  PLX_RETURN_IF_ERROR(data::ExecuteRows(
      cnn,
      {"UPDATE ST_ShelfBal SET Qty = Qty + v.column4 FROM (",
       ") AS v WHERE ST_ShelfBal.ShelfID = v.column1 AND ST_ShelfBal.ArtID = v.column2 "
       "AND ST_ShelfBal.SerialNo = v.column3",
       balance_columns, true},
      changed));
  PLX_RETURN_IF_ERROR(data::ExecuteRows(
      cnn, {"INSERT INTO ST_ShelfBal (ShelfID, ArtID, SerialNo, Qty) ", "", balance_columns, false},
      added));
  const base::Value now(base::DateTime::Now().FormatDateTime());
  std::vector<std::vector<base::Value>> moves;
  for (const Line& l : lines) {
    moves.push_back({module, bill_id, l.sort_id, l.shelf, l.art, l.serial, l.qty, date.DateOnly(),
                     direction, now});
  }
  PLX_RETURN_IF_ERROR(data::ExecuteRows(
      cnn,
      {"INSERT INTO ST_StockMove (Module, BillID, SortID, ShelfID, ArtID, SerialNo, Qty, MoveDate, "
       "Direction, Recorded) ",
       "", std::vector<FieldType>(10, FieldType::kText), false},
      moves));
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
    PLX_ASSIGN_OR_RETURN(Balances have, ReadBalances(cnn, lines));
    PLX_ASSIGN_OR_RETURN(refusal, CheckBalances(bill_id, have, lines, effects));
    if (!refusal.empty()) return base::OkStatus();
    return Move(cnn, module, bill_id, lines, have, date, kOut, effects);
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
    PLX_ASSIGN_OR_RETURN(Balances have, ReadBalances(cnn, lines));
    return Move(cnn, module, bill_id, lines, have, date, kBack, GetObjectContext().effects());
  }();
  return Finish(status, "", err);
}

}  // namespace services
