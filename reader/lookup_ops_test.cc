#include <gtest/gtest.h>

#include <functional>
#include <sstream>

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

  // One look-up named by `call` ("Operation arg arg", "-" for an empty
  // argument), its answer as text: values and out-parameters
  // joined by "|" (those the call left alone: "keep", -1, 7), rowsets as
  // Dump gives them.
  std::string Ask(MF_OutBill& r, const std::string& call, std::string& err) {
    std::istringstream in(call);
    std::string op, a, b;
    in >> op >> a >> b;
    if (a == "-") a.clear();
    if (b == "-") b.clear();
    const std::string& db = company_.name();
    if (op == "GetMeasID") return r.GetMeasID(std::stoi(a), db, err);
    if (op == "GetItemName") return r.GetItemName(a, db, err);
    if (op == "GetProjectName") return r.GetProjectName(a, db, err);
    if (op == "GetShelfName") return r.GetShelfName(a, db, err);
    if (op == "GetRstOpCate") return testing_support::Dump(r.GetRstOpCate(db, err));
    if (op == "GetRstMaker") return testing_support::Dump(r.GetRstMaker(db, err));
    if (op == "ShopRst") return testing_support::Dump(r.ShopRst(db, err));
    std::string code = "keep", name = "keep", meas = "keep", shelf = "keep";
    if (op == "OrderBomRst") {
      base::Currency qty = C("7");
      auto rows = r.OrderBomRst(a, b, code, name, qty, db, err);
      return code + "|" + name + "|" + qty.ToPlainString() + "\n" + testing_support::Dump(rows);
    }
    EXPECT_EQ(op, "ArtExInfo");
    int32_t id = -1, serial = -1, keep = -1;
    const bool ok = r.ArtExInfo(a, id, name, meas, serial, keep, shelf, db, err);
    return std::to_string(ok) + "|" + std::to_string(id) + "|" + name + "|" + meas + "|" +
           std::to_string(serial) + "|" + std::to_string(keep) + "|" + shelf;
  }

  platform::EventLogCapture log_;
};

// Each look-up's answer as text and its error text; the vote follows the
// error text.
TEST_F(LookupOpsTest, LookUpsAnswerTheirValuesOrTheServicesText) {
  const std::string bom_head =
      "\nID:int ArtID:int ArtCode:text ArtName:text MeasID:text SerialNo:text Qty:currency "
      "OutQty:currency";
  auto bolt = [](int32_t id, const char* serial, const char* out) {
    return "\n" + std::to_string(id) + "|1|A-001|Bolt|pcs|" + serial + "|100|" + out;
  };
  const struct {
    const char *login, *call;
    std::string answer, err;
  } cases[] = {
      {"ned", "GetMeasID 1", "pcs", ""},
      {"ned", "GetMeasID 3", "", ""},  // an article without unit
      {"ned", "GetMeasID 99", "", "物品 99 不存在！(Article 99 does not exist.)"},
      {"ned", "GetItemName I1", "Labour", ""},
      {"ned", "GetItemName I2", "", ""},  // without name
      {"ned", "GetItemName I9", "", "成本项目 I9 不存在！(Cost item I9 does not exist.)"},
      {"ned", "GetProjectName PR1", "Bridge", ""},
      {"ned", "GetProjectName I1", "", "项目 I1 不存在！(Project I1 does not exist.)"},
      // The lists come back whole, even without the read right.
      {"rex", "GetRstOpCate", "ID:text Name:text\nOC1|Rework\nOC2|Repair", ""},
      {"rex", "GetRstMaker", "ID:text Name:text DeptID:text\nP1|Oscar|D1\nP2|Pia|<null>", ""},
      {"rex", "ShopRst", "ID:text Name:text\nW1|Assembly\nW2|Paint", ""},
      // A shelf's name needs the stock-out right of the shelf's depot: the
      // stock-in right only, or a shelf in no depot, is refused.
      {"amy", "GetShelfName S1", "Shelf one", ""},
      {"ned", "GetShelfName S2", "Shelf two", ""},
      {"amy", "GetShelfName S2", "", k10340},
      {"amy", "GetShelfName S3", "", k10340},
      {"tia", "GetShelfName S1", "", "在指定的倉庫中沒有出庫權限！"},
      {"amy", "GetShelfName S9", "", "货位 S9 不存在！(Shelf S9 does not exist.)"},
      {"zed", "GetShelfName S1", "", "user 'zed' is not a user of company database '" + db() + "'"},
      // The BOM rows of an order line and the line's product.
      {"ned", "OrderBomRst MO1 1",
       "B-002|Motor|25.5" + bom_head + bolt(bom_line1_a_, "X", "0") +
           bolt(bom_line1_b_, "Y", "2.5") + "\n" + std::to_string(bom_line1_art2_) +
           "|3|C-003|Nut|<null>||100|0",
       ""},
      {"ned", "OrderBomRst MO1 -", "||0" + bom_head + bolt(bom_whole_, "", "0"), ""},
      {"ned", "OrderBomRst MO1 2", "||0" + bom_head, ""},  // no product, no BOM rows
      {"ned", "OrderBomRst MO1 9", "keep|keep|7\n<no rowset>",
       "生产单 MO1 没有序号为 9 的明细！(Production order MO1 has no line 9.)"},
      {"ned", "OrderBomRst MO9 -", "keep|keep|7\n<no rowset>",
       "生产单 MO9 不存在！(Production order MO9 does not exist.)"},
      // An article by its code; one without stock settings, on an unknown shelf.
      {"ned", "ArtExInfo B-002", "1|2|Motor|set|1|30|S2", ""},
      {"ned", "ArtExInfo D-004", "1|4|Pin||0|0|S7", ""},
      {"ned", "ArtExInfo Z-9", "0|-1|keep|keep|-1|-1|keep",
       "物品编码 Z-9 不存在！(Article code Z-9 does not exist.)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " as " + c.login);
    std::string err;
    EXPECT_EQ(Read(c.login, [&](MF_OutBill& r) { return Ask(r, c.call, err); }), c.answer);
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
  // Each call answers what it was left with: its initial values.
  const struct {
    const char *call, *service, *initial;
  } cases[] = {
      {"GetMeasID 1", "Article", ""},
      {"ArtExInfo A-001", "Article", "0|-1|keep|keep|-1|-1|keep"},
      {"GetRstMaker", "Operator", "<no rowset>"},
      {"GetShelfName S1", "Depot", ""},
      {"GetItemName I1", "Item", ""},
      {"GetProjectName PR1", "Project", ""},
      {"OrderBomRst MO1 1", "Order", "keep|keep|7\n<no rowset>"},
      {"ShopRst", "Shop", "<no rowset>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    host::Instance obj = host::Host(bare).CreateObject("Plexavo.MF_OutBill", "amy").value();
    std::string err;
    EXPECT_EQ(Ask(*obj.As<MF_OutBill>(), c.call, err), c.initial);
    const std::string op = std::string(c.call).substr(0, std::string(c.call).find(' '));
    EXPECT_EQ(err, std::string("429-ActiveX component can't create object: Plexavo.") + c.service +
                       "Service-Plexavo-Plexavo." + op);
    EXPECT_EQ(obj.context()->vote(), Vote::kAbort);
  }
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
