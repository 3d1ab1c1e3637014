#include <gtest/gtest.h>

#include <functional>

#include "company/cnn_string.h"
#include "platform/event_log.h"
#include "reader/mf_outbill.h"
#include "services/depot_service.h"
#include "services/sql_user_service.h"
#include "tests/bill_fixture.h"
#include "tests/probe_object.h"

namespace reader {
namespace {

using host::Vote;
using testing_support::C;

const std::string k10340 = "在指定的仓库中没有出库权限！";

class LookupOpsTest : public testing_support::BillFixture {
 protected:
  LookupOpsTest() {
    company_.AddUser("tia", "Tia", "T", {});
    company_.AddUser("rex", "Rex", "", {});  // no right on issue bills
    for (const char* sql : {
             "INSERT INTO ST_Depot (ID, Name) VALUES ('D1', 'Main'), ('D2', 'Side')",
             "UPDATE ST_Shelf SET DepotID = 'D1' WHERE ID = 'S1'",
             "UPDATE ST_Shelf SET DepotID = 'D2' WHERE ID = 'S2'",
             "INSERT INTO ST_Shelf (ID, Name) VALUES ('S3', 'Loose')",  // in no depot
             "INSERT INTO ST_DepotRight (LoginName, DepotID, Direction) VALUES ('amy', 'D1', 2), "
             "('amy', 'D2', 1), ('tia', 'D1', 1), ('ned', 'D2', 2)",
             "INSERT INTO FD_OpCate (ID, Name) VALUES ('OC1', 'Rework'), ('OC2', 'Repair')",
             "INSERT INTO FD_Operator (ID, Name, DeptID) VALUES ('P2', 'Pia', NULL), "
             "('P1', 'Oscar', 'D1')",
             "INSERT INTO FD_Shop (ID, Name) VALUES ('W2', 'Paint'), ('W1', 'Assembly')",
             "INSERT INTO FD_Item (ID, Name) VALUES ('I1', 'Labour'), ('I2', NULL)",
             "INSERT INTO FD_Project (ID, Name) VALUES ('PR1', 'Bridge')",
             "UPDATE FD_Article SET MeasID = 'pcs', ShelfID = 'S1' WHERE ID = 1",
             "UPDATE FD_Article SET MeasID = 'set', Serial = 1, ShelfID = 'S2' WHERE ID = 2",
             "INSERT INTO FD_Article (ID, ArtCode, Name, ShelfID) VALUES (4, 'D-004', 'Pin', 'S7')",
         }) {
      company_.Exec(sql);
    }
    company_.Exec(
        "UPDATE MF_OrdDetail SET ArtID = 2, Qty = :q WHERE BillID = 'MO1' AND SortID = '1'",
        {{"q", C("25.5")}});
    company_.Exec("UPDATE MF_OrdBom SET Qty = :q", {{"q", C("100")}});
    company_.Exec("UPDATE MF_OrdBom SET OutQty = :q WHERE ID = :id",
                  {{"q", C("2.5")}, {"id", bom_line1_b_}});
  }

  const std::string& db() const { return company_.name(); }

  // OrderBomRst's product code, name and quantity ("keep" / 7 when left
  // alone), then its rows.
  std::string Bom(MF_OutBill& r, const char* bill, const char* line, std::string& err) {
    std::string code = "keep", name = "keep";
    base::Currency qty = C("7");
    auto rows = r.OrderBomRst(bill, line, code, name, qty, db(), err);
    return code + "|" + name + "|" + qty.ToPlainString() + "\n" + testing_support::Dump(rows);
  }

  // ArtExInfo's answer and its parameters (-1 / "keep" when left alone).
  std::string Art(MF_OutBill& r, const char* code, std::string& err) {
    int32_t id = -1, serial = -1, keep = -1;
    std::string name = "keep", meas = "keep", shelf = "keep";
    const bool ok = r.ArtExInfo(code, id, name, meas, serial, keep, shelf, db(), err);
    return std::to_string(ok) + "|" + std::to_string(id) + "|" + name + "|" + meas + "|" +
           std::to_string(serial) + "|" + std::to_string(keep) + "|" + shelf;
  }

