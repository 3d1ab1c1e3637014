// Execution and its reversal: the stock, the header, the order lines'
// start marks, the BOM rows and the use log move together, or not at all.
#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::LineSpec;

class ExecBillTest : public testing_support::BillFixture {
 protected:
  ExecBillTest() {
    company_.AddUser("bea", "Bea", "", {"MF0301", "MF0304"});
    company_.AddUser("cy", "Cy", "", {"MF0301", "MF0304", "SP0606"});
  }
  // A bill of the given lines against MO1 (line `ord_line`), not executed,
  // or executed on its date.
  std::string Bill(const std::vector<LineSpec>& lines, const std::string& ord_line = "1",
                   const std::string& date = "2026-12-06") {
    auto r = AddNew("", lines, false, "amy", date, "MO1", ord_line);
    EXPECT_TRUE(r.ok) << r.err;
    return r.id;
  }
  std::string Executed(const std::vector<LineSpec>& lines, const std::string& ord_line = "1",
                       const std::string& date = "2026-12-06") {
    const std::string id = Bill(lines, ord_line, date);
    EXPECT_TRUE(ExecBill(id, date).ok);
    return id;
  }
  // The bills' execution, the balances on S1 and S2, the BOM rows, the
  // order lines' start marks, the number of stock moves, the last use-log line.
  std::string State() {
    return QueryRows(
        {{"SELECT BillID, ExeDate, Execer, Version FROM MF_OutBill ORDER BY BillID", "tdtt"},
         {"SELECT ShelfID, ArtID, Qty FROM ST_ShelfBal WHERE SerialNo = '' ORDER BY ShelfID, ArtID",
          "tic"},
         {"SELECT SortID, ArtID, SerialNo, OutQty FROM MF_OrdBom ORDER BY ID", "titc"},
         {"SELECT BillID, SortID, BegFlag, FbegDate FROM MF_OrdDetail ORDER BY BillID, SortID",
          "tttd"},
         {"SELECT (SELECT COUNT(*) FROM ST_StockMove), "
          "(SELECT LogDesc FROM SM_UseLog ORDER BY ID DESC LIMIT 1)",
          "it"}});
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
  Executed({{.qty = "1", .bom = bom_line1_b_}});
  Executed({{.qty = "2", .bom = bom_line1_art2_}});
  // A standard article on order line 2 (no BOM rows there): two lines, one
  // row. A non-standard article: one row per serial number.
  Executed({{.qty = "1"}, {.sort_id = "2", .qty = "2.5"}}, "2", "2026-12-08");
  Executed({{.art = 2, .serial = "SN1", .qty = "1"},
            {.sort_id = "2", .art = 2, .serial = "SN1", .qty = "1"},
            {.sort_id = "3", .art = 2, .serial = "SN2", .qty = "3"}},
           "2");
  EXPECT_EQ(
      company_.Rows("SELECT SortID, ArtID, SerialNo, UseDate, OutQty FROM MF_OrdBom ORDER BY ID",
                    "titdc"),
      "1|1|X|<null>|2;1|1|Y|<null>|1;1|3||<null>|0;|1||<null>|0;2|1||2026-12-08|3.5;"
      "2|2|SN1|2026-12-06|2;2|2|SN2|2026-12-06|3");
  // The rows added start with no planned quantity.
  EXPECT_EQ(company_.Rows("SELECT Qty, NetQty, AddQty FROM MF_OrdBom WHERE SortID = '2'", "ccc"),
            "0|0|0;0|0|0;0|0|0");
}

// Execution marks the order lines of its scope not started yet: a bill
// without lines its own line, adding no BOM row; a bill for the whole order
// every line of it, a line started before keeping its date.
TEST_F(ExecBillTest, ExecutionMarksTheLinesOfItsScopeNotStartedYet) {
  const std::string id = Bill({{}}, "2");
  company_.Exec("DELETE FROM MF_OutDetail WHERE BillID = :id", {{"id", id}});
  ASSERT_TRUE(ExecBill(id).ok);
  EXPECT_EQ(Header(id, "Execer"), "Amy");
  const std::string marks =
      "SELECT BillID, SortID, BegFlag, FbegDate FROM MF_OrdDetail ORDER BY BillID, SortID";
  EXPECT_EQ(company_.Rows(marks, "tttd"), "MO1|1|0|<null>;MO1|2|1|2026-12-06;MO2|1|0|<null>");
  ASSERT_TRUE(ExecBill(Bill({{}}, ""), "2026-12-09").ok);
  EXPECT_EQ(company_.Rows(marks, "tttd"), "MO1|1|1|2026-12-09;MO1|2|1|2026-12-06;MO2|1|0|<null>");
  EXPECT_EQ(company_.Rows("SELECT SortID, OutQty FROM MF_OrdBom ORDER BY ID", "tc"),
            "1|0;1|0;1|0;|1");
}

// With machine time on, every writer operation dates what it writes today,
// whatever date the caller gives.
TEST_F(ExecBillTest, MachineTimeDatesEveryWrite) {
  company_.Exec("UPDATE SM_Config SET Value = '1' WHERE ID = 'MachineTime'");
  const std::string today = base::DateTime::Now().FormatDate();
  company_.Exec("UPDATE SM_Period SET Period = :p",
                {{"p", today.substr(0, 4) + today.substr(5, 2)}});
  Executed({{}}, "1", "1999-01-01");
  const std::string revised = AddNew("", {{}}, false, "amy", today).id;
  ASSERT_TRUE(Edit(revised, revised, {{}}, "amy", "1999-01-01").ok);
  ASSERT_TRUE(AddFromOutPlan(1, testing_support::Plan({{"MO1", "2", nullptr}}), "2000-01-01").ok);
  const std::string t = today + "|";
  EXPECT_EQ(company_.Rows("SELECT Date, ExeDate FROM MF_OutBill ORDER BY BillID", "dd"),
            t + today + ";" + t + "<null>;" + t + today);
}

// Reversal takes back the stock, the header's execution, the BOM rows and
// the order lines' start marks that no other executed bill keeps.
TEST_F(ExecBillTest, ReversalUndoesWhatExecutionDid) {
  const std::vector<LineSpec> two = {{.qty = "4"}, {.sort_id = "2", .art = 3, .qty = "2"}};
  const std::string id = Executed(two), open = "|<null>|<null>|";
  // The bills, then the balances to the last use-log line.
  auto after = [&](const std::string& bills, const std::string& rest, const char* reversed) {
    return bills + "\n" + rest + "|反执行生产领料单 20261206000" + reversed + "！";
  };
  const std::string none =
      "S1|1|1000;S1|3|50;S2|1|5\n1|1|X|0;1|1|Y|0;1|3||0;|1||0\n"
      "MO1|1|0|<null>;MO1|2|0|<null>;MO2|1|0|<null>\n";
  const std::string posted =
      "S1|1|996;S1|3|48;S2|1|5\n1|1|X|4;1|1|Y|0;1|3||2;|1||0\n"
      "MO1|1|1|2026-12-06;MO1|2|0|<null>;MO2|1|0|<null>\n";
  const std::string four = id + open + "4000;202612060002" + open + "2000;202612060003" + open +
                           "2000;202612060004|2026-12-06|Amy|1000";
  std::string other;
  const std::vector<Step> steps = {
      {"reversed", [&] { return UnExecBill(id); }, "", after(id + open + "2000", none + "4", "1")},
      {"executed again: another thousand", [&] { return ExecBill(id); }, "",
       id + "|2026-12-06|Amy|3000\n" + posted + "6|执行生产领料单" + id + "！"},
      // The line keeps its mark while another bill of it is executed.
      {"another bill of the line", [&] { return UnExecBill(Executed({{.qty = "2"}})); }, "",
       after(id + "|2026-12-06|Amy|3000;202612060002" + open + "2000", posted + "8", "2")},
      {"the last bill of the line", [&] { return UnExecBill(id); }, "",
       after(id + open + "4000;202612060002" + open + "2000", none + "10", "1")},
      // A bill on an order line does not count for the whole order's scope.
      {"whole order",
       [&] {
         other = Executed({{.qty = "1"}}, "");
         Executed({{.art = 3, .qty = "1"}});
         return UnExecBill(other);
       },
       "",
       after(four,
             "S1|1|1000;S1|3|49;S2|1|5\n1|1|X|0;1|1|Y|0;1|3||1;|1||0\n"
             "MO1|1|0|<null>;MO1|2|0|<null>;MO2|1|0|<null>\n13",
             "3")},
      // A BOM row execution added stays, at zero.
      {"row added", [&] { return UnExecBill(Executed({{.qty = "2"}}, "2")); }, "",
       after(four + ";202612060005" + open + "2000",
             "S1|1|1000;S1|3|49;S2|1|5\n1|1|X|0;1|1|Y|0;1|3||1;|1||0;2|1||0\n"
             "MO1|1|0|<null>;MO1|2|0|<null>;MO2|1|0|<null>\n15",
             "5")},
      // Execution matches the serial number; reversal lowers the lowest row
      // and, as a row of the line is still raised, leaves the line's mark.
      {"non-standard",
       [&] {
         company_.Exec(
             "INSERT INTO MF_OrdBom (BillID, SortID, ArtID, SerialNo) VALUES "
             "('MO1', '2', 2, 'SN1'), ('MO1', '2', 2, 'SN2')");
         return UnExecBill(Executed({{.art = 2, .serial = "SN2", .qty = "1"}}, "2"));
       },
       "",
       after(four + ";202612060005" + open + "2000;202612060006" + open + "2000",
             "S1|1|1000;S1|3|49;S2|1|5\n1|1|X|0;1|1|Y|0;1|3||1;|1||0;2|1||0;2|2|SN1|-1;2|2|SN2|1\n"
             "MO1|1|0|<null>;MO1|2|1|2026-12-06;MO2|1|0|<null>\n17",
             "6")},
  };
  RunSteps(steps, [&] { return State(); });
  // A line without its BOM row: refused, and the rows lowered before it
  // are put back.
  const std::string broken = Executed(two);
  company_.Exec("DELETE FROM MF_OrdBom WHERE ArtID = 1 AND SortID = '1'");
  const std::string before = State();
  EXPECT_EQ(testing_support::Refusal(UnExecBill(broken)), "非法生产领料单");
  EXPECT_EQ(State(), before);
  EXPECT_TRUE(log_.Records().empty());
}

// Every refusal leaves every row of every table as it was.
TEST_F(ExecBillTest, ReversalRefusalsChangeNothing) {
  company_.Exec("UPDATE SM_Period SET Period = '202611'");
  const std::string november = Executed({{}}, "1", "2026-11-30");
  company_.Exec("UPDATE SM_Period SET Period = '202612'");
  const std::string first_day = Executed({{}}, "1", "2026-12-01");  // executes on that day
  const std::string returned = Executed({{.qty = "3"}});
  company_.Exec("INSERT INTO MF_InDetail (BillID, OutBillID) VALUES ('R0001', :id)",
                {{"id", returned}});
  const std::string open = Bill({{}});
  RunSteps({{"not executed", [&] { return UnExecBill(open); },
             "编号为 " + open + " 的生产领料单尚未执行！"},
            {"unknown", [&] { return UnExecBill("NOPE"); }, "没有找到编号为 NOPE 的生产领料单！"},
            {"no right", [&] { return UnExecBill(open, "ned"); }, "没有生产领料单的反执行权限！"},
            {"another's execution", [&] { return UnExecBill(first_day, "bea"); },
             "只能反执行自己执行的生产领料单！"},
            {"before the period", [&] { return UnExecBill(november); },
             "只能反执行 2026-12-01 以后执行的生产领料单！"},
            {"return bill", [&] { return UnExecBill(returned); },
             "根据" + returned + "的生产领料单已经制作生产退料单R0001！"}},
           [&] { return company_.Dump(); });
  // The first day of the period is in it; another's execution with the right.
  auto r = UnExecBill(first_day, "cy");
  EXPECT_TRUE(r.ok) << r.err;
  EXPECT_EQ(Header(first_day, "Execer"), "<null>");
}

// A bill of more lines than one statement carries (32 + 4 + 1), in three
// units and two articles, several lines to each balance and BOM row: every
// quantity is taken out and put back exactly, the moves keep line order,
// and a balance deleted in between is added again.
TEST_F(ExecBillTest, ALargeBillIsPostedAndReversedExactly) {
  std::vector<LineSpec> lines;
  for (int i = 1; i <= 37; ++i) {
    LineSpec l{.sort_id = std::to_string(i)};
    if (i % 3 == 0) l = {.sort_id = l.sort_id, .art = 3, .qty = "1.25"};
    if (i % 3 == 1) l = {.sort_id = l.sort_id, .meas = "box", .qty = "0.5"};  // 6 pieces
    if (i % 3 == 2) l = {.sort_id = l.sort_id, .meas = "third"};              // 0.3333
    lines.push_back(l);
  }
  std::string id = Executed(lines);
  // 1000 - 13 * 6 - 12 * 0.3333 and 50 - 12 * 1.25 taken; line 35 is line 2.
  EXPECT_EQ(State(), id +
                         "|2026-12-06|Amy|1000\nS1|1|918.0004;S1|3|35;S2|1|5\n"
                         "1|1|X|81.9996;1|1|Y|0;1|3||15;|1||0\n"
                         "MO1|1|1|2026-12-06;MO1|2|0|<null>;MO2|1|0|<null>\n37|执行生产领料单" +
                         id + "！");
  EXPECT_EQ(company_.Text("SELECT StQty FROM MF_OutDetail WHERE SortID = '35'"),
            company_.Text("SELECT StQty FROM MF_OutDetail WHERE SortID = '2'"));
  EXPECT_EQ(company_.Rows("SELECT SortID FROM ST_StockMove ORDER BY ID", "t"),
            "1;10;11;12;13;14;15;16;17;18;19;2;20;21;22;23;24;25;26;27;28;29;3;30;31;32;33;34;"
            "35;36;37;4;5;6;7;8;9");
  // The balance of article 3 is added again.
  company_.Exec("DELETE FROM ST_ShelfBal WHERE ArtID = 3");
  ASSERT_TRUE(UnExecBill(id).ok);
  EXPECT_EQ(State(), id +
                         "|<null>|<null>|2000\nS1|1|1000;S1|3|15;S2|1|5\n"
                         "1|1|X|0;1|1|Y|0;1|3||0;|1||0\n"
                         "MO1|1|0|<null>;MO1|2|0|<null>;MO2|1|0|<null>\n74|反执行生产领料单 " +
                         id + "！");
}

}  // namespace
}  // namespace writer
