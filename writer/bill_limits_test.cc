// Bounds on what one writer call may store: texts within their columns, no
// repeated line numbers, and at most the company's line limit per bill.
#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::BillFixture;
using testing_support::CallResult;
using testing_support::D;
using testing_support::Lines;
using testing_support::LineSpec;

const std::string kLine1 = "在序号 1 的明细项中，数据不完整。\r\n";

std::string TooLong(const std::string& field) { return field + " 的长度超出了允许的字符数！"; }

class BillLimitsTest : public BillFixture {
 protected:
  // AddNew with header text `field` (OpCateID, OrdBill, ProjID, ItemID,
  // Operator or Notes) set to `value`, the others as a caller would.
  CallResult AddNewWith(const std::string& field, const std::string& value,
                        const std::vector<LineSpec>& lines) {
    auto text = [&](const char* name, const char* usual) {
      return field == name ? value : std::string(usual);
    };
    return Writer("amy", [&](MF_OutBillE& w, CallResult& r) {
      return w.AddNew(r.id, D("2026-12-06"), text("OpCateID", ""), text("OrdBill", "MO1"), "1",
                      text("ProjID", ""), text("ItemID", ""), text("Operator", ""),
                      text("Notes", ""), Lines(lines), false, company_.name(), r.err);
    });
  }
  platform::EventLogCapture log_;
};

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST_F(BillLimitsTest, TextsLongerThanTheirColumnsAreRefusedNamingTheField) {
  const int64_t bills = Count("MF_OutBill");
  const std::string mb(1024 * 1024, 'x');
  const struct {
    std::string field, value;
    LineSpec line;
    std::string expect;
  } cases[] = {
      {"Operator", mb, {}, TooLong("Operator(80)")},
      {"Operator", Repeat("王", 81), {}, TooLong("Operator(80)")},
      {"Notes", std::string(256, 'n'), {}, TooLong("Notes(255)")},
      {"OrdBill", std::string(41, 'O'), {}, TooLong("OrdBill(40)")},
      {"OpCateID", std::string(41, 'c'), {}, TooLong("OpCateID(40)")},
      {"ProjID", std::string(41, 'p'), {}, TooLong("ProjID(40)")},
      {"ItemID", std::string(41, 'i'), {}, TooLong("ItemID(40)")},
      {"", "", {.shelf = mb}, kLine1 + TooLong("ShelfID(40)")},
      {"", "", {.serial = mb}, kLine1 + TooLong("SerialNo(80)")},
      {"", "", {.meas = std::string(41, 'm')}, kLine1 + TooLong("MeasID(40)")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expect);
    CallResult r = AddNewWith(c.field, c.value, {c.line});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, c.expect);
  }
  EXPECT_EQ(Count("MF_OutBill"), bills);
  EXPECT_EQ(Count("MF_OutDetail"), 0);
  EXPECT_TRUE(log_.Records().empty());

  // Texts that fill their columns exactly are stored as given.
  ASSERT_TRUE(AddNewWith("Operator", Repeat("王", 80), {{.serial = Repeat("序", 80)}}).ok);
  ASSERT_TRUE(AddNewWith("Notes", std::string(255, 'n'), {{}}).ok);
  EXPECT_EQ(company_.Rows("SELECT Operator, Notes, SerialNo FROM MF_OutBill JOIN MF_OutDetail ON "
                          "MF_OutDetail.BillID = MF_OutBill.BillID ORDER BY MF_OutBill.BillID",
                          "ttt"),
            Repeat("王", 80) + "||" + Repeat("序", 80) + ";|" + std::string(255, 'n') + "|");
}

TEST_F(BillLimitsTest, RevisionsAreBoundedAlike) {
  CallResult made = AddNew("", {{}});
  ASSERT_TRUE(made.ok) << made.err;
  CallResult r = Edit(made.id, made.id,
                      {{.sort_id = "1"}, {.sort_id = "2", .shelf = "S2x" + std::string(40, 'y')}});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, "在序号 2 的明细项中，数据不完整。\r\n" + TooLong("ShelfID(40)"));
  EXPECT_EQ(Header(made.id, "Notes"), "memo");
  r = Edit(made.id, made.id, {{.sort_id = "5"}, {.sort_id = "6"}, {.sort_id = "5"}});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, "明细项序号 5 重复！");
  EXPECT_EQ(company_.Text("SELECT SortID FROM MF_OutDetail WHERE BillID = '" + made.id + "'"), "1");
}

TEST_F(BillLimitsTest, RepeatedLineNumbersAreRefusedBeforeAnyWrite) {
  const int64_t bills = Count("MF_OutBill");
  CallResult r = AddNew("", {{.sort_id = "1"}, {.sort_id = "2"}, {.sort_id = "1"}}, true);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, "明细项序号 1 重复！");
  EXPECT_EQ(Count("MF_OutBill"), bills);
  EXPECT_EQ(Count("SM_UseLog"), 0);
  // Numbers that differ only in case or by a blank are different lines.
  EXPECT_TRUE(AddNew("", {{.sort_id = "a"}, {.sort_id = "A"}, {.sort_id = "a "}}).ok);
}

TEST_F(BillLimitsTest, TheCompanysLineLimitBoundsEveryBill) {
  company_.WriteSettings("MaxBillLines=3\n");
  const std::vector<LineSpec> four = {
      {.sort_id = "1"}, {.sort_id = "2"}, {.sort_id = "3"}, {.sort_id = "4"}};
  CallResult r = AddNew("", four);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, "生产领料单的明细项不能多于 3 行！");
  EXPECT_EQ(Count("MF_OutBill"), 0);
  CallResult three = AddNew("", {four[0], four[1], four[2]});
  ASSERT_TRUE(three.ok) << three.err;
  r = Edit(three.id, three.id, four);
  EXPECT_EQ(r.err, "生产领料单的明细项不能多于 3 行！");

  // The default holds when the setting is no number.
  company_.WriteSettings("MaxBillLines=many\n");
  EXPECT_TRUE(AddNew("", four).ok);
}

}  // namespace
}  // namespace writer
