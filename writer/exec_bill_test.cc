#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::BillFixture;
using testing_support::C;

class ExecBillTest : public BillFixture {
 protected:
  // A bill of the given lines against MO1 (line `ord_line`), not executed.
  std::string Bill(const std::vector<testing_support::LineSpec>& lines,
                   const std::string& ord_line = "1", const std::string& date = "2026-12-06") {
    auto r = AddNew("", lines, false, "amy", date, "MO1", ord_line);
    EXPECT_TRUE(r.ok) << r.err;
    return r.id;
  }
  std::string Line(const char* ord, const char* line, const char* column) {
    return company_.Text(std::string("SELECT ") + column + " FROM MF_OrdDetail WHERE BillID = '" +
                         ord + "' AND SortID = '" + line + "'");
  }
  platform::EventLogCapture log_;
};

TEST_F(ExecBillTest, PostsStockStampsHeaderStartsLineRaisesBomAndLogs) {
  std::string id = Bill({{.qty = "4"}, {.sort_id = "2", .art = 3, .qty = "2"}});
  auto r = ExecBill(id, "2026-12-07");
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Header(id, "ExeDate"), "2026-12-07");
  EXPECT_EQ(Header(id, "Execer"), "Amy");
  EXPECT_EQ(Header(id, "Version"), "1000");
  EXPECT_EQ(Balance("S1", 1), C("996"));
  EXPECT_EQ(Balance("S1", 3), C("48"));
  EXPECT_EQ(BomOut(bom_line1_a_), C("4"));  // the lower of two candidates
  EXPECT_EQ(BomOut(bom_line1_b_), C("0"));
  EXPECT_EQ(BomOut(bom_line1_art2_), C("2"));
  EXPECT_EQ(Line("MO1", "1", "BegFlag"), "1");
  EXPECT_EQ(Line("MO1", "1", "FbegDate"), "2026-12-07");
  EXPECT_EQ(Line("MO1", "2", "BegFlag"), "0");  // another line of the order
  EXPECT_EQ(company_.Text("SELECT LogDesc FROM SM_UseLog ORDER BY ID DESC LIMIT 1"),
            "执行生产领料单" + id + "！");
  EXPECT_EQ(company_.Count("ST_StockMove"), 2);
}

TEST_F(ExecBillTest, BomTargetChoice) {
  // Names the higher candidate: that one is raised.
  ASSERT_TRUE(ExecBill(Bill({{.qty = "1", .bom = bom_line1_b_}})).ok);
  EXPECT_EQ(BomOut(bom_line1_b_), C("1"));
  // Names a row of another article: the lowest candidate is raised.
  ASSERT_TRUE(ExecBill(Bill({{.qty = "2", .bom = bom_line1_art2_}})).ok);
  EXPECT_EQ(BomOut(bom_line1_a_), C("2"));
  EXPECT_EQ(BomOut(bom_line1_art2_), C("0"));
}

TEST_F(ExecBillTest, NewBomRowsForUnlistedMaterial) {
  // Standard article on order line 2 (no BOM rows there): two lines, one row.
  std::string id = Bill({{.qty = "1"}, {.sort_id = "2", .qty = "2.5"}}, "2");
  ASSERT_TRUE(ExecBill(id, "2026-12-08").ok);
  base::Rowset rows = company_.Query(
      "SELECT ArtID, SerialNo, UseDate, OutQty, Qty, NetQty, AddQty FROM MF_OrdBom "
      "WHERE BillID = 'MO1' AND SortID = '2'",
      {{"ArtID", base::FieldType::kInt},
       {"SerialNo", base::FieldType::kText},
       {"UseDate", base::FieldType::kDate},
       {"OutQty", base::FieldType::kCurrency},
       {"Qty", base::FieldType::kCurrency},
       {"NetQty", base::FieldType::kCurrency},
       {"AddQty", base::FieldType::kCurrency}});
  ASSERT_EQ(rows.RecordCount(), 1u);
  EXPECT_EQ(rows.Row(0)[2].AsDate()->FormatDate(), "2026-12-08");
  EXPECT_EQ(*rows.Row(0)[3].AsCurrency(), C("3.5"));
  EXPECT_EQ(*rows.Row(0)[4].AsCurrency(), C("0"));
  // Non-standard article: one row per serial number.
  id = Bill({{.art = 2, .serial = "SN1", .qty = "1"},
             {.sort_id = "2", .art = 2, .serial = "SN1", .qty = "1"},
             {.sort_id = "3", .art = 2, .serial = "SN2", .qty = "3"}},
            "2");
  ASSERT_TRUE(ExecBill(id).ok);
  base::Rowset motor = company_.Query(
      "SELECT SerialNo, OutQty FROM MF_OrdBom WHERE BillID = 'MO1' AND ArtID = 2 ORDER BY SerialNo",
      {{"SerialNo", base::FieldType::kText}, {"OutQty", base::FieldType::kCurrency}});
  ASSERT_EQ(motor.RecordCount(), 2u);
  EXPECT_EQ(motor.Row(0)[0], base::Value("SN1"));
  EXPECT_EQ(*motor.Row(0)[1].AsCurrency(), C("2"));
  EXPECT_EQ(*motor.Row(1)[1].AsCurrency(), C("3"));
}

