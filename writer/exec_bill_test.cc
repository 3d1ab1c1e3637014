#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::C;

class ExecBillTest : public testing_support::BillFixture {
 protected:
  // A bill of the given lines against MO1 (line `ord_line`), not executed.
  std::string Bill(const std::vector<testing_support::LineSpec>& lines,
                   const std::string& ord_line = "1", const std::string& date = "2026-12-06") {
    auto r = AddNew("", lines, false, "amy", date, "MO1", ord_line);
    EXPECT_TRUE(r.ok) << r.err;
    return r.id;
  }
  // The bills' execution, the balances on S1 and S2, the BOM rows, the
  // order lines' start marks, the number of stock moves, the last use-log line.
  std::string State() {
    return company_.Rows("SELECT BillID, ExeDate, Execer, Version FROM MF_OutBill ORDER BY BillID",
                         "tdtt") +
           "\n" +
           company_.Rows(
               "SELECT ShelfID, ArtID, Qty FROM ST_ShelfBal WHERE SerialNo = '' "
               "ORDER BY ShelfID, ArtID",
               "tic") +
           "\n" +
           company_.Rows("SELECT SortID, ArtID, SerialNo, OutQty FROM MF_OrdBom ORDER BY ID",
                         "titc") +
           "\n" +
           company_.Rows(
               "SELECT BillID, SortID, BegFlag, FbegDate FROM MF_OrdDetail "
               "ORDER BY BillID, SortID",
               "tttd") +
           "\n" + std::to_string(Count("ST_StockMove")) + "|" +
           company_.Text("SELECT LogDesc FROM SM_UseLog ORDER BY ID DESC LIMIT 1");
  }
  platform::EventLogCapture log_;
};

