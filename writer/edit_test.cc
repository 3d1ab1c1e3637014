#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "services/registration.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::BillFixture;
using testing_support::C;

class EditTest : public BillFixture {
 protected:
  EditTest() {
    company_.AddUser("dan", "Dan", "", {"MF0301", "MF0302"});
    company_.AddUser("eve", "Eve", "", {"MF0301", "MF0302", "SP0602"});
  }
  std::string Made(const std::string& login = "amy") {
    auto r = AddNew("", {{.qty = "1"}, {.sort_id = "2", .qty = "2"}}, false, login);
    EXPECT_TRUE(r.ok) << r.err;
    return r.id;
  }
  platform::EventLogCapture log_;
};

TEST_F(EditTest, DeleteRemovesHeaderAndLinesAndLogs) {
  std::string id = Made();
  auto r = Delete(id);
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(Header(id, "BillID"), "<none>");
  EXPECT_EQ(Count("MF_OutDetail"), 0);
  EXPECT_EQ(company_.Text("SELECT LogDesc FROM SM_UseLog ORDER BY ID DESC LIMIT 1"),
            "删除生产领料单" + id + "！");
}

TEST_F(EditTest, GuardRefusalsForDeleteAndEdit) {
  std::string mine = Made();
  std::string executed = Made();
  ASSERT_TRUE(ExecBill(executed).ok);
  EXPECT_EQ(Delete(executed).err, "编号为 " + executed + " 的生产领料单已经执行，不能修改及删除！");
  EXPECT_EQ(Edit(executed, executed, {{}}).err,
            "编号为 " + executed + " 的生产领料单已经执行，不能修改及删除！");
  EXPECT_EQ(Delete("NOPE").err, "没有找到编号为 NOPE 的生产领料单！");
  company_.AddUser("rea", "Rea", "", {"MF0301"});
  EXPECT_EQ(Delete("NOPE", "rea").err, "没有生产领料单的维护权限！");  // before reading
  EXPECT_EQ(Delete(mine, "dan").err, "只能修改/删除自己制作的生产通知单！");
  EXPECT_EQ(Edit(mine, mine, {{}}, "dan").err, "只能修改/删除自己制作的生产通知单！");
  EXPECT_EQ(Count("MF_OutBill"), 2);
  EXPECT_TRUE(Delete(mine, "eve").ok);  // may change others' bills
  // A bill without maker: anyone with the maintain right.
  std::string anon = Made();
  company_.Exec("UPDATE MF_OutBill SET Maker = NULL WHERE BillID = :id", {{"id", anon}});
  EXPECT_TRUE(Delete(anon, "dan").ok);
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(EditTest, EditKeepsTheNumberAndReplacesTheLines) {
  std::string id = Made();
  auto r = Edit(id, id, {{.sort_id = "9", .meas = "box", .qty = "2"}}, "eve");
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(r.id, id);
  EXPECT_EQ(Header(id, "Version"), "1");
  EXPECT_EQ(Header(id, "Maker"), "Eve");
  EXPECT_EQ(Header(id, "Notes"), "revised");
  EXPECT_EQ(Header(id, "OpCateID"), "OC1");
  EXPECT_EQ(Header(id, "ProjID"), "<null>");
  EXPECT_EQ(Header(id, "ItemID"), "ITEM");
  EXPECT_EQ(Header(id, "DeptID"), "D1");
  EXPECT_EQ(company_.Text("SELECT SortID FROM MF_OutDetail"), "9");
  EXPECT_EQ(Count("MF_OutDetail"), 1);
  base::Rowset st =
      company_.Query("SELECT StQty FROM MF_OutDetail", {{"StQty", base::FieldType::kCurrency}});
  EXPECT_EQ(*st.Row(0)[0].AsCurrency(), C("24"));
  EXPECT_EQ(company_.Text("SELECT LogDesc FROM SM_UseLog ORDER BY ID DESC LIMIT 1"),
            "修改生产领料单" + id + "！");
}

TEST_F(EditTest, Renumbering) {
  std::string id = Made();
  std::string other = Made();
  // A number in use, refused before anything is deleted.
  auto taken = Edit(id, other, {{}});
  EXPECT_EQ(taken.err, "生产领料单编号重复！");
  EXPECT_EQ(company_.Text("SELECT COUNT(*) FROM MF_OutDetail WHERE BillID = '" + id + "'"), "2");
  // A new number of the caller's.
  auto moved = Edit(id, "202612069000", {{}});
  ASSERT_TRUE(moved.ok) << moved.err;
  EXPECT_EQ(Header("202612069000", "Version"), "1");
  EXPECT_EQ(Header(id, "BillID"), "<none>");
  EXPECT_EQ(company_.Text("SELECT COUNT(*) FROM MF_OutDetail WHERE BillID = '202612069000'"), "1");
  EXPECT_EQ(company_.Text("SELECT LogDesc FROM SM_UseLog ORDER BY ID DESC LIMIT 1"),
            "修改生产领料单" + id + "为202612069000！");
  // Empty: a generated one, into the gap.
  auto generated = Edit("202612069000", "", {{}});
  ASSERT_TRUE(generated.ok) << generated.err;
  EXPECT_EQ(generated.id, id);
  EXPECT_EQ(Header(id, "Version"), "2");
  EXPECT_EQ(Edit(id, "20261206", {{}}).err, "出库单编号长度为12，或置空由系统自动生成！");
}

TEST_F(EditTest, LineChecksPutQuantityFirstAndAlways) {
  std::string id = Made();
  struct Case {
    testing_support::LineSpec line;
    std::string expect;
  } cases[] = {
      {{.sort_id = "4", .qty = "0", .memo = std::string(300, 'm')},
       "在序号 4 的明细项中，数据不完整。\r\n数量必须大于0！"},
      {{.memo = std::string(300, 'm')}, "备注长度不能大于255！"},
      {{.sort_id = "12345"}, "明细项序号长度不能大于4！"},
  };
  for (const auto& c : cases) EXPECT_EQ(Edit(id, id, {c.line}).err, c.expect);
  EXPECT_EQ(Edit(id, id, {}).err, "缺少生产领料单明细项！");
  EXPECT_EQ(Edit(id, id, {{}}, "amy", "2026-11-30").err, "生产领料单日期不能早于 2026-12-01！");
  EXPECT_EQ(Header(id, "Version"), "0");
  EXPECT_EQ(Count("MF_OutDetail"), 2);
}

TEST_F(EditTest, FullLifeCycleCountsVersions) {
  std::string id = Made();
  ASSERT_TRUE(Edit(id, id, {{.qty = "5"}}).ok);
  ASSERT_TRUE(ExecBill(id).ok);
  EXPECT_FALSE(Delete(id).ok);
  ASSERT_TRUE(UnExecBill(id).ok);
  ASSERT_TRUE(Edit(id, id, {{.qty = "6"}}).ok);
  EXPECT_EQ(Header(id, "Version"), "2002");
  EXPECT_EQ(Balance("S1", 1), C("1000"));
  ASSERT_TRUE(Delete(id).ok);
  EXPECT_EQ(Count("MF_OutBill"), 0);
  EXPECT_EQ(Count("SM_UseLog"), 6);
}

}  // namespace
}  // namespace writer

