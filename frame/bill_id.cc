#include "frame/bill_id.h"

#include <cctype>
#include <optional>

#include "base/ascii.h"
#include "data/locks.h"
#include "frame/op_frame.h"
#include "messages/catalogue.h"

namespace frame::share_bus {
namespace {

base::Err Exhausted(const Numbering& n) {
  return base::MakeErr(base::kErrOverflow, "单据编号已用完！(No bill number is left for " +
                                               n.prefix + ": all " + std::to_string(n.last) +
                                               " numbers are taken.)");
}

// Table names cannot be bound; only a plain identifier is accepted.
base::Status CheckTableName(const std::string& table) {
  bool ok = !table.empty() && table.size() <= 64;
  for (char c : table) ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
  if (ok) return base::OkStatus();
  return base::MakeErr(base::kErrInvalidArgument, "Invalid table name '" + table + "'");
}

// The numbering mode: IDMode converted to a whole number; 0 or no row is daily.
base::Result<bool> MonthlyMode(data::Connection& cnn) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      cnn.Query(data::Sql("Select Value From SM_Config Where ID = :id").Bind("id", "IDMode"),
                {{"Value", base::FieldType::kText}}));
  if (rs.RecordCount() == 0) return false;
  PLX_ASSIGN_OR_RETURN(std::string text, rs.Row(0)[0].AsText());
  size_t b = text.find_first_not_of(' ');
  size_t e = text.find_last_not_of(' ');
  std::string trimmed = b == std::string::npos ? "" : text.substr(b, e - b + 1);
  auto value = base::Currency::Parse(trimmed);
  if (!value.ok()) {
    return base::MakeErr(base::kErrTypeMismatch, "Type mismatch: IDMode '" + text + "'");
  }
  // Converted to a whole number, halves rounding to even: only a value
  // beyond ±0.5 gives a non-zero mode.
  const int64_t scaled = value->scaled();
  if (scaled > 21474836475000LL || scaled < -21474836485000LL) {
    return base::MakeErr(base::kErrOverflow, "Overflow");
  }
  return scaled > 5000 || scaled < -5000;
}

// Binds the period's bounds. Every numeric text that starts with the
// prefix sorts below prefix + ":" (the character after '9'), so the upper
// bound only lets the key's index narrow the search; it drops no row.
void BindPeriod(data::Sql& sql, const Numbering& n) {
  sql.Bind("zero", n.prefix + std::string(n.width, '0'))
      .Bind("above", n.prefix + ":")
      .Bind("prefix", n.prefix + "%");
}

std::string PeriodCondition(const data::Connection& cnn) {
  return " Where BillID > :zero And BillID < :above And BillID Like :prefix And " +
         cnn.dialect().IsNumeric("BillID");
}

// How many numbers of the period are in use, and how many of those are not
// of the usual 12 characters.
struct PeriodCount {
  int64_t used = 0;
  int64_t odd = 0;
};

// The bill table's counts are kept by the database itself (a table that
// triggers maintain on every insert, delete and renumbering, whoever makes
// them), so reading them costs the same however many bills the period
// holds. Another table is counted row by row.
base::Result<PeriodCount> CountPeriod(data::Connection& cnn, const std::string& table,
                                      const Numbering& n) {
  if (base::AsciiLower(table) == "mf_outbill") {
    PLX_ASSIGN_OR_RETURN(
        base::Rowset rs,
        cnn.Query(data::Sql("Select Used, Odd From MF_BillIDCount Where Prefix = :prefix")
                      .Bind("prefix", n.prefix),
                  {{"Used", base::FieldType::kInt}, {"Odd", base::FieldType::kInt}}));
    if (rs.RecordCount() == 0) return PeriodCount{};
    PLX_ASSIGN_OR_RETURN(int32_t used, rs.Row(0)[0].AsInt());
    PLX_ASSIGN_OR_RETURN(int32_t odd, rs.Row(0)[1].AsInt());
    return PeriodCount{used, odd};
  }
  data::Sql sql(
      "Select COUNT(*), COALESCE(SUM(CASE WHEN length(BillID) <> 12 THEN 1 ELSE 0 END), "
      "0) From " +
      table + PeriodCondition(cnn));
  BindPeriod(sql, n);
  PLX_ASSIGN_OR_RETURN(base::Rowset rs, cnn.Query(sql, {{"N", base::FieldType::kInt},
                                                        {"Odd", base::FieldType::kInt}}));
  PLX_ASSIGN_OR_RETURN(int32_t used, rs.Row(0)[0].AsInt());
  PLX_ASSIGN_OR_RETURN(int32_t odd, rs.Row(0)[1].AsInt());
  return PeriodCount{used, odd};
}

