// Saving bills, new, revised, deleted or from an issue plan: what is
// stored, what is refused (and then nothing is written), and the bounds on
// texts and lines.
#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "services/registration.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::CallResult;
using testing_support::Lines;
using testing_support::LineSpec;
using testing_support::Plan;

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
  // The bills, their lines and the last use-log line.
  std::string EditState() {
    return QueryRows(
        {{"SELECT BillID, Version, Maker, Notes, OpCateID, ItemID, DeptID "
          "FROM MF_OutBill ORDER BY BillID",
          "ttttttt"},
         {"SELECT BillID, SortID, StQty FROM MF_OutDetail ORDER BY BillID, SortID", "ttc"},
         {"SELECT LogDesc FROM SM_UseLog ORDER BY ID DESC LIMIT 1", "t"}});
  }
  // The bills, their lines, the use-log lines and the balance of article 1 on S1.
  std::string PlanState() {
    return QueryRows({{"SELECT BillID, OrdBill, OrdSortID, DeptID, Notes, Operator, Maker, Execer "
                       "FROM MF_OutBill ORDER BY BillID",
                       "tttttttt"},
                      {"SELECT BillID, SortID, Qty, StQty, ValidDate FROM MF_OutDetail "
                       "ORDER BY BillID, SortID",
                       "ttccd"},
                      {"SELECT LogDesc FROM SM_UseLog ORDER BY ID", "t"},
                      {"SELECT Qty FROM ST_ShelfBal WHERE ShelfID = 'S1' AND ArtID = 1 "
                       "AND SerialNo = ''",
                       "c"}});
  }
  platform::EventLogCapture log_;
};
using EditTest = AddNewTest;
using AddFromOutPlanTest = AddNewTest;

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

TEST_F(EditTest, RefusalsChangeNothingAndRevisionsReplaceTheBill) {
  company_.AddUser("dan", "Dan", "", {"MF0301", "MF0302"});
  company_.AddUser("eve", "Eve", "", {"MF0301", "MF0302", "SP0602"});  // others' bills too
  company_.AddUser("rea", "Rea", "", {"MF0301"});
  // Bills a, b and x of amy's, two lines each; x executed.
  const std::string a = "202612060001", b = "202612060002", x = "202612060003";
  for (const std::string& id : {a, b, x}) {
    ASSERT_TRUE(AddNew(id, {{.qty = "1"}, {.sort_id = "2", .qty = "2"}}).ok);
  }
  ASSERT_TRUE(ExecBill(x).ok);
  const std::string locked = "编号为 " + x + " 的生产领料单已经执行，不能修改及删除！";
  const std::string others = "只能修改/删除自己制作的生产通知单！";
  const std::string bx =
      b + "|0|Amy|memo|<null>|<null>|D1;" + x + "|1000|Amy|memo|<null>|<null>|D1";
  const std::string bx_lines = b + "|1|1;" + b + "|2|2;" + x + "|1|1;" + x + "|2|2";
  const std::string revised = "|Eve|revised|OC1|ITEM|D1;";
  const std::vector<LineSpec> twice = {{.sort_id = "5"}, {}, {.sort_id = "5"}},
                              long_shelf = {{}, {.sort_id = "2", .shelf = std::string(41, 'y')}};
  const std::vector<Step> steps = {
      {"executed", [&] { return Delete(x); }, locked},
      {"executed", [&] { return Edit(x, x, {{}}); }, locked},
      {"unknown", [&] { return Delete("NOPE"); }, "没有找到编号为 NOPE 的生产领料单！"},
      {"no right, before reading", [&] { return Delete("NOPE", "rea"); },
       "没有生产领料单的维护权限！"},
      {"another's", [&] { return Delete(a, "dan"); }, others},
      {"another's", [&] { return Edit(a, a, {{}}, "dan"); }, others},
      // A number in use, refused before anything is deleted.
      {"number taken", [&] { return Edit(a, b, {{}}); }, "生产领料单编号重复！"},
      {"number length", [&] { return Edit(a, "20261206", {{}}); },
       "出库单编号长度为12，或置空由系统自动生成！"},
      // The quantity is checked first and always.
      {"quantity",
       [&] { return Edit(a, a, {{.sort_id = "4", .qty = "0", .memo = std::string(300, 'm')}}); },
       "在序号 4 的明细项中，数据不完整。\r\n数量必须大于0！"},
      {"memo", [&] { return Edit(a, a, {{.memo = std::string(300, 'm')}}); },
       "备注长度不能大于255！"},
      {"line number", [&] { return Edit(a, a, {{.sort_id = "12345"}}); },
       "明细项序号长度不能大于4！"},
      {"line twice", [&] { return Edit(a, a, twice); }, "明细项序号 5 重复！"},
      {"line text", [&] { return Edit(a, a, long_shelf); },
       "在序号 2 的明细项中，数据不完整。\r\nShelfID(40) 的长度超出了允许的字符数！"},
      {"no lines", [&] { return Edit(a, a, {}); }, "缺少生产领料单明细项！"},
      {"date", [&] { return Edit(a, a, {{}}, "amy", "2026-11-30"); },
       "生产领料单日期不能早于 2026-12-01！"},
      // Eve may change others' bills: the number stays, the lines are replaced (2 boxes of 12).
      {"revised", [&] { return Edit(a, a, {{.sort_id = "9", .meas = "box", .qty = "2"}}, "eve"); },
       "",
       a + "|1" + revised + bx + "\n" + a + "|9|24;" + bx_lines + "\n修改生产领料单" + a + "！"},
      {"renumbered", [&] { return Edit(a, "202612069000", {{}}, "eve"); }, "",
       bx + ";202612069000|2" + revised.substr(0, revised.size() - 1) + "\n" + bx_lines +
           ";202612069000|1|1\n修改生产领料单" + a + "为202612069000！"},
      // An empty number: a generated one, into the gap.
      {"generated", [&] { return Edit("202612069000", "", {{}}, "eve"); }, "",
       a + "|3" + revised + bx + "\n" + a + "|1|1;" + bx_lines + "\n修改生产领料单202612069000为" +
           a + "！"},
      {"deleted by eve", [&] { return Delete(b, "eve"); }, "",
       a + "|3" + revised + x + "|1000|Amy|memo|<null>|<null>|D1\n" + a + "|1|1;" + x + "|1|1;" +
           x + "|2|2\n删除生产领料单" + b + "！"},
      // A bill without maker: anyone with the maintain right.
      {"no maker",
       [&] {
         company_.Exec("UPDATE MF_OutBill SET Maker = NULL WHERE BillID = :id", {{"id", a}});
         return Delete(a, "dan");
       },
       "",
       x + "|1000|Amy|memo|<null>|<null>|D1\n" + x + "|1|1;" + x + "|2|2\n删除生产领料单" + a +
           "！"},
  };
  RunSteps(steps, [&] { return EditState(); });
  EXPECT_TRUE(log_.Records().empty());
}