TEST_F(ExecBillTest, WholeOrderMarksEveryLineNotStartedYet) {
  company_.Exec(
      "UPDATE MF_OrdDetail SET BegFlag = 1, FbegDate = '2026-12-02' "
      "WHERE BillID = 'MO1' AND SortID = '2'");
  std::string id = Bill({{}}, "");
  ASSERT_TRUE(ExecBill(id, "2026-12-09").ok);
  EXPECT_EQ(Line("MO1", "1", "FbegDate"), "2026-12-09");
  EXPECT_EQ(Line("MO1", "2", "FbegDate"), "2026-12-02");
  EXPECT_EQ(Line("MO2", "1", "BegFlag"), "0");
  EXPECT_EQ(BomOut(bom_whole_), C("1"));
}

TEST_F(ExecBillTest, RefusalsInTheirOrder) {
  std::string id = Bill({{}}, "1", "2026-12-05");
  struct Case {
    std::string id;
    std::string date;
    std::string login;
    std::string expect;
  } cases[] = {
      {id, "2026-12-06", "ned", "没有生产领料单的执行权限！"},
      {"NOPE", "2026-12-06", "amy", "没有找到编号为 NOPE 的生产领料单！"},
      {id, "2026-11-30", "amy", "执行日期不能在 2026-12-01 以前！"},
      {id, "2026-12-04", "amy", "执行日期不能早于制单日期！"},
  };
  for (const auto& c : cases) {
    auto r = ExecBill(c.id, c.date, c.login);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err, c.expect);
  }
  EXPECT_EQ(Header(id, "Execer"), "<null>");
  EXPECT_TRUE(ExecBill(id, "2026-12-05").ok);  // the bill date itself passes
  EXPECT_EQ(ExecBill(id).err, "编号为 " + id + " 的生产领料单已经执行！");
  EXPECT_EQ(Header(id, "Version"), "1000");
  company_.Exec("DELETE FROM SM_Period");
  EXPECT_EQ(ExecBill("NOPE").err, "生产系统尚未启用！");  // before the bill is read
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(ExecBillTest, PeriodStartItselfPasses) {
  std::string id = Bill({{}}, "1", "2026-12-01");
  EXPECT_TRUE(ExecBill(id, "2026-12-01").ok);
}

TEST_F(ExecBillTest, StockRefusalIsWrappedAndNothingChanges) {
  std::string id = Bill({{.qty = "1"}, {.sort_id = "2", .shelf = "S2", .qty = "6"}});
  auto r = ExecBill(id);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, "生产领料单" + id +
                       "执行时，发生以下错误：\r\n序号2中对应的物品，在执行日期货位库存余额不足。"
                       "执行终止！");
  EXPECT_EQ(Header(id, "Execer"), "<null>");
  EXPECT_EQ(Header(id, "Version"), "0");
  EXPECT_EQ(Balance("S1", 1), C("1000"));
  EXPECT_EQ(Balance("S2", 1), C("5"));
  EXPECT_EQ(BomOut(bom_line1_a_), C("0"));
  EXPECT_EQ(Line("MO1", "1", "BegFlag"), "0");
  EXPECT_EQ(company_.Count("ST_StockMove"), 0);

  std::string missing = Bill({{.shelf = "S9"}});
  EXPECT_EQ(ExecBill(missing).err,
            "生产领料单" + missing +
                "执行时，发生以下错误：\r\n序号1中对应的物品，在指定的货位中没有找到。执行终止！");
}

TEST_F(ExecBillTest, BillWithoutLinesExecutes) {
  std::string id = Bill({{}});
  company_.Exec("DELETE FROM MF_OutDetail");
  ASSERT_TRUE(ExecBill(id).ok);
  EXPECT_EQ(Header(id, "Execer"), "Amy");
  EXPECT_EQ(Line("MO1", "1", "BegFlag"), "1");
  EXPECT_EQ(BomOut(bom_line1_a_), C("0"));
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