  platform::EventLogCapture log_;
};

// Each look-up's answer as text and its error text; the vote follows the
// error text.
TEST_F(LookupOpsTest, LookUpsAnswerTheirValuesOrTheServicesText) {
  using Op = std::function<std::string(MF_OutBill&, std::string&)>;
  const std::string db = company_.name();
  const std::string bom_head =
      "\nID:int ArtID:int ArtCode:text ArtName:text MeasID:text SerialNo:text Qty:currency "
      "OutQty:currency";
  auto bolt = [](int32_t id, const char* serial, const char* out) {
    return "\n" + std::to_string(id) + "|1|A-001|Bolt|pcs|" + serial + "|100|" + out;
  };
  const struct {
    const char* login;
    Op op;
    std::string answer, err;
  } cases[] = {
      {"ned", [&](auto& r, auto& e) { return r.GetMeasID(1, db, e); }, "pcs", ""},
      {"ned", [&](auto& r, auto& e) { return r.GetMeasID(3, db, e); }, "", ""},  // no unit
      {"ned", [&](auto& r, auto& e) { return r.GetMeasID(99, db, e); }, "",
       "物品 99 不存在！(Article 99 does not exist.)"},
      {"ned", [&](auto& r, auto& e) { return r.GetItemName("I1", db, e); }, "Labour", ""},
      {"ned", [&](auto& r, auto& e) { return r.GetItemName("I2", db, e); }, "", ""},  // no name
      {"ned", [&](auto& r, auto& e) { return r.GetItemName("I9", db, e); }, "",
       "成本项目 I9 不存在！(Cost item I9 does not exist.)"},
      {"ned", [&](auto& r, auto& e) { return r.GetProjectName("PR1", db, e); }, "Bridge", ""},
      {"ned", [&](auto& r, auto& e) { return r.GetProjectName("I1", db, e); }, "",
       "项目 I1 不存在！(Project I1 does not exist.)"},
      // The lists come back whole, even without the read right.
      {"rex", [&](auto& r, auto& e) { return testing_support::Dump(r.GetRstOpCate(db, e)); },
       "ID:text Name:text\nOC1|Rework\nOC2|Repair", ""},
      {"rex", [&](auto& r, auto& e) { return testing_support::Dump(r.GetRstMaker(db, e)); },
       "ID:text Name:text DeptID:text\nP1|Oscar|D1\nP2|Pia|<null>", ""},
      {"rex", [&](auto& r, auto& e) { return testing_support::Dump(r.ShopRst(db, e)); },
       "ID:text Name:text\nW1|Assembly\nW2|Paint", ""},
      // A shelf's name needs the stock-out right of the shelf's depot.
      {"amy", [&](auto& r, auto& e) { return r.GetShelfName("S1", db, e); }, "Shelf one", ""},
      {"ned", [&](auto& r, auto& e) { return r.GetShelfName("S2", db, e); }, "Shelf two", ""},
      // The stock-in right only; a shelf in no depot.
      {"amy", [&](auto& r, auto& e) { return r.GetShelfName("S2", db, e); }, "", k10340},
      {"amy", [&](auto& r, auto& e) { return r.GetShelfName("S3", db, e); }, "", k10340},
      {"tia", [&](auto& r, auto& e) { return r.GetShelfName("S1", db, e); }, "",
       "在指定的倉庫中沒有出庫權限！"},
      {"amy", [&](auto& r, auto& e) { return r.GetShelfName("S9", db, e); }, "",
       "货位 S9 不存在！(Shelf S9 does not exist.)"},
      {"zed", [&](auto& r, auto& e) { return r.GetShelfName("S1", db, e); }, "",
       "user 'zed' is not a user of company database '" + db + "'"},
      // The BOM rows of an order line and the line's product.
      {"ned", [&](auto& r, auto& e) { return Bom(r, "MO1", "1", e); },
       "B-002|Motor|25.5" + bom_head + bolt(bom_line1_a_, "X", "0") +
           bolt(bom_line1_b_, "Y", "2.5") + "\n" + std::to_string(bom_line1_art2_) +
           "|3|C-003|Nut|<null>||100|0",
       ""},
      {"ned", [&](auto& r, auto& e) { return Bom(r, "MO1", "", e); },
       "||0" + bom_head + bolt(bom_whole_, "", "0"), ""},
      // A line without product or BOM rows.
      {"ned", [&](auto& r, auto& e) { return Bom(r, "MO1", "2", e); }, "||0" + bom_head, ""},
      {"ned", [&](auto& r, auto& e) { return Bom(r, "MO1", "9", e); }, "keep|keep|7\n<no rowset>",
       "生产单 MO1 没有序号为 9 的明细！(Production order MO1 has no line 9.)"},
      {"ned", [&](auto& r, auto& e) { return Bom(r, "MO9", "", e); }, "keep|keep|7\n<no rowset>",
       "生产单 MO9 不存在！(Production order MO9 does not exist.)"},
      // An article by its code; one without stock settings, on an unknown shelf.
      {"ned", [&](auto& r, auto& e) { return Art(r, "B-002", e); }, "1|2|Motor|set|1|30|S2", ""},
      {"ned", [&](auto& r, auto& e) { return Art(r, "D-004", e); }, "1|4|Pin||0|0|S7", ""},
      {"ned", [&](auto& r, auto& e) { return Art(r, "Z-9", e); }, "0|-1|keep|keep|-1|-1|keep",
       "物品编码 Z-9 不存在！(Article code Z-9 does not exist.)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << " as " << c.login);
    std::string err;
    EXPECT_EQ(Read(c.login, [&](MF_OutBill& r) { return c.op(r, err); }), c.answer);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(read_vote_, c.err.empty() ? Vote::kComplete : Vote::kAbort);
  }
  EXPECT_TRUE(log_.Records().empty());
}

// Records what the reader asks; its name look-up always fails.
struct DepotCalls {
  bool allowed = false;
  std::vector<std::string> seen;
};
class RecordingDepots : public services::DepotService {
 public:
  RecordingDepots(host::ObjectContext& ctx, DepotCalls* calls) : DepotService(ctx), calls_(calls) {}
  bool CheckRight(const std::string& shelf, int32_t direction, bool& allowed, const std::string& db,
                  std::string&) override {
    calls_->seen.push_back("right " + shelf + " " + std::to_string(direction) + " " + db);
    allowed = calls_->allowed;
    return true;
  }
  std::string GetShelfName(const std::string& shelf, const std::string&,
                           std::string& err) override {
    calls_->seen.push_back("name " + shelf);
    err = "name look-up failed";
    return "";
  }

 private:
  DepotCalls* calls_;
};

TEST_F(LookupOpsTest, GetShelfNameWithoutTheRightNeverAsksForTheName) {
  DepotCalls calls;
  company_.classes().Register(
      {services::kDepotServiceProgId, host::TransactionAttribute::kSupports,
       [&](host::ObjectContext& ctx) { return std::make_unique<RecordingDepots>(ctx, &calls); }});
  for (bool allowed : {false, true}) {
    calls = DepotCalls{allowed, {}};
    std::string err;
    EXPECT_EQ(Read("amy", [&](MF_OutBill& r) { return r.GetShelfName("S1", db(), err); }), "");
    EXPECT_EQ(read_vote_, Vote::kAbort);
    std::vector<std::string> expected = {"right S1 2 " + db()};
    if (allowed) expected.push_back("name S1");
    EXPECT_EQ(calls.seen, expected);
    EXPECT_EQ(err, allowed ? "name look-up failed" : k10340);
  }
}

TEST_F(LookupOpsTest, AServiceThatCannotBeCreatedIsAnUnexpectedFailure) {
  host::ClassTable bare;  // the reader and the user service, no look-up service
  boundary::RegisterComponentClasses(bare);
  bare.Register(
      {services::kUserServiceProgId, host::TransactionAttribute::kSupports,
       [](host::ObjectContext& ctx) { return std::make_unique<services::SqlUserService>(ctx); }});
  std::string s = "keep";
  base::Currency q;
  int32_t n = 0;
  // Each call answers whether its result is the initial one.
  using Op = std::function<bool(MF_OutBill&, std::string&)>;
  const struct {
    const char* op;
    const char* service;
    Op call;
  } cases[] = {
      {"GetMeasID", "Article",
       [&](MF_OutBill& r, std::string& e) { return r.GetMeasID(1, db(), e).empty(); }},
      {"ArtExInfo", "Article",
       [&](MF_OutBill& r, std::string& e) {
         return !r.ArtExInfo("A-001", n, s, s, n, n, s, db(), e);
       }},
      {"GetRstMaker", "Operator",
       [&](MF_OutBill& r, std::string& e) { return !r.GetRstMaker(db(), e); }},
      {"GetShelfName", "Depot",
       [&](MF_OutBill& r, std::string& e) { return r.GetShelfName("S1", db(), e).empty(); }},
      {"GetItemName", "Item",
       [&](MF_OutBill& r, std::string& e) { return r.GetItemName("I1", db(), e).empty(); }},
      {"GetProjectName", "Project",
       [&](MF_OutBill& r, std::string& e) { return r.GetProjectName("PR1", db(), e).empty(); }},
      {"OrderBomRst", "Order",
       [&](MF_OutBill& r, std::string& e) { return !r.OrderBomRst("MO1", "1", s, s, q, db(), e); }},
      {"ShopRst", "Shop", [&](MF_OutBill& r, std::string& e) { return !r.ShopRst(db(), e); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op);
    host::Instance obj = host::Host(bare).CreateObject("Plexavo.MF_OutBill", "amy").value();
    std::string err;
    EXPECT_TRUE(c.call(*obj.As<MF_OutBill>(), err));
    EXPECT_EQ(err, std::string("429-ActiveX component can't create object: Plexavo.") + c.service +
                       "Service-Plexavo-Plexavo." + c.op);
    EXPECT_EQ(obj.context()->vote(), Vote::kAbort);
  }
  EXPECT_EQ(std::make_tuple(s, n, q.scaled()), std::make_tuple(std::string("keep"), 0, int64_t{0}));
}

TEST_F(LookupOpsTest, LookUpsJoinTheCallersTransaction) {
  testing_support::RegisterProbes(company_.classes());
  {
    host::Instance root =
        host::Host(company_.classes()).CreateObject(testing_support::kProbeInTx, "amy").value();
    data::Connection cnn;
    ASSERT_TRUE(cnn.Open(company::GetCnnString(db()).value(), root.context()->enlistment()).ok());
    ASSERT_TRUE(
        cnn.Execute(data::Sql("INSERT INTO FD_Project (ID, Name) VALUES ('PR7', 'Dam')")).ok());
    host::Instance obj = root.context()->CreateInstance("Plexavo.MF_OutBill").value();
    std::string err;
    EXPECT_EQ(obj.As<MF_OutBill>()->GetProjectName("PR7", db(), err), "Dam");
    EXPECT_EQ(err, "");
    (void)obj.Release();
    (void)root.Release();  // no vote: rolled back
  }
  EXPECT_EQ(company_.Text("SELECT Name FROM FD_Project WHERE ID = 'PR7'"), "<none>");
}

}  // namespace
}  // namespace reader