namespace writer {
namespace {

// A host that (wrongly) lets the writer run without a transaction: every
// writer operation refuses before it looks at anything.
TEST_F(EditTest, OutsideATransactionEveryWriteIsRefusedFirst) {
  std::string id = Made();
  host::ClassTable loose;
  services::RegisterServices(loose);
  loose.Register({"Test.LooseWriter", host::TransactionAttribute::kNone,
                  [](host::ObjectContext& ctx) { return std::make_unique<MF_OutBillE>(ctx); }});
  host::Instance obj = host::Host(loose).CreateObject("Test.LooseWriter", "stranger").value();
  ASSERT_FALSE(obj.context()->IsInTransaction());
  MF_OutBillE& w = *obj.As<MF_OutBillE>();
  const std::string kRefusal = "对象没有运行在事务中，请与管理员联系！";
  std::string err;
  company_.AddUser("stranger", "Stranger", "", {});  // a known user, without any right
  EXPECT_FALSE(w.Delete(id, company_.name(), err));
  EXPECT_EQ(err, kRefusal);  // before the guard's maintain-right check
  err.clear();
  std::string new_id = id;
  EXPECT_FALSE(w.Edit(id, new_id, testing_support::D("2026-12-06"), "", "MO1", "1", "", "", "", "",
                      testing_support::Lines({{}}), company_.name(), err));
  EXPECT_EQ(err, kRefusal);
  err.clear();
  EXPECT_FALSE(w.UnExecBill(id, company_.name(), err));
  EXPECT_EQ(err, kRefusal);
  EXPECT_EQ(Header(id, "Version"), "0");
  EXPECT_EQ(Count("SM_UseLog"), 1);
}

}  // namespace
}  // namespace writer
