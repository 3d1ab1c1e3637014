#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::BillFixture;
using testing_support::C;
using testing_support::LineSpec;

class AddNewTest : public BillFixture {
 protected:
  platform::EventLogCapture log_;
};

TEST_F(AddNewTest, GeneratedNumberHeaderLinesAndLog) {
  auto r = AddNew("", {{.sort_id = "1", .meas = "box", .qty = "3", .valid = "2027-01-31"},
                       {.sort_id = "2", .art = 3, .meas = "pcs", .qty = "2.5", .bom = 7}});
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(r.id, "202612060001");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Header(r.id, "Date"), "2026-12-06");
  EXPECT_EQ(Header(r.id, "DeptID"), "D1");  // from the order line
  EXPECT_EQ(Header(r.id, "OpCateID"), "<null>");
  EXPECT_EQ(Header(r.id, "ProjID"), "<null>");
  EXPECT_EQ(Header(r.id, "Maker"), "Amy");
  EXPECT_EQ(Header(r.id, "Operator"), "Oscar");
  EXPECT_EQ(Header(r.id, "Execer"), "<null>");
  EXPECT_EQ(Header(r.id, "Version"), "0");
  base::Rowset lines = company_.Query(
      "SELECT SortID, Qty, StQty, ValidDate, SerialNo, OrdBomID FROM MF_OutDetail "
      "WHERE BillID = :id ORDER BY SortID",
      {{"SortID", base::FieldType::kText},
       {"Qty", base::FieldType::kCurrency},
       {"StQty", base::FieldType::kCurrency},
       {"ValidDate", base::FieldType::kDate},
       {"SerialNo", base::FieldType::kText},
       {"OrdBomID", base::FieldType::kInt}},
      {{"id", r.id}});
  ASSERT_EQ(lines.RecordCount(), 2u);
  EXPECT_EQ(*lines.Row(0)[1].AsCurrency(), C("3"));
  EXPECT_EQ(*lines.Row(0)[2].AsCurrency(), C("36"));  // 3 boxes of 12
  EXPECT_EQ(lines.Row(0)[3].AsDate()->FormatDate(), "2027-01-31");
  EXPECT_TRUE(lines.Row(1)[3].IsNull());
  EXPECT_EQ(lines.Row(1)[4], base::Value(""));
  EXPECT_EQ(lines.Row(1)[5], base::Value(7));
  EXPECT_EQ(company_.Text("SELECT LogDesc FROM SM_UseLog"), "新增生产领料单202612060001");
  EXPECT_TRUE(log_.Records().empty());
  // The next generated number follows.
  EXPECT_EQ(AddNew("", {{}}).id, "202612060002");
}

