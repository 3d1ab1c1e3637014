#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::BillFixture;
using testing_support::C;

class UnExecBillTest : public BillFixture {
 protected:
  UnExecBillTest() {
    company_.AddUser("bea", "Bea", "", {"MF0301", "MF0304"});
    company_.AddUser("cy", "Cy", "", {"MF0301", "MF0304", "SP0606"});
  }
  std::string Executed(const std::vector<testing_support::LineSpec>& lines,
                       const std::string& ord_line = "1", const std::string& date = "2026-12-06") {
    auto made = AddNew("", lines, false, "amy", date, "MO1", ord_line);
    EXPECT_TRUE(made.ok) << made.err;
    auto done = ExecBill(made.id, date);
    EXPECT_TRUE(done.ok) << done.err;
    return made.id;
  }
  std::string Line(const char* line, const char* column) {
    return company_.Text(std::string("SELECT ") + column +
                         " FROM MF_OrdDetail WHERE BillID = 'MO1' AND SortID = '" + line + "'");
  }
  platform::EventLogCapture log_;
};

TEST_F(UnExecBillTest, ReversesEverythingExecutionDid) {
  std::string id = Executed({{.qty = "4"}, {.sort_id = "2", .art = 3, .qty = "2"}});
  auto r = UnExecBill(id);
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(Header(id, "Execer"), "<null>");
  EXPECT_EQ(Header(id, "ExeDate"), "<null>");
  EXPECT_EQ(Header(id, "Version"), "2000");
  EXPECT_EQ(Balance("S1", 1), C("1000"));
  EXPECT_EQ(Balance("S1", 3), C("50"));
  EXPECT_EQ(BomOut(bom_line1_a_), C("0"));
  EXPECT_EQ(BomOut(bom_line1_art2_), C("0"));
  EXPECT_EQ(Line("1", "BegFlag"), "0");
  EXPECT_EQ(Line("1", "FbegDate"), "<null>");
  EXPECT_EQ(company_.Text("SELECT LogDesc FROM SM_UseLog ORDER BY ID DESC LIMIT 1"),
            "反执行生产领料单 " + id + "！");
  // Executable again: another thousand.
  ASSERT_TRUE(ExecBill(id).ok);
  EXPECT_EQ(Header(id, "Version"), "3000");
  EXPECT_TRUE(log_.Records().empty());
}

// Every refusal leaves every row of every table as it was.
TEST_F(UnExecBillTest, RefusalsChangeNothing) {
  company_.Exec("UPDATE SM_Period SET Period = '202611'");
  const std::string november = Executed({{}}, "1", "2026-11-30");
  company_.Exec("UPDATE SM_Period SET Period = '202612'");
  const std::string first_day = Executed({{}}, "1", "2026-12-01");
  const std::string returned = Executed({{.qty = "3"}});
  company_.Exec("INSERT INTO MF_InDetail (BillID, OutBillID) VALUES ('R0001', :id)",
                {{"id", returned}});
  const std::string open = AddNew("", {{}}).id;
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
           [&] { return Snapshot(); });
  // The first day of the period is in it; another's execution with the right.
  auto r = UnExecBill(first_day, "cy");
  EXPECT_TRUE(r.ok) << r.err;
  EXPECT_EQ(Header(first_day, "Execer"), "<null>");
}

TEST_F(UnExecBillTest, LineWithoutBomRowFailsAndOtherRowsKeepTheirQuantities) {
  std::string id = Executed({{.qty = "4"}, {.sort_id = "2", .art = 3, .qty = "2"}});
  company_.Exec("DELETE FROM MF_OrdBom WHERE ArtID = 1 AND SortID = '1'");
  auto r = UnExecBill(id);
  EXPECT_EQ(r.err, "非法生产领料单");
  EXPECT_EQ(BomOut(bom_line1_art2_), C("2"));  // lowered first, then rolled back
  EXPECT_EQ(Balance("S1", 3), C("48"));
}

TEST_F(UnExecBillTest, StartMarkStaysWhileTheScopeHasIssues) {
  std::string first = Executed({{.qty = "1"}});
  std::string second = Executed({{.qty = "2"}});
  ASSERT_TRUE(UnExecBill(first).ok);
  EXPECT_EQ(Line("1", "BegFlag"), "1");
  ASSERT_TRUE(UnExecBill(second).ok);
  EXPECT_EQ(Line("1", "BegFlag"), "0");
}