// A host that (wrongly) lets the writer run without a transaction: every
// writer operation refuses before it looks at anything.
TEST_F(EditTest, OutsideATransactionEveryWriteIsRefusedFirst) {
  const std::string id = AddNew("", {{}}).id;
  host::ClassTable loose;
  services::RegisterServices(loose);
  loose.Register({"Test.LooseWriter", host::TransactionAttribute::kNone,
                  [](host::ObjectContext& ctx) { return std::make_unique<MF_OutBillE>(ctx); }});
  host::Instance obj = host::Host(loose).CreateObject("Test.LooseWriter", "stranger").value();
  ASSERT_FALSE(obj.context()->IsInTransaction());
  MF_OutBillE& w = *obj.As<MF_OutBillE>();
  company_.AddUser("stranger", "Stranger", "", {});  // a known user, without any right
  std::string new_id = id, err1, err2, err3;
  EXPECT_FALSE(w.Delete(id, company_.name(), err1));  // before the maintain-right check
  EXPECT_FALSE(w.Edit(id, new_id, testing_support::D("2026-12-06"), "", "MO1", "1", "", "", "", "",
                      testing_support::Lines({{}}), company_.name(), err2));
  EXPECT_FALSE(w.UnExecBill(id, company_.name(), err3));
  const std::string refusal = "对象没有运行在事务中，请与管理员联系！";
  EXPECT_EQ(err1 + "/" + err2 + "/" + err3, refusal + "/" + refusal + "/" + refusal);
  EXPECT_EQ(Header(id, "Version"), "0");
  EXPECT_EQ(Count("SM_UseLog"), 1);
}

TEST_F(AddFromOutPlanTest, AdjacentRowsOfOneOrderLineMakeOneExecutedBill) {
  const auto not_adjacent =
      Plan({{"MO1", "1", nullptr}, {"MO1", "2", nullptr}, {"MO1", "1", nullptr}});
  const auto one = Plan({{"MO1", "1", nullptr}});
  const auto short_stock =
      Plan({{"MO1", "1", nullptr}, {"MO1", "2", nullptr}, {"MO2", "1", nullptr, "1", "999"}});
  const auto three = Plan({{"MO1", "1", nullptr, "1", "2"},
                           {"MO1", "1", "D9", "2", "3"},
                           {"MO1", "2", "D2"},
                           {"MO2", "1", ""},
                           {"MO2", "1", "D3", "2"}});
  const std::string head = "|生产领料计划生成||Amy|Amy";
  const std::vector<Step> steps = {
      {"empty plan", [&] { return AddFromOutPlan(1, Plan({})); },
       "生产领料计划中没有明细！(The issue plan has no rows.)"},
      {"count differs", [&] { return AddFromOutPlan(2, not_adjacent); },
       "生产领料计划生成 3 张生产领料单，与指定的数量 2 不符！(The issue plan yields 3 bills, "
       "not 2.)"},
      {"before the period", [&] { return AddFromOutPlan(1, one, "2026-11-30"); },
       "生产领料单日期不能早于 2026-12-01！"},
      // Stock runs short on the third bill: the whole batch goes.
      {"short stock", [&] { return AddFromOutPlan(3, short_stock); },
       "生产领料单202612060003执行时，发生以下错误：\r\n序号1中对应的物品，在执行日期货位库存余额"
       "不足。执行终止！"},
      // The department is the first row's; quantities go in unconverted,
      // without expiry dates; one log line for the batch, one per execution.
      {"three bills", [&] { return AddFromOutPlan(3, three); }, "",
       "202612060001|MO1|1|<null>" + head + ";202612060002|MO1|2|D2" + head +
           ";202612060003|MO2|1|<null>" + head +
           "\n202612060001|1|2|2|<null>;202612060001|2|3|3|<null>;202612060002|1|1|1|<null>;"
           "202612060003|1|1|1|<null>;202612060003|2|1|1|<null>\n"
           "新增生产领料单202612060001,202612060002,202612060003;执行生产领料单202612060001！;"
           "执行生产领料单202612060002！;执行生产领料单202612060003！\n992"},
  };
  RunSteps(steps, [&] { return PlanState(); });
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
  base::Rowset plan = Plan({{"MO1", "1", nullptr}}), broken(plan.fields());
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
