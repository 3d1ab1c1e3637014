#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::Plan;

class AddFromOutPlanTest : public testing_support::BillFixture {
 protected:
  // The bills, their lines, the use-log lines and the balance of article 1 on S1.
  std::string State() {
    return company_.Rows(
               "SELECT BillID, OrdBill, OrdSortID, DeptID, Notes, Operator, Maker, "
               "Execer FROM MF_OutBill ORDER BY BillID",
               "tttttttt") +
           "\n" +
           company_.Rows(
               "SELECT BillID, SortID, Qty, StQty, ValidDate FROM MF_OutDetail "
               "ORDER BY BillID, SortID",
               "ttccd") +
           "\n" + company_.Rows("SELECT LogDesc FROM SM_UseLog ORDER BY ID", "t") + "\n" +
           Balance("S1", 1).ToPlainString();
  }
  platform::EventLogCapture log_;
};

TEST_F(AddFromOutPlanTest, AdjacentRowsOfOneOrderLineMakeOneExecutedBill) {
  const auto not_adjacent =
      Plan({{"MO1", "1", nullptr}, {"MO1", "2", nullptr}, {"MO1", "1", nullptr}});
  const std::string head = "|生产领料计划生成||Amy|Amy";
  const std::vector<Step> steps = {
      {"empty plan", [&] { return AddFromOutPlan(1, Plan({})); },
       "生产领料计划中没有明细！(The issue plan has no rows.)"},
      {"count differs", [&] { return AddFromOutPlan(2, not_adjacent); },
       "生产领料计划生成 3 张生产领料单，与指定的数量 2 不符！(The issue plan yields 3 bills, "
       "not 2.)"},
      {"before the period",
       [&] {
         return AddFromOutPlan(1, Plan({{"MO1", "1", nullptr}}), "2026-11-30");
       },
       "生产领料单日期不能早于 2026-12-01！"},
      // Stock runs short on the third bill: the whole batch goes.
      {"short stock",
       [&] {
         return AddFromOutPlan(3, Plan({{"MO1", "1", nullptr},
                                        {"MO1", "2", nullptr},
                                        {"MO2", "1", nullptr, "1", "999"}}));
       },
       "生产领料单202612060003执行时，发生以下错误：\r\n序号1中对应的物品，在执行日期货位库存余额"
       "不足。执行终止！"},
      // The department is the first row's; quantities go in unconverted,
      // without expiry dates; one log line for the batch, one per execution.
      {"three bills",
       [&] {
         return AddFromOutPlan(3, Plan({{"MO1", "1", nullptr, "1", "2"},
                                        {"MO1", "1", "D9", "2", "3"},
                                        {"MO1", "2", "D2"},
                                        {"MO2", "1", ""},
                                        {"MO2", "1", "D3", "2"}}));
       },
       "",
       "202612060001|MO1|1|<null>" + head + ";202612060002|MO1|2|D2" + head +
           ";202612060003|MO2|1|<null>" + head +
           "\n202612060001|1|2|2|<null>;202612060001|2|3|3|<null>;202612060002|1|1|1|<null>;"
           "202612060003|1|1|1|<null>;202612060003|2|1|1|<null>\n"
           "新增生产领料单202612060001,202612060002,202612060003;执行生产领料单202612060001！;"
           "执行生产领料单202612060002！;执行生产领料单202612060003！\n992"},
  };
  RunSteps(steps, [&] { return State(); });
  // Rows that are not adjacent make separate bills.
  ASSERT_TRUE(AddFromOutPlan(3, not_adjacent).ok);
  EXPECT_EQ(Count("MF_OutBill"), 6);
}

TEST_F(AddFromOutPlanTest, NullsNeverStartABillAndBadLinesReportTheirStatement) {
  // A NULL order on the second row continues the first bill.
  ASSERT_TRUE(
      AddFromOutPlan(1, Plan({{"MO1", "1", nullptr}, {nullptr, nullptr, nullptr, "2"}})).ok);
  EXPECT_EQ(company_.Rows("SELECT BillID, SortID FROM MF_OutDetail ORDER BY SortID", "tt"),
            "202612060001|1;202612060001|2");
  base::Rowset plan = Plan({{"MO1", "1", nullptr}});
  base::Rowset broken(plan.fields());
  std::vector<base::Value> row = plan.Row(0);
  row[10] = base::Value();  // OrdBomID NULL
  ASSERT_TRUE(broken.AddRow(row).ok());
  EXPECT_EQ(testing_support::Refusal(AddFromOutPlan(1, broken)),
            "94-Invalid use of Null-Plexavo-Plexavo.AddFromOutPlan\r\nInsert Into "
            "MF_OutDetail(BillID,SortID,ArtID,MeasID,  ShelfID,SerialNo,ValidDate,Qty,StQty,Memo,"
            "OrdBomID) Values( N'202612060002',  N'1', 1,  N'box',  N'S1',  N'',  NULL ,1, 1,  "
            "N'',  )");
  EXPECT_EQ(Count("MF_OutBill"), 1);
}

}  // namespace
}  // namespace writer
