#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::LineSpec;

class AddNewTest : public testing_support::BillFixture {
 protected:
  // Counts of bills, lines and use-log lines; the bill last saved and its
  // lines; the last use-log line and the balance of article 1 on S1.
  std::string State() {
    return std::to_string(Count("MF_OutBill")) + "|" + std::to_string(Count("MF_OutDetail")) + "|" +
           std::to_string(Count("SM_UseLog")) + "\n" +
           company_.Rows(
               "SELECT BillID, Date, DeptID, OpCateID, ProjID, Maker, Operator, Execer, "
               "Version, Notes FROM MF_OutBill WHERE BillID = :id",
               "tdtttttttt", {{"id", last_id_}}) +
           "\n" +
           company_.Rows(
               "SELECT SortID, Qty, StQty, ValidDate, SerialNo, Memo, OrdBomID FROM "
               "MF_OutDetail WHERE BillID = :id ORDER BY SortID",
               "tccdtti", {{"id", last_id_}}) +
           "\n" + company_.Text("SELECT LogDesc FROM SM_UseLog ORDER BY ID DESC LIMIT 1") + "|" +
           Balance("S1", 1).ToPlainString();
  }
  platform::EventLogCapture log_;
};

TEST_F(AddNewTest, SavesTheBillOrRefusesAndWritesNothing) {
  company_.AddUser("rea", "Rea", "T", {"MF0301"});
  auto in_line = [](const char* n, const char* what) {
    return std::string("在序号 ") + n + " 的明细项中，数据不完整。\r\n" + what;
  };
  const std::string length = "出库单编号长度为12，或置空由系统自动生成！";
  const std::string memo255(255, 'm');
  std::string chinese;
  for (int i = 0; i < 255; ++i) chinese += "备";
  auto bill = [](const char* id, const char* date, const char* dept, const char* maker) {
    return std::string(id) + "|" + date + "|" + dept + "|<null>|<null>|" + maker +
           "|Oscar|<null>|0|memo";
  };
  const std::vector<Step> steps = {
      {"generated number",
       [&] {
         return AddNew("", {{.sort_id = "1", .meas = "box", .qty = "3", .valid = "2027-01-31"},
                            {.sort_id = "2", .art = 3, .meas = "pcs", .qty = "2.5", .bom = 7}});
       },
       "",
       // The department from the order line; 3 boxes of 12.
       "1|2|1\n" + bill("202612060001", "2026-12-06", "D1", "Amy") +
           "\n1|3|36|2027-01-31|||0;2|2.5|2.5|<null>|||7\n新增生产领料单202612060001|1000"},
      {"next number", [&] { return AddNew("", {{}}); }, "",
       "2|3|2\n" + bill("202612060002", "2026-12-06", "D1", "Amy") +
           "\n1|1|1|<null>|||0\n新增生产领料单202612060002|1000"},
      {"number taken", [&] { return AddNew("202612060001", {{}}); }, "生产领料单编号重复！"},
      {"number too short", [&] { return AddNew("20261206999", {{}}); }, length},
      {"number too long", [&] { return AddNew("2026120699999", {{}}); }, length},
      {"no lines", [&] { return AddNew("", {}); }, "缺少生产领料单明细项！"},
      {"before the period", [&] { return AddNew("", {{}}, false, "amy", "2026-11-30"); },
       "生产领料单日期不能早于 2026-12-01！"},
      {"line number", [&] { return AddNew("", {{.sort_id = "12345"}}); },
       "明细项序号长度不能大于4！"},
      {"no line number", [&] { return AddNew("", {{.sort_id = ""}}); }, "明细项序号不能为空！"},
      {"no unit", [&] { return AddNew("", {{.sort_id = "7", .meas = ""}}); },
       in_line("7", "必须指定物品单位！")},
      {"memo", [&] { return AddNew("", {{.memo = std::string(256, 'm')}}); },
       "备注长度不能大于255！"},
      // Memo length counts characters, not bytes.
      {"memo in characters", [&] { return AddNew("", {{.memo = chinese + "备"}}); },
       "备注长度不能大于255！"},
      {"zero quantity executed", [&] { return AddNew("", {{.sort_id = "3", .qty = "0"}}, true); },
       in_line("3", "数量必须大于0！")},
      // The first failing line ends the call.
      {"first failing line",
       [&] {
         return AddNew("", {{.sort_id = "1"}, {.sort_id = "2", .meas = ""}, {.sort_id = ""}});
       },
       in_line("2", "必须指定物品单位！")},
      {"no maintain right", [&] { return AddNew("", {{}}, false, "rea"); },
       "沒有生產領料單的維護權限！"},
      {"unknown user", [&] { return AddNew("", {{}}, false, "stranger"); },
       "user 'stranger' is not a user of company database '" + company_.name() + "'"},
      // No lines fails before the order is asked about.
      {"no lines, unknown order",
       [&] { return AddNew("", {}, false, "amy", "2026-12-06", "NOPE"); },
       "缺少生产领料单明细项！"},
      {"unknown order", [&] { return AddNew("", {{}}, false, "amy", "2026-12-06", "NOPE", "1"); },
       "生产单 NOPE 没有序号为 1 的明细！(Production order NOPE has no line 1.)"},
      // Run-time errors carry the progress marker: a unit without a
      // conversion row fails in the conversion of line 2.
      {"unit without conversion",
       [&] {
         return AddNew("", {{.sort_id = "1"}, {.sort_id = "2", .meas = "crate"}});
       },
       "-2147218483-Either BOF or EOF is True, or the current record has been deleted.-"
       "StMeasQty:Plexavo-Plexavo.AddNew#6.1"},
      {"no rowset",
       [&] { return AddNewRows("", std::nullopt, false, "amy", "2026-12-06", "MO1", "1", ""); },
       "91-Object variable or With block variable not set-Plexavo-Plexavo.AddNew#2"},
      // Ned may maintain, not execute: the number drawn is void.
      {"failed execution",
       [&] {
         auto r = AddNew("", {{}}, true, "ned");
         EXPECT_EQ(r.id, "202612060003");
         return r;
       },
       "没有生产领料单的执行权限！"},
      // The period's first day, the longest line number and memo.
      {"bounds",
       [&] {
         return AddNew("", {{.sort_id = "1234", .memo = memo255}}, false, "amy", "2026-12-01");
       },
       "",
       "3|4|3\n" + bill("202612010001", "2026-12-01", "D1", "Amy") + "\n1234|1|1|<null>||" +
           memo255 + "|0\n新增生产领料单202612010001|1000"},
      {"memo of 255 characters", [&] { return AddNew("", {{.memo = chinese}}, false, "ned"); }, "",
       "4|5|4\n" + bill("202612060003", "2026-12-06", "D1", "Ned") + "\n1|1|1|<null>||" + chinese +
           "|0\n新增生产领料单202612060003|1000"},
      // Without execution a quantity of zero or less is written.
      {"zero quantity",
       [&] {
         return AddNew("", {{.qty = "0"}, {.sort_id = "2", .qty = "-1"}});
       },
       "",
       "5|7|5\n" + bill("202612060004", "2026-12-06", "D1", "Amy") +
           "\n1|0|0|<null>|||0;2|-1|-1|<null>|||0\n新增生产领料单202612060004|1000"},
      // Texts with apostrophes are stored as given, the notes trimmed.
      {"apostrophes",
       [&] {
         return AddNew("", {{.memo = "it's"}}, false, "amy", "2026-12-06", "MO1", "1",
                       "  O'Brien's bill  ");
       },
       "",
       "6|8|6\n202612060005|2026-12-06|D1|<null>|<null>|Amy|Oscar|<null>|0|O'Brien's bill\n"
       "1|1|1|<null>||it's|0\n新增生产领料单202612060005|1000"},
      // The whole order: its own department; an order line without one.
      {"whole order", [&] { return AddNew("", {{}}, false, "amy", "2026-12-06", "MO1", ""); }, "",
       "7|9|7\n" + bill("202612060006", "2026-12-06", "D0", "Amy") +
           "\n1|1|1|<null>|||0\n新增生产领料单202612060006|1000"},
      {"no department", [&] { return AddNew("", {{}}, false, "amy", "2026-12-06", "MO2", "1"); },
       "",
       "8|10|8\n" + bill("202612060007", "2026-12-06", "<null>", "Amy") +
           "\n1|1|1|<null>|||0\n新增生产领料单202612060007|1000"},
      {"executed at once", [&] { return AddNew("", {{.meas = "box", .qty = "2"}}, true); }, "",
       "9|11|10\n202612060008|2026-12-06|D1|<null>|<null>|Amy|Oscar|Amy|1000|memo\n"
       "1|2|24|<null>|||0\n执行生产领料单202612060008！|976"},
      {"module not started",
       [&] {
         company_.Exec("DELETE FROM SM_Period");
         return AddNew("", {{}});
       },
       "生产系统尚未启用！"},
  };
  RunSteps(steps, [&] { return State(); });
  std::vector<std::string> records;
  for (const std::string& r : log_.Records()) records.push_back(r.substr(0, r.find("\r\n")));
  EXPECT_EQ(records,
            (std::vector<std::string>{"Method: Plexavo.AddNew#6.1", "Method: Plexavo.AddNew#2"}));
}

TEST_F(AddNewTest, MachineTimeReplacesTheDate) {
  company_.Exec("UPDATE SM_Config SET Value = '1' WHERE ID = 'MachineTime'");
  const std::string today = base::DateTime::Now().FormatDate();
  company_.Exec("UPDATE SM_Period SET Period = :p",
                {{"p", today.substr(0, 4) + today.substr(5, 2)}});
  auto r = AddNew("", {{}}, false, "amy", "1999-01-01");
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(Header(r.id, "Date"), today);
}

}  // namespace
}  // namespace writer
