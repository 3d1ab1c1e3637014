#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::BillFixture;
using testing_support::C;
using testing_support::Plan;

class AddFromOutPlanTest : public BillFixture {
 protected:
  std::vector<std::string> BillIds() {
    base::Rowset rs = company_.Query("SELECT BillID FROM MF_OutBill ORDER BY BillID",
                                     {{"BillID", base::FieldType::kText}});
    std::vector<std::string> ids;
    for (const auto& row : rs.rows()) ids.push_back(row[0].TextOrEmpty());
    return ids;
  }
  std::string LineCount(const std::string& id) {
    return company_.Text("SELECT COUNT(*) FROM MF_OutDetail WHERE BillID = '" + id + "'");
  }
  platform::EventLogCapture log_;
};

TEST_F(AddFromOutPlanTest, AdjacentRowsOfOneOrderLineMakeOneBill) {
  auto r = AddFromOutPlan(3, Plan({{"MO1", "1", nullptr, "1", "2"},
                                   {"MO1", "1", "D9", "2", "3"},
                                   {"MO1", "2", "D2"},
                                   {"MO2", "1", ""},
                                   {"MO2", "1", "D3", "2"}}));
  ASSERT_TRUE(r.ok) << r.err;
  std::vector<std::string> ids = BillIds();
  ASSERT_EQ(ids, (std::vector<std::string>{"202612060001", "202612060002", "202612060003"}));
  EXPECT_EQ(LineCount(ids[0]), "2");
  EXPECT_EQ(LineCount(ids[1]), "1");
  EXPECT_EQ(LineCount(ids[2]), "2");
  EXPECT_EQ(Header(ids[0], "DeptID"), "<null>");  // the first row's, not a later one's
  EXPECT_EQ(Header(ids[1], "DeptID"), "D2");
  EXPECT_EQ(Header(ids[2], "DeptID"), "<null>");
  EXPECT_EQ(Header(ids[2], "OrdBill"), "MO2");
  EXPECT_EQ(Header(ids[0], "Notes"), "生产领料计划生成");
  EXPECT_EQ(Header(ids[0], "Operator"), "");
  EXPECT_EQ(Header(ids[0], "Maker"), "Amy");
  for (const auto& id : ids) EXPECT_EQ(Header(id, "Execer"), "Amy") << id;
  // Quantities go in unconverted, without expiry dates.
  base::Rowset lines = company_.Query(
      "SELECT Qty, StQty, ValidDate FROM MF_OutDetail WHERE BillID = '202612060001' "
      "ORDER BY SortID",
      {{"Qty", base::FieldType::kCurrency},
       {"StQty", base::FieldType::kCurrency},
       {"ValidDate", base::FieldType::kDate}});
  EXPECT_EQ(*lines.Row(1)[0].AsCurrency(), C("3"));
  EXPECT_EQ(*lines.Row(1)[1].AsCurrency(), C("3"));
  EXPECT_TRUE(lines.Row(1)[2].IsNull());
  EXPECT_EQ(Balance("S1", 1), C("992"));
  EXPECT_EQ(company_.Text("SELECT LogDesc FROM SM_UseLog ORDER BY ID LIMIT 1"),
            "新增生产领料单202612060001,202612060002,202612060003");
  EXPECT_EQ(Count("SM_UseLog"), 4);  // one for the batch, one per execution
}

TEST_F(AddFromOutPlanTest, RowsThatAreNotAdjacentMakeSeparateBills) {
  auto plan = Plan({{"MO1", "1", nullptr}, {"MO1", "2", nullptr}, {"MO1", "1", nullptr}});
  EXPECT_EQ(AddFromOutPlan(2, plan).err,
            "生产领料计划生成 3 张生产领料单，与指定的数量 2 不符！(The issue plan yields 3 bills, "
            "not 2.)");
  EXPECT_EQ(Count("MF_OutBill"), 0);
  ASSERT_TRUE(AddFromOutPlan(3, plan).ok);
  EXPECT_EQ(BillIds().size(), 3u);
}

TEST_F(AddFromOutPlanTest, EmptyPlanAndFailuresLeaveNothing) {
  EXPECT_EQ(AddFromOutPlan(1, Plan({})).err,
            "生产领料计划中没有明细！(The issue plan has no rows.)");
  // Stock runs short on the third bill: the whole batch goes.
  auto r = AddFromOutPlan(
      3, Plan({{"MO1", "1", nullptr}, {"MO1", "2", nullptr}, {"MO2", "1", nullptr, "1", "999"}}));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.err.find("执行时，发生以下错误："), std::string::npos) << r.err;
  EXPECT_EQ(Count("MF_OutBill"), 0);
  EXPECT_EQ(Count("MF_OutDetail"), 0);
  EXPECT_EQ(Count("SM_UseLog"), 0);
  EXPECT_EQ(Balance("S1", 1), C("1000"));
  EXPECT_EQ(AddFromOutPlan(1, Plan({{"MO1", "1", nullptr}}), "2026-11-30").err,
            "生产领料单日期不能早于 2026-12-01！");
}

TEST_F(AddFromOutPlanTest, NullsNeverStartABillAndBadLinesReportTheirStatement) {
  // A NULL order on the second row continues the first bill.
  ASSERT_TRUE(
      AddFromOutPlan(1, Plan({{"MO1", "1", nullptr}, {nullptr, nullptr, nullptr, "2"}})).ok);
  EXPECT_EQ(LineCount("202612060001"), "2");
  base::Rowset plan = Plan({{"MO1", "1", nullptr}});
  base::Rowset broken(plan.fields());
  std::vector<base::Value> row = plan.Row(0);
  row[10] = base::Value();  // OrdBomID NULL
  ASSERT_TRUE(broken.AddRow(row).ok());
  auto r = AddFromOutPlan(1, broken);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err,
            "94-Invalid use of Null-Plexavo-Plexavo.AddFromOutPlan\r\nInsert Into "
            "MF_OutDetail(BillID,SortID,ArtID,MeasID,  ShelfID,SerialNo,ValidDate,Qty,StQty,Memo,"
            "OrdBomID) Values( N'202612060002',  N'1', 1,  N'box',  N'S1',  N'',  NULL ,1, 1,  "
            "N'',  )");
  EXPECT_EQ(Count("MF_OutBill"), 1);
}

TEST_F(AddFromOutPlanTest, MachineTimeDatesEveryBill) {
  company_.Exec("UPDATE SM_Config SET Value = '1' WHERE ID = 'MachineTime'");
  const std::string today = base::DateTime::Now().FormatDate();
  company_.Exec("UPDATE SM_Period SET Period = :p",
                {{"p", today.substr(0, 4) + today.substr(5, 2)}});
  ASSERT_TRUE(
      AddFromOutPlan(2, Plan({{"MO1", "1", nullptr}, {"MO1", "2", nullptr}}), "2000-01-01").ok);
  for (const auto& id : BillIds()) {
    EXPECT_EQ(Header(id, "Date"), today);
    EXPECT_EQ(Header(id, "ExeDate"), today);
  }
}

}  // namespace
}  // namespace writer