// Execution posts the stock, stamps the header, starts the order line,
// raises the BOM row (the lower of two candidates) and logs; a refusal
// changes nothing.
TEST_F(ExecBillTest, PostsEverythingOrRefusesAndChangesNothing) {
  const std::string id =
      Bill({{.qty = "4"}, {.sort_id = "2", .art = 3, .qty = "2"}}, "1", "2026-12-05");
  const std::string stock = Bill({{.qty = "1"}, {.sort_id = "2", .shelf = "S2", .qty = "6"}});
  const std::string missing = Bill({{.shelf = "S9"}});
  const std::vector<Step> steps = {
      {"no execute right", [&] { return ExecBill(id, "2026-12-06", "ned"); },
       "没有生产领料单的执行权限！"},
      {"unknown", [&] { return ExecBill("NOPE"); }, "没有找到编号为 NOPE 的生产领料单！"},
      {"before the period", [&] { return ExecBill(id, "2026-11-30"); },
       "执行日期不能在 2026-12-01 以前！"},
      {"before the bill", [&] { return ExecBill(id, "2026-12-04"); }, "执行日期不能早于制单日期！"},
      {"short stock", [&] { return ExecBill(stock); },
       "生产领料单" + stock +
           "执行时，发生以下错误：\r\n序号2中对应的物品，在执行日期货位库存余额不足。执行终止！"},
      {"no such shelf", [&] { return ExecBill(missing); },
       "生产领料单" + missing +
           "执行时，发生以下错误：\r\n序号1中对应的物品，在指定的货位中没有找到。执行终止！"},
      // The bill's own date passes.
      {"executed", [&] { return ExecBill(id, "2026-12-05"); }, "",
       id + "|2026-12-05|Amy|1000;" + stock + "|<null>|<null>|0;" + missing +
           "|<null>|<null>|0\nS1|1|996;S1|3|48;S2|1|5\n1|1|X|4;1|1|Y|0;1|3||2;|1||0\n"
           "MO1|1|1|2026-12-05;MO1|2|0|<null>;MO2|1|0|<null>\n2|执行生产领料单" +
           id + "！"},
      {"again", [&] { return ExecBill(id); }, "编号为 " + id + " 的生产领料单已经执行！"},
      // Before the bill is read.
      {"module not started",
       [&] {
         company_.Exec("DELETE FROM SM_Period");
         return ExecBill("NOPE");
       },
       "生产系统尚未启用！"},
  };
  RunSteps(steps, [&] { return State(); });
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(ExecBillTest, BomRowsRaisedOrAdded) {
  // Names the higher candidate: that one is raised. Names a row of another
  // article: the lowest candidate is raised.
  ASSERT_TRUE(ExecBill(Bill({{.qty = "1", .bom = bom_line1_b_}})).ok);
  ASSERT_TRUE(ExecBill(Bill({{.qty = "2", .bom = bom_line1_art2_}})).ok);
  // A standard article on order line 2 (no BOM rows there): two lines, one
  // row. A non-standard article: one row per serial number.
  ASSERT_TRUE(ExecBill(Bill({{.qty = "1"}, {.sort_id = "2", .qty = "2.5"}}, "2"), "2026-12-08").ok);
  ASSERT_TRUE(ExecBill(Bill({{.art = 2, .serial = "SN1", .qty = "1"},
                             {.sort_id = "2", .art = 2, .serial = "SN1", .qty = "1"},
                             {.sort_id = "3", .art = 2, .serial = "SN2", .qty = "3"}},
                            "2"))
                  .ok);
  EXPECT_EQ(
      company_.Rows("SELECT SortID, ArtID, SerialNo, UseDate, OutQty FROM MF_OrdBom ORDER BY ID",
                    "titdc"),
      "1|1|X|<null>|2;1|1|Y|<null>|1;1|3||<null>|0;|1||<null>|0;2|1||2026-12-08|3.5;"
      "2|2|SN1|2026-12-06|2;2|2|SN2|2026-12-06|3");
  // The rows added start with no planned quantity.
  EXPECT_EQ(company_.Rows("SELECT Qty, NetQty, AddQty FROM MF_OrdBom WHERE SortID = '2'", "ccc"),
            "0|0|0;0|0|0;0|0|0");
}

TEST_F(ExecBillTest, WholeOrderMarksEveryLineNotStartedYet) {
  company_.Exec(
      "UPDATE MF_OrdDetail SET BegFlag = 1, FbegDate = '2026-12-02' "
      "WHERE BillID = 'MO1' AND SortID = '2'");
  ASSERT_TRUE(ExecBill(Bill({{}}, ""), "2026-12-09").ok);
  EXPECT_EQ(company_.Rows("SELECT BillID, SortID, BegFlag, FbegDate FROM MF_OrdDetail "
                          "ORDER BY BillID, SortID",
                          "tttd"),
            "MO1|1|1|2026-12-09;MO1|2|1|2026-12-02;MO2|1|0|<null>");
  EXPECT_EQ(BomOut(bom_whole_), C("1"));
}

// A bill dated the period's first day executes on that day; a bill without
// lines executes and still starts its order line.
TEST_F(ExecBillTest, PeriodStartAndABillWithoutLinesPass) {
  ASSERT_TRUE(ExecBill(Bill({{}}, "1", "2026-12-01"), "2026-12-01").ok);
  const std::string id = Bill({{}}, "2");
  company_.Exec("DELETE FROM MF_OutDetail WHERE BillID = :id", {{"id", id}});
  ASSERT_TRUE(ExecBill(id).ok);
  EXPECT_EQ(Header(id, "Execer"), "Amy");
  EXPECT_EQ(company_.Rows("SELECT SortID, BegFlag FROM MF_OrdDetail WHERE BillID = 'MO1' "
                          "ORDER BY SortID",
                          "tt"),
            "1|1;2|1");
  EXPECT_EQ(Count("MF_OrdBom"), 4);  // no row added for line 2
}

TEST_F(ExecBillTest, MachineTimeDatesTheExecution) {
  company_.Exec("UPDATE SM_Config SET Value = '1' WHERE ID = 'MachineTime'");
  const std::string today = base::DateTime::Now().FormatDate();
  company_.Exec("UPDATE SM_Period SET Period = :p",
                {{"p", today.substr(0, 4) + today.substr(5, 2)}});
  auto made = AddNew("", {{}}, false, "amy", "2000-01-01");  // the bill is dated today too
  ASSERT_TRUE(made.ok) << made.err;
  ASSERT_TRUE(ExecBill(made.id, "1999-01-01").ok);
  EXPECT_EQ(Header(made.id, "ExeDate"), today);
}

}  // namespace
}  // namespace writer