TEST_F(AddNewTest, RefusalsWriteNothing) {
  ASSERT_TRUE(AddNew("202612069999", {{}}).ok);
  const int64_t bills = Count("MF_OutBill");
  struct Case {
    std::string id;
    std::vector<LineSpec> lines;
    bool auto_exe;
    std::string date;
    std::string expect;
  } cases[] = {
      {"202612069999", {{}}, false, "2026-12-06", "生产领料单编号重复！"},
      {"20261206999", {{}}, false, "2026-12-06", "出库单编号长度为12，或置空由系统自动生成！"},
      {"2026120699999", {{}}, false, "2026-12-06", "出库单编号长度为12，或置空由系统自动生成！"},
      {"", {}, false, "2026-12-06", "缺少生产领料单明细项！"},
      {"", {{}}, false, "2026-11-30", "生产领料单日期不能早于 2026-12-01！"},
      {"", {{.sort_id = "12345"}}, false, "2026-12-06", "明细项序号长度不能大于4！"},
      {"", {{.sort_id = ""}}, false, "2026-12-06", "明细项序号不能为空！"},
      {"",
       {{.sort_id = "7", .meas = ""}},
       false,
       "2026-12-06",
       "在序号 7 的明细项中，数据不完整。\r\n必须指定物品单位！"},
      {"", {{.memo = std::string(256, 'm')}}, false, "2026-12-06", "备注长度不能大于255！"},
      {"",
       {{.sort_id = "3", .qty = "0"}},
       true,
       "2026-12-06",
       "在序号 3 的明细项中，数据不完整。\r\n数量必须大于0！"},
      // The first failing line ends the call.
      {"",
       {{.sort_id = "1"}, {.sort_id = "2", .meas = ""}, {.sort_id = ""}},
       false,
       "2026-12-06",
       "在序号 2 的明细项中，数据不完整。\r\n必须指定物品单位！"},
  };
  for (const auto& c : cases) {
    auto r = AddNew(c.id, c.lines, c.auto_exe, "amy", c.date);
    EXPECT_FALSE(r.ok) << c.expect;
    EXPECT_EQ(r.err, c.expect);
  }
  EXPECT_EQ(Count("MF_OutBill"), bills);
  EXPECT_EQ(Count("SM_UseLog"), 1);
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(AddNewTest, BoundaryValuesPass) {
  auto r = AddNew("", {{.sort_id = "1234", .memo = std::string(255, 'm')}}, false, "amy",
                  "2026-12-01");  // the period's first day
  EXPECT_TRUE(r.ok) << r.err;
  // Memo length counts characters, not bytes.
  std::string chinese;
  for (int i = 0; i < 255; ++i) chinese += "备";
  EXPECT_TRUE(AddNew("", {{.memo = chinese}}).ok);
  EXPECT_FALSE(AddNew("", {{.memo = chinese + "备"}}).ok);
}

TEST_F(AddNewTest, ZeroQuantityIsWrittenWithoutAutoExecution) {
  auto r = AddNew("", {{.qty = "0"}, {.sort_id = "2", .qty = "-1"}});
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(company_.Count("MF_OutDetail"), 2);
}

TEST_F(AddNewTest, EmptyPeriodAndMissingRights) {
  EXPECT_EQ(AddNew("", {{}}, false, "ned").ok, true);
  company_.AddUser("rea", "Rea", "T", {"MF0301"});
  EXPECT_EQ(AddNew("", {{}}, false, "rea").err, "沒有生產領料單的維護權限！");
  EXPECT_EQ(AddNew("", {{}}, false, "stranger").err,
            "user 'stranger' is not a user of company database '" + company_.name() + "'");
  company_.Exec("DELETE FROM SM_Period");
  EXPECT_EQ(AddNew("", {{}}).err, "生产系统尚未启用！");
}

TEST_F(AddNewTest, MachineTimeReplacesTheDate) {
  company_.Exec("UPDATE SM_Config SET Value = '1' WHERE ID = 'MachineTime'");
  company_.Exec("UPDATE SM_Period SET Period = :p",
                {{"p", base::DateTime::Now().FormatDate().substr(0, 4) +
                           base::DateTime::Now().FormatDate().substr(5, 2)}});
  auto r = AddNew("", {{}}, false, "amy", "1999-01-01");
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(Header(r.id, "Date"), base::DateTime::Now().FormatDate());
}

TEST_F(AddNewTest, OrderServiceRefusalAndItsOrder) {
  // No lines fails before the order is asked about.
  EXPECT_EQ(AddNew("", {}, false, "amy", "2026-12-06", "NOPE").err, "缺少生产领料单明细项！");
  auto r = AddNew("", {{}}, false, "amy", "2026-12-06", "NOPE", "1");
  EXPECT_EQ(r.err, "生产单 NOPE 没有序号为 1 的明细！(Production order NOPE has no line 1.)");
  r = AddNew("", {{}}, false, "amy", "2026-12-06", "MO1", "");
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(Header(r.id, "DeptID"), "D0");  // the order's own department
  r = AddNew("", {{}}, false, "amy", "2026-12-06", "MO2", "1");
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(Header(r.id, "DeptID"), "<null>");
}

TEST_F(AddNewTest, TextsWithApostrophesAreStoredAsGiven) {
  auto r = AddNew("", {{.serial = "", .memo = "it's"}}, false, "amy", "2026-12-06", "MO1", "1",
                  "  O'Brien's bill  ");
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(Header(r.id, "Notes"), "O'Brien's bill");
  EXPECT_EQ(company_.Text("SELECT Memo FROM MF_OutDetail"), "it's");
}

TEST_F(AddNewTest, RunTimeErrorsCarryTheProgressMarker) {
  // A unit without conversion row fails in the unit conversion of line 2.
  auto r = AddNew("", {{.sort_id = "1"}, {.sort_id = "2", .meas = "crate"}});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err,
            "-2147218483-Either BOF or EOF is True, or the current record has been deleted.-"
            "StMeasQty:Plexavo-Plexavo.AddNew#6.1");
  EXPECT_EQ(Count("MF_OutBill"), 0);
  ASSERT_EQ(log_.Records().size(), 1u);
  // A line set without rowset.
  r = AddNewRows("", std::nullopt, false, "amy", "2026-12-06", "MO1", "1", "");
  EXPECT_EQ(r.err, "91-Object variable or With block variable not set-Plexavo-Plexavo.AddNew#2");
}

TEST_F(AddNewTest, AutoExecutionPostsEverything) {
  auto r = AddNew("", {{.meas = "box", .qty = "2"}}, true);
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(Header(r.id, "Execer"), "Amy");
  EXPECT_EQ(Header(r.id, "Version"), "1000");
  EXPECT_EQ(Balance("S1", 1), C("976"));
  EXPECT_EQ(Count("SM_UseLog"), 2);
}

TEST_F(AddNewTest, FailedAutoExecutionLeavesNothing) {
  auto r = AddNew("", {{}}, true, "ned");  // may maintain, may not execute
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, "没有生产领料单的执行权限！");
  EXPECT_EQ(r.id, "202612060001");  // void: the transaction is gone
  EXPECT_EQ(Count("MF_OutBill"), 0);
  EXPECT_EQ(Count("MF_OutDetail"), 0);
  EXPECT_EQ(Count("SM_UseLog"), 0);
  EXPECT_EQ(Balance("S1", 1), C("1000"));
}

}  // namespace
}  // namespace writer