TEST_F(UnExecBillTest, WholeOrderScopeResetsEveryLine) {
  std::string whole = Executed({{.qty = "1"}}, "");
  EXPECT_EQ(Line("2", "BegFlag"), "1");
  // An issue on an order line does not count for the whole order's scope.
  std::string line_bill = Executed({{.art = 3, .qty = "1"}}, "1");
  ASSERT_TRUE(UnExecBill(whole).ok);
  EXPECT_EQ(Line("1", "BegFlag"), "0");
  EXPECT_EQ(Line("2", "BegFlag"), "0");
  EXPECT_EQ(BomOut(bom_whole_), C("0"));
  EXPECT_EQ(BomOut(bom_line1_art2_), C("1"));
}

TEST_F(UnExecBillTest, RowsAddedByExecutionStayAtZero) {
  std::string id = Executed({{.qty = "2"}}, "2");
  ASSERT_TRUE(UnExecBill(id).ok);
  EXPECT_EQ(company_.Text("SELECT COUNT(*) FROM MF_OrdBom WHERE SortID = '2'"), "1");
  base::Rowset rows = company_.Query("SELECT OutQty FROM MF_OrdBom WHERE SortID = '2'",
                                     {{"OutQty", base::FieldType::kCurrency}});
  EXPECT_EQ(*rows.Row(0)[0].AsCurrency(), C("0"));
}

TEST_F(UnExecBillTest, NonStandardReversalLowersTheLowestRow) {
  company_.Exec(
      "INSERT INTO MF_OrdBom (BillID, SortID, ArtID, SerialNo) VALUES "
      "('MO1', '2', 2, 'SN1'), ('MO1', '2', 2, 'SN2')");
  base::Rowset ids = company_.Query("SELECT ID FROM MF_OrdBom WHERE ArtID = 2 ORDER BY ID",
                                    {{"ID", base::FieldType::kInt}});
  const int32_t low = *ids.Row(0)[0].AsInt(), high = *ids.Row(1)[0].AsInt();
  std::string id = Executed({{.art = 2, .serial = "SN2", .qty = "1"}}, "2");
  EXPECT_EQ(BomOut(high), C("1"));  // execution matched the serial number
  ASSERT_TRUE(UnExecBill(id).ok);
  EXPECT_EQ(BomOut(low), C("-1"));  // reversal ignores serial numbers
  EXPECT_EQ(BomOut(high), C("1"));
}

// A bill of more lines than one statement carries (32 + 4 + 1), in three
// units and two articles, several lines to each balance and BOM row: every
// quantity is taken out and put back exactly, the moves keep line order,
// and a balance deleted in between is added again.
TEST_F(UnExecBillTest, ALargeBillIsPostedAndReversedExactly) {
  std::vector<testing_support::LineSpec> lines;
  for (int i = 1; i <= 37; ++i) {
    testing_support::LineSpec l{.sort_id = std::to_string(i)};
    if (i % 3 == 0) l = {.sort_id = l.sort_id, .art = 3, .qty = "1.25"};
    if (i % 3 == 1) l = {.sort_id = l.sort_id, .meas = "box", .qty = "0.5"};  // 6 pieces
    if (i % 3 == 2) l = {.sort_id = l.sort_id, .meas = "third"};              // 0.3333
    lines.push_back(l);
  }
  std::string id = Executed(lines);
  EXPECT_EQ(Balance("S1", 1), C("918.0004"));  // 1000 - 13 * 6 - 12 * 0.3333
  EXPECT_EQ(Balance("S1", 3), C("35"));        // 50 - 12 * 1.25
  EXPECT_EQ(BomOut(bom_line1_a_), C("81.9996"));
  EXPECT_EQ(BomOut(bom_line1_b_), C("0"));
  EXPECT_EQ(BomOut(bom_line1_art2_), C("15"));
  EXPECT_EQ(company_.Text("SELECT StQty FROM MF_OutDetail WHERE SortID = '35'"),
            company_.Text("SELECT StQty FROM MF_OutDetail WHERE SortID = '2'"));
  base::Rowset moves = company_.Query("SELECT SortID FROM ST_StockMove ORDER BY ID",
                                      {{"SortID", base::FieldType::kText}});
  ASSERT_EQ(moves.RecordCount(), 37u);
  EXPECT_EQ(moves.Row(0)[0], base::Value("1"));
  EXPECT_EQ(moves.Row(1)[0], base::Value("10"));
  EXPECT_EQ(moves.Row(36)[0], base::Value("9"));

  company_.Exec("DELETE FROM ST_ShelfBal WHERE ArtID = 3");
  auto r = UnExecBill(id);
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(Balance("S1", 1), C("1000"));
  EXPECT_EQ(Balance("S1", 3), C("15"));
  EXPECT_EQ(BomOut(bom_line1_a_), C("0"));
  EXPECT_EQ(BomOut(bom_line1_art2_), C("0"));
  EXPECT_EQ(company_.Count("ST_StockMove"), 74);
}

}  // namespace
}  // namespace writer
