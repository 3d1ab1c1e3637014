// What creating and revising a bill share: the checks of the line set, the
// insert of one line with its quantity in stock units, the order-line
// check and the duplicate-number check.
#ifndef PLEXAVO_WRITER_BILL_LINES_H_
#define PLEXAVO_WRITER_BILL_LINES_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/datetime.h"
#include "base/rowset.h"
#include "data/sql.h"
#include "frame/op_frame.h"

namespace writer {

// Creation checks the line memo before the quantity, and the quantity only
// when the bill is executed at once; revision checks the quantity first,
// and always.
enum class LineRules { kCreation, kCreationExecuted, kRevision };

// The fields of the bill line set as callers pass it to AddNew and Edit,
// in their usual order (the writer reads them by name).
const std::vector<base::Field>& LineSetFields();

// The checks of a new or revised bill's header, in their order: a date
// from the period's first day on (message 10240), a number either empty or
// of 12 characters (10060).
frame::Outcome CheckBillHeader(frame::Call& call, const base::DateTime& date,
                               const std::string& period, const std::string& bill_id);

// The caller's line set; a missing one is an unexpected failure (91), an
// empty one is refused (10200), and so is one of more lines than the
// company's line limit (10820).
frame::Outcome RequireLines(frame::Call& call, const std::optional<base::Rowset>& lines);

// Refuses more lines than the company's settings section allows one bill
// ("MaxBillLines", schema::kDefaultMaxBillLines when it names none).
frame::Outcome CheckLineCount(frame::Call& call, size_t count);

// A text the caller gave and the size of the column that stores it.
struct BoundedText {
  const char* field;
  std::string_view text;
  size_t size;
};

// The header texts of a new or revised bill that the caller gives.
struct HeaderTexts {
  std::string_view ord_bill, ord_sort_id, op_cate, project, item, operator_name, notes;
};

// Refuses the first header text longer than its column, naming the column
// (10830).
frame::Outcome CheckHeaderTexts(frame::Call& call, const HeaderTexts& h);

// Checks every line in order, then that no line number repeats (10840);
// the first failing check ends the call. Beside the checks of their own
// messages, a line's unit, shelf and serial number must fit their columns
// (10830 after the line's 10320 prefix).
frame::Outcome CheckLines(frame::Call& call, const base::Rowset& lines, LineRules rules);

// Inserts the lines under `bill_id`, their stock quantities converted
// through the articles' units, in as few statements as the set allows.
// `converted` is told each row once its quantity is known.
frame::Outcome InsertLines(frame::Call& call, const std::string& bill_id, const base::Rowset& lines,
                           const std::function<void(size_t)>& converted = {});

// Asks the order service whether the bill may draw on the order line, and
// for its department.
frame::Outcome CheckOrderLine(frame::Call& call, const std::string& ord_bill,
                              const std::string& ord_sort_id, std::string& dept);

// Refuses a number that another bill carries (message 10230).
frame::Outcome CheckNumberFree(frame::Call& call, const std::string& bill_id);

// Draws one new bill number for the date into `bill_id`.
frame::Outcome DrawNumber(frame::Call& call, const base::DateTime& date, std::string& bill_id);

// An optional code as stored: NULL when empty.
base::Value OptionalCode(const std::string& code);

// The header a new or revised bill is written with.
struct HeaderRow {
  std::string id;
  base::DateTime date;
  std::string ord_bill, ord_sort_id, op_cate, dept, project, item, notes, operator_name, maker;
};

// The statement `text` with the header bound to :id, :date, :ord, :line,
// :opcate, :dept, :proj, :item, :notes, :operator and :maker; codes left
// empty are stored as NULL.
data::Sql BindHeader(std::string text, const HeaderRow& h);

// The row's field as text, NULL read as the empty text.
base::Result<std::string> TextField(const base::Rowset& lines, size_t row, const char* name);

}  // namespace writer

#endif  // PLEXAVO_WRITER_BILL_LINES_H_
