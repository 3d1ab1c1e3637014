#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "services/registration.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::BillFixture;
using testing_support::LineSpec;

class EditTest : public BillFixture {
 protected:
  // The bills, their lines and the last use-log line.
  std::string State() {
    return company_.Rows(
               "SELECT BillID, Version, Maker, Notes, OpCateID, ItemID, DeptID "
               "FROM MF_OutBill ORDER BY BillID",
               "ttttttt") +
           "\n" +
           company_.Rows("SELECT BillID, SortID, StQty FROM MF_OutDetail ORDER BY BillID, SortID",
                         "ttc") +
           "\n" + company_.Text("SELECT LogDesc FROM SM_UseLog ORDER BY ID DESC LIMIT 1");
  }
  platform::EventLogCapture log_;
};

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
  RunSteps(steps, [&] { return State(); });
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

}  // namespace
}  // namespace writer