// The period's highest number in use when it is `from` or above, or the
// empty text. Only the rows from `from` upwards are read, whatever plan the
// database chooses (when the period has no gaps, that is one row).
base::Result<std::string> TopFrom(data::Connection& cnn, const std::string& table,
                                  const Numbering& n, const std::string& from) {
  data::Sql sql("Select BillID From " + table +
                " Where BillID >= :from And BillID < :above And BillID Like :prefix And " +
                cnn.dialect().IsNumeric("BillID") + " Order By BillID Desc LIMIT 1");
  sql.Bind("from", from).Bind("above", n.prefix + ":").Bind("prefix", n.prefix + "%");
  PLX_ASSIGN_OR_RETURN(base::Rowset rs, cnn.Query(sql, {{"BillID", base::FieldType::kText}}));
  return rs.RecordCount() == 0 ? std::string() : rs.Row(0)[0].TextOrEmpty();
}

// Usually the period's count and highest number decide without a walk over
// its numbers. One number: when the highest is the count's own number, the
// answer is one past the count, as the walk would find. A batch: when
// moreover every number has the usual 12 characters, the numbers in use are
// exactly 1 to the count, and the batch follows them. Answers the count
// then, or nullopt when the period must be walked.
base::Result<std::optional<int64_t>> GaplessCount(data::Connection& cnn, const std::string& table,
                                                  const Numbering& n, int32_t count) {
  PLX_ASSIGN_OR_RETURN(PeriodCount period, CountPeriod(cnn, table, n));
  if (period.used == 0) return std::optional<int64_t>(0);
  if (count > 1 && period.odd != 0) return std::optional<int64_t>();
  const std::string nth = n.Format(period.used);
  PLX_ASSIGN_OR_RETURN(std::string top, TopFrom(cnn, table, n, nth));
  if (top != nth) return std::optional<int64_t>();
  return std::optional<int64_t>(period.used);
}

base::Result<std::vector<std::string>> NumbersInUse(data::Connection& cnn, const std::string& table,
                                                    const Numbering& n, bool descending) {
  data::Sql sql("Select BillID From " + table + PeriodCondition(cnn) + " Order By BillID" +
                (descending ? " Desc" : ""));
  BindPeriod(sql, n);
  PLX_ASSIGN_OR_RETURN(base::Rowset rs, cnn.Query(sql, {{"BillID", base::FieldType::kText}}));
  std::vector<std::string> ids;
  ids.reserve(rs.RecordCount());
  for (const auto& row : rs.rows()) ids.push_back(row[0].TextOrEmpty());
  return ids;
}

}  // namespace

std::string Numbering::Format(int64_t counter) const {
  std::string digits = std::to_string(counter);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
  return prefix + digits;
}

Numbering NumberingFor(bool monthly, const base::DateTime& date) {
  char buf[16];
  if (monthly) {
    std::snprintf(buf, sizeof buf, "%04d%02d", date.Year(), date.Month());
    return Numbering{buf, 6, 999999};
  }
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", date.Year(), date.Month(), date.Day());
  return Numbering{buf, 4, 9999};
}

