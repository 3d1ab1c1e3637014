#include "writer/bill_lines.h"

#include <set>

#include "company/cnn_string.h"
#include "data/value_rows.h"
#include "frame/bill_id.h"
#include "frame/share_bus.h"
#include "frame/text.h"
#include "messages/catalogue.h"
#include "messages/showmsg.h"
#include "platform/registry.h"
#include "schema/column_sizes.h"
#include "schema/tables.h"
#include "services/order_service.h"

namespace writer {

using frame::Call;
using frame::Outcome;

namespace {

constexpr size_t kBillIdLength = schema::kBillIdSize;
constexpr size_t kMaxSortIdLength = schema::kSortIdSize;
constexpr size_t kMaxMemoLength = schema::kMemoSize;

// The refusal of a text longer than its column, naming the field.
Outcome TextTooLong(Call& call, const std::string& prefix, const BoundedText& t) {
  return Outcome::Refused(
      prefix + messages::Showmsg(messages::kMsgTextTooLong, call.lang(),
                                 std::string(t.field) + "(" + std::to_string(t.size) + ")"));
}

Outcome CheckLineTexts(Call& call, const base::Rowset& lines, size_t row,
                       const std::string& prefix) {
  const BoundedText fields[] = {{"MeasID", "", schema::kMeasIdSize},
                                {"ShelfID", "", schema::kShelfIdSize},
                                {"SerialNo", "", schema::kSerialNoSize}};
  for (const BoundedText& f : fields) {
    PLX_ASSIGN_OR_RETURN(base::Value v, lines.Get(row, f.field));
    if (!v.IsNull() && frame::TextLength(v.TextOrEmpty()) > f.size) {
      return TextTooLong(call, prefix, f);
    }
  }
  return Outcome::Ok();
}

// The line limit of the company's settings section ("MaxBillLines"), or
// the default when it names none or no valid number.
size_t MaxBillLines(const std::string& db) {
  platform::RegistryKey key;
  if (platform::RegistryKey::Open(company::kSettingsKeyPrefix + db, &key) !=
      platform::kRegSuccess) {
    return schema::kDefaultMaxBillLines;
  }
  char buf[32] = {};
  uint32_t length = sizeof buf;
  if (key.QueryValue("MaxBillLines", buf, &length) != platform::kRegSuccess) {
    return schema::kDefaultMaxBillLines;
  }
  size_t n = 0;
  for (const char* c = buf; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9' || n > 100000000) return schema::kDefaultMaxBillLines;
    n = n * 10 + static_cast<size_t>(*c - '0');
  }
  return n > 0 ? n : schema::kDefaultMaxBillLines;
}

Outcome CheckQuantity(Call& call, const base::Value& qty, const std::string& prefix) {
  if (qty.IsNull()) return Outcome::Ok();  // a missing quantity fails when it is converted
  PLX_ASSIGN_OR_RETURN(base::Currency q, qty.AsCurrency());
  if (q > base::Currency()) return Outcome::Ok();
  return Outcome::Refused(prefix +
                          messages::Showmsg(messages::kMsgQuantityNotPositive, call.lang(), ""));
}

Outcome CheckMemo(Call& call, const base::Value& memo) {
  if (!memo.IsNull() && frame::TextLength(memo.TextOrEmpty()) > kMaxMemoLength) {
    return call.Refuse(messages::kMsgRemarkTooLong);
  }
  return Outcome::Ok();
}

Outcome CheckLine(Call& call, const base::Rowset& lines, size_t row, LineRules rules) {
  PLX_ASSIGN_OR_RETURN(base::Value sort_value, lines.Get(row, "SortID"));
  PLX_ASSIGN_OR_RETURN(std::string sort_id, sort_value.AsText());
  const std::string prefix =
      messages::Showmsg(messages::kMsgLineIncomplete, call.lang(), sort_id) + "\r\n";
  if (sort_id.empty()) return call.Refuse(messages::kMsgLineNumberEmpty);
  if (frame::TextLength(sort_id) > kMaxSortIdLength) {
    return call.Refuse(messages::kMsgLineNumberTooLong);
  }
  PLX_ASSIGN_OR_RETURN(base::Value meas, lines.Get(row, "MeasID"));
  if (!meas.IsNull() && meas.TextOrEmpty().empty()) {
    return Outcome::Refused(prefix +
                            messages::Showmsg(messages::kMsgUnitRequired, call.lang(), ""));
  }
  PLX_RETURN_IF_NOT_OK(CheckLineTexts(call, lines, row, prefix));
  PLX_ASSIGN_OR_RETURN(base::Value memo, lines.Get(row, "Memo"));
  PLX_ASSIGN_OR_RETURN(base::Value qty, lines.Get(row, "Qty"));
  if (rules == LineRules::kRevision) {
    PLX_RETURN_IF_NOT_OK(CheckQuantity(call, qty, prefix));
    return CheckMemo(call, memo);
  }
  PLX_RETURN_IF_NOT_OK(CheckMemo(call, memo));
  if (rules == LineRules::kCreationExecuted) return CheckQuantity(call, qty, prefix);
  return Outcome::Ok();
}

}  // namespace

Outcome CheckBillHeader(Call& call, const base::DateTime& date, const std::string& period,
                        const std::string& bill_id) {
  PLX_ASSIGN_OR_RETURN(base::DateTime start, frame::PeriodStart(period));
  if (date < start) return call.Refuse(messages::kMsgBillDateTooEarly, start.FormatDate());
  if (!bill_id.empty() && frame::TextLength(bill_id) != kBillIdLength) {
    return call.Refuse(messages::kMsgBillNumberLength);
  }
  return Outcome::Ok();
}

Outcome RequireLines(Call& call, const std::optional<base::Rowset>& lines) {
  if (!lines.has_value()) {
    return Outcome::Fault(
        base::MakeErr(base::kErrObjectNotSet, "Object variable or With block variable not set"));
  }
  if (lines->RecordCount() < 1) return call.Refuse(messages::kMsgNoDetailLines);
  return CheckLineCount(call, lines->RecordCount());
}

Outcome CheckLineCount(Call& call, size_t count) {
  const size_t limit = MaxBillLines(call.db());
  if (count > limit) return call.Refuse(messages::kMsgTooManyLines, std::to_string(limit));
  return Outcome::Ok();
}

Outcome CheckLines(Call& call, const base::Rowset& lines, LineRules rules) {
  std::set<std::string> seen;
  for (size_t row = 0; row < lines.RecordCount(); ++row) {
    PLX_RETURN_IF_NOT_OK(CheckLine(call, lines, row, rules));
    // Two lines of one number would fail only at their insert.
    PLX_ASSIGN_OR_RETURN(std::string sort_id, TextField(lines, row, "SortID"));
    if (!seen.insert(sort_id).second) {
      return call.Refuse(messages::kMsgDuplicateLineNumber, sort_id);
    }
  }
  return Outcome::Ok();
}

Outcome CheckHeaderTexts(Call& call, const HeaderTexts& h) {
  const BoundedText texts[] = {{"OrdBill", h.ord_bill, schema::kOrdBillSize},
                               {"OrdSortID", h.ord_sort_id, schema::kOrdSortIdSize},
                               {"OpCateID", h.op_cate, schema::kCodeSize},
                               {"ProjID", h.project, schema::kCodeSize},
                               {"ItemID", h.item, schema::kCodeSize},
                               {"Operator", h.operator_name, schema::kPersonSize},
                               {"Notes", h.notes, schema::kNotesSize}};
  for (const BoundedText& t : texts) {
    if (frame::TextLength(t.text) > t.size) return TextTooLong(call, "", t);
  }
  return Outcome::Ok();
}

base::Result<std::string> TextField(const base::Rowset& lines, size_t row, const char* name) {
  PLX_ASSIGN_OR_RETURN(base::Value v, lines.Get(row, name));
  return v.TextOrEmpty();
}

namespace {

// One line as it is inserted; its quantity is still in the caller's unit.
struct NewLine {
  frame::share_bus::UnitQty unit;
  std::string sort_id, shelf, serial, memo;
  base::Value valid_date;
  int32_t bom_id = 0;
};

// The fields a line's conversion needs.
base::Status ReadUnit(const base::Rowset& lines, size_t row, NewLine& l) {
  PLX_ASSIGN_OR_RETURN(base::Value art, lines.Get(row, "ArtID"));
  PLX_ASSIGN_OR_RETURN(base::Value meas, lines.Get(row, "MeasID"));
  PLX_ASSIGN_OR_RETURN(base::Value qty, lines.Get(row, "Qty"));
  PLX_ASSIGN_OR_RETURN(l.unit.art, art.AsInt());
  PLX_ASSIGN_OR_RETURN(l.unit.meas, meas.AsText());
  PLX_ASSIGN_OR_RETURN(l.unit.qty, qty.AsCurrency());
  return base::OkStatus();
}

// The line's other fields, read once its quantity is converted.
base::Status ReadRest(const base::Rowset& lines, size_t row, NewLine& l) {
  PLX_ASSIGN_OR_RETURN(base::Value sort_id, lines.Get(row, "SortID"));
  PLX_ASSIGN_OR_RETURN(l.sort_id, sort_id.AsText());
  PLX_ASSIGN_OR_RETURN(l.shelf, TextField(lines, row, "ShelfID"));
  PLX_ASSIGN_OR_RETURN(l.serial, TextField(lines, row, "SerialNo"));
  PLX_ASSIGN_OR_RETURN(l.memo, TextField(lines, row, "Memo"));
  PLX_ASSIGN_OR_RETURN(base::Value valid, lines.Get(row, "ValidDate"));
  PLX_ASSIGN_OR_RETURN(base::Value bom, lines.Get(row, "OrdBomID"));
  PLX_ASSIGN_OR_RETURN(l.bom_id, bom.AsInt());
  if (!valid.IsNull()) {
    PLX_ASSIGN_OR_RETURN(base::DateTime d, valid.AsDate());
    l.valid_date = base::Value(d.DateOnly());
  }
  return base::OkStatus();
}

// Reads the lines in order up to the first that fails. A failure of a
// line's own fields comes before its conversion, one of its other fields
// after it: `to_convert` counts the lines to convert before the failure
// is answered.
base::Status ReadNewLines(const base::Rowset& lines, std::vector<NewLine>& read,
                          size_t& to_convert) {
  for (size_t row = 0; row < lines.RecordCount(); ++row) {
    to_convert = row;
    NewLine l;
    PLX_RETURN_IF_ERROR(ReadUnit(lines, row, l));
    read.push_back(l);
    to_convert = row + 1;
    PLX_RETURN_IF_ERROR(ReadRest(lines, row, read.back()));
  }
  return base::OkStatus();
}

}  // namespace

Outcome InsertLines(Call& call, const std::string& bill_id, const base::Rowset& lines,
                    const std::function<void(size_t)>& converted) {
  std::vector<NewLine> read;
  size_t to_convert = 0;
  const base::Status status = ReadNewLines(lines, read, to_convert);
  std::vector<frame::share_bus::UnitQty> units;
  for (size_t i = 0; i < to_convert; ++i) units.push_back(read[i].unit);
  size_t done = 0;
  auto st_qty = frame::share_bus::StMeasQtys(units, call.db(), done);
  if (converted) {
    for (size_t i = 0; i < done; ++i) converted(i);
  }
  if (!st_qty.ok()) return st_qty.err();
  PLX_RETURN_IF_ERROR(status);
  std::vector<std::vector<base::Value>> rows;
  rows.reserve(read.size());
  for (size_t i = 0; i < read.size(); ++i) {
    const NewLine& l = read[i];
    rows.push_back({bill_id, l.sort_id, l.unit.art, l.unit.meas, l.shelf, l.serial, l.valid_date,
                    l.unit.qty, (*st_qty)[i], l.memo, l.bom_id});
  }
  PLX_RETURN_IF_ERROR(data::ExecuteRows(
      call.cnn(),
      {"Insert Into MF_OutDetail(BillID,SortID,ArtID,MeasID,ShelfID,SerialNo,ValidDate,"
       "Qty,StQty,Memo,OrdBomID) ",
       "", std::vector<base::FieldType>(11, base::FieldType::kText), false},
      rows));
  return Outcome::Ok();
}

Outcome CheckOrderLine(Call& call, const std::string& ord_bill, const std::string& ord_sort_id,
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

Outcome CheckNumberFree(Call& call, const std::string& bill_id) {
  PLX_ASSIGN_OR_RETURN(
      base::Rowset rs,
      call.cnn().Query(
          data::Sql("Select BillID From MF_OutBill Where BillID = :id").Bind("id", bill_id),
          {{"BillID", base::FieldType::kText}}));
  if (rs.RecordCount() > 0) return call.Refuse(messages::kMsgDuplicateBillNumber);
  return Outcome::Ok();
}

Outcome DrawNumber(Call& call, const base::DateTime& date, std::string& bill_id) {
  if (!frame::share_bus::GetBillID(call.ctx(), schema::kOutBill, 1, date, bill_id, call.db(),
                                   call.err())) {
    return Outcome::Reported();
  }
  return Outcome::Ok();
}

base::Value OptionalCode(const std::string& code) {
  return code.empty() ? base::Value() : base::Value(code);
}

data::Sql BindHeader(std::string text, const HeaderRow& h) {
  data::Sql sql(std::move(text));
  sql.Bind("id", h.id)
      .Bind("date", h.date.DateOnly())
      .Bind("ord", h.ord_bill)
      .Bind("line", h.ord_sort_id)
      .Bind("opcate", OptionalCode(h.op_cate))
      .Bind("dept", OptionalCode(h.dept))
      .Bind("proj", OptionalCode(h.project))
      .Bind("item", OptionalCode(h.item))
      .Bind("notes", h.notes)
      .Bind("operator", h.operator_name)
      .Bind("maker", h.maker);
  return sql;
}

const std::vector<base::Field>& LineSetFields() {
  using base::FieldType;
  static const std::vector<base::Field> kFields = {
      {"SortID", FieldType::kText},   {"ArtID", FieldType::kInt},
      {"MeasID", FieldType::kText},   {"ShelfID", FieldType::kText},
      {"SerialNo", FieldType::kText}, {"ValidDate", FieldType::kDate},
      {"Qty", FieldType::kCurrency},  {"Memo", FieldType::kText},
      {"OrdBomID", FieldType::kInt}};
  return kFields;
}

}  // namespace writer
