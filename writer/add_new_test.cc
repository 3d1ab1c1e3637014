// Saving a bill: what is stored, what is refused (and then nothing is
// written), and the bounds on texts and lines.
#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::CallResult;
using testing_support::Lines;
using testing_support::LineSpec;

std::string TooLong(const std::string& field) { return field + " 的长度超出了允许的字符数！"; }

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

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
  // AddNew with header text `field` (OpCateID, OrdBill, ProjID, ItemID,
  // Operator or Notes) set to `value`, the others as a caller would.
  CallResult AddNewWith(const std::string& field, const std::string& value,
                        const std::optional<base::Rowset>& lines) {
    auto text = [&](const char* name, const char* usual) {
      return field == name ? value : std::string(usual);
    };
    return Writer("amy", [&](MF_OutBillE& w, CallResult& r) {
      return w.AddNew(r.id, testing_support::D("2026-12-06"), text("OpCateID", ""),
                      text("OrdBill", "MO1"), "1", text("ProjID", ""), text("ItemID", ""),
                      text("Operator", ""), text("Notes", ""), lines, false, company_.name(),
                      r.err);
    });
  }
  platform::EventLogCapture log_;
};

TEST_F(AddNewTest, SavesTheBillOrRefusesAndWritesNothing) {
  company_.AddUser("rea", "Rea", "T", {"MF0301"});
  auto in_line = [](const char* n, const char* what) {
    return std::string("在序号 ") + n + " 的明细项中，数据不完整。\r\n" + what;
  };
  const std::string length = "出库单编号长度为12，或置空由系统自动生成！";
  const std::string memo255(255, 'm'), chinese = Repeat("备", 255);
  // What a saved bill leaves: the counts, its header (dated as its number
  // says), its lines, and its use-log line.
  auto saved = [](const char* counts, const std::string& id, const char* dept, const char* maker,
                  const std::string& lines) {
    return std::string(counts) + "\n" + id + "|" + id.substr(0, 4) + "-" + id.substr(4, 2) + "-" +
           id.substr(6, 2) + "|" + dept + "|<null>|<null>|" + maker + "|Oscar|<null>|0|memo\n" +
           lines + "\n新增生产领料单" + id + "|1000";
  };
  const std::vector<LineSpec> two = {
      {.sort_id = "1", .meas = "box", .qty = "3", .valid = "2027-01-31"},
      {.sort_id = "2", .art = 3, .meas = "pcs", .qty = "2.5", .bom = 7}};
  const std::vector<LineSpec> twice = {{.sort_id = "1"}, {.sort_id = "2"}, {.sort_id = "1"}},
                              failing = {{.sort_id = "1"},
                                         {.sort_id = "2", .meas = ""},
                                         {.sort_id = ""}},
                              crate = {{.sort_id = "1"}, {.sort_id = "2", .meas = "crate"}},
                              non_positive = {{.qty = "0"}, {.sort_id = "2", .qty = "-1"}};
  const std::vector<Step> steps = {
      // The department from the order line; 3 boxes of 12.
      {"generated number", [&] { return AddNew("", two); }, "",
       saved("1|2|1", "202612060001", "D1", "Amy", "1|3|36|2027-01-31|||0;2|2.5|2.5|<null>|||7")},
      {"next number", [&] { return AddNew("", {{}}); }, "",
       saved("2|3|2", "202612060002", "D1", "Amy", "1|1|1|<null>|||0")},
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
      {"line twice", [&] { return AddNew("", twice, true); }, "明细项序号 1 重复！"},
      {"zero quantity executed", [&] { return AddNew("", {{.sort_id = "3", .qty = "0"}}, true); },
       in_line("3", "数量必须大于0！")},
      // The first failing line ends the call.
      {"first failing line", [&] { return AddNew("", failing); },
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
      {"unit without conversion", [&] { return AddNew("", crate); },
       "-2147218483-Either BOF or EOF is True, or the current record has been deleted.-"
       "StMeasQty:Plexavo-Plexavo.AddNew#6.1"},
      {"no rowset", [&] { return AddNewWith("", "", std::nullopt); },
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
       "", saved("3|4|3", "202612010001", "D1", "Amy", "1234|1|1|<null>||" + memo255 + "|0")},
      {"memo of 255 characters", [&] { return AddNew("", {{.memo = chinese}}, false, "ned"); }, "",
       saved("4|5|4", "202612060003", "D1", "Ned", "1|1|1|<null>||" + chinese + "|0")},
      // Without execution a quantity of zero or less is written.
      {"zero quantity", [&] { return AddNew("", non_positive); }, "",
       saved("5|7|5", "202612060004", "D1", "Amy", "1|0|0|<null>|||0;2|-1|-1|<null>|||0")},
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
       saved("7|9|7", "202612060006", "D0", "Amy", "1|1|1|<null>|||0")},
      {"no department", [&] { return AddNew("", {{}}, false, "amy", "2026-12-06", "MO2", "1"); },
       "", saved("8|10|8", "202612060007", "<null>", "Amy", "1|1|1|<null>|||0")},
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

TEST_F(AddNewTest, TextsLongerThanTheirColumnsAreRefusedNamingTheField) {
  const std::string mb(1024 * 1024, 'x'), line1 = "在序号 1 的明细项中，数据不完整。\r\n";
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
      {"", "", {.shelf = mb}, line1 + TooLong("ShelfID(40)")},
      {"", "", {.serial = mb}, line1 + TooLong("SerialNo(80)")},
      {"", "", {.meas = std::string(41, 'm')}, line1 + TooLong("MeasID(40)")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expect);
    EXPECT_EQ(testing_support::Refusal(AddNewWith(c.field, c.value, Lines({c.line}))), c.expect);
  }
  EXPECT_EQ(Count("MF_OutBill") + Count("MF_OutDetail") + Count("SM_UseLog"), 0);
  EXPECT_TRUE(log_.Records().empty());
  // Texts that fill their columns exactly are stored as given.
  ASSERT_TRUE(AddNewWith("Operator", Repeat("王", 80), Lines({{.serial = Repeat("序", 80)}})).ok);
  ASSERT_TRUE(AddNewWith("Notes", std::string(255, 'n'), Lines({{}})).ok);
  EXPECT_EQ(company_.Rows("SELECT Operator, Notes, SerialNo FROM MF_OutBill JOIN MF_OutDetail ON "
                          "MF_OutDetail.BillID = MF_OutBill.BillID ORDER BY MF_OutBill.BillID",
                          "ttt"),
            Repeat("王", 80) + "||" + Repeat("序", 80) + ";|" + std::string(255, 'n') + "|");
}

// The company's line limit bounds every bill, saved or revised; a setting
// that is no number leaves the default. Line numbers that differ only in
// case or by a blank are different lines.
TEST_F(AddNewTest, TheCompanysLineLimitBoundsEveryBill) {
  company_.WriteSettings("MaxBillLines=3\n");
  const std::vector<LineSpec> four = {
      {.sort_id = "1"}, {.sort_id = "2"}, {.sort_id = "3"}, {.sort_id = "4"}};
  EXPECT_EQ(testing_support::Refusal(AddNew("", four)), "生产领料单的明细项不能多于 3 行！");
  EXPECT_EQ(Count("MF_OutBill"), 0);
  CallResult three = AddNew("", {four[0], four[1], four[2]});
  ASSERT_TRUE(three.ok) << three.err;
  EXPECT_EQ(testing_support::Refusal(Edit(three.id, three.id, four)),
            "生产领料单的明细项不能多于 3 行！");
  company_.WriteSettings("MaxBillLines=many\n");
  EXPECT_TRUE(AddNew("", four).ok);
  EXPECT_TRUE(AddNew("", {{.sort_id = "a"}, {.sort_id = "A"}, {.sort_id = "a "}}).ok);
}

}  // namespace
}  // namespace writer