base::Result<std::vector<std::string>> NextAfter(const Numbering& n, int64_t used, int32_t count) {
  std::vector<std::string> picked;
  for (int64_t k = used + 1; k <= used + count; ++k) {
    if (k > n.last) return Exhausted(n);
    picked.push_back(n.Format(k));
  }
  return picked;
}

base::Result<std::vector<std::string>> PickNumbers(const Numbering& n,
                                                   const std::vector<std::string>& in_use,
                                                   int32_t count) {
  std::vector<std::string> picked;
  if (count == 1) {
    const int64_t used = static_cast<int64_t>(in_use.size());
    int64_t k;
    if (used < 1) {
      k = 1;
    } else if (in_use[0] == n.Format(used)) {
      k = used + 1;  // no gaps: one past the highest
    } else {
      // Walk down from one past the count until the candidate lies above a
      // number in use: that candidate is free.
      k = used + 1;
      for (const std::string& id : in_use) {
        if (n.Format(k) > id) break;
        --k;
      }
    }
    if (k > n.last || k < 1) return Exhausted(n);
    picked.push_back(n.Format(k));
    return picked;
  }
  int64_t k = 1;
  for (const std::string& id : in_use) {
    while (id != n.Format(k)) {
      if (k > n.last) return Exhausted(n);
      picked.push_back(n.Format(k));
      ++k;
      if (static_cast<int32_t>(picked.size()) == count) return picked;
    }
    ++k;  // the number is in use
  }
  while (static_cast<int32_t>(picked.size()) != count) {
    if (k > n.last) return Exhausted(n);
    picked.push_back(n.Format(k++));
  }
  return picked;
}

namespace {

// The period's numbers to hand out, joined by ",".
Outcome DrawNumbers(Call& call, const std::string& table, int32_t count, const base::DateTime& date,
                    std::string& joined) {
  PLX_RETURN_IF_NOT_OK(CheckTableName(table));
  PLX_RETURN_IF_NOT_OK(call.OpenConnection());
  PLX_ASSIGN_OR_RETURN(bool monthly, MonthlyMode(call.cnn()));
  const Numbering numbering = NumberingFor(monthly, date);
  PLX_RETURN_IF_NOT_OK(
      data::TakeLocks(call.cnn(), {data::NumberRangeLock(table, numbering.prefix)}));
  PLX_ASSIGN_OR_RETURN(std::optional<int64_t> gapless,
                       GaplessCount(call.cnn(), table, numbering, count));
  base::Result<std::vector<std::string>> picked;
  if (gapless.has_value()) {
    picked = NextAfter(numbering, *gapless, count);
  } else {
    PLX_ASSIGN_OR_RETURN(std::vector<std::string> in_use,
                         NumbersInUse(call.cnn(), table, numbering, count == 1));
    picked = PickNumbers(numbering, in_use, count);
  }
  // A period without a free number is a refusal, not a fault.
  if (!picked.ok()) return Outcome::Refused(picked.err().description);
  joined.clear();
  for (const std::string& id : *picked) joined += (joined.empty() ? "" : ",") + id;
  if (host::Effects* effects = call.ctx().effects()) {
    effects->numbers.insert(effects->numbers.end(), picked->begin(), picked->end());
  }
  return Outcome::Ok();
}

}  // namespace

bool GetBillID(host::ObjectContext& ctx, const std::string& vstrTable, int32_t vlngCount,
               const base::DateTime& vdtmDate, std::string& vstrBillID, const std::string& vstrDB,
               std::string& vstrErr) {
  if (vlngCount < 1) {
    vstrErr = messages::kBillCountError;
    ctx.SetAbort();
    return false;
  }
  return RunOperation<bool>(
      ctx, "Share_Bus.GetBillID of " + vstrTable, vstrDB, vstrErr, false,
      [&](Call& call, bool& result) -> Outcome {
        std::string joined;
        PLX_RETURN_IF_NOT_OK(DrawNumbers(call, vstrTable, vlngCount, vdtmDate, joined));
        vstrBillID = joined;
        result = true;
        return Outcome::Ok();
      });
}

}  // namespace frame::share_bus
