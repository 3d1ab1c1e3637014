#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "company/cnn_string.h"
#include "platform/event_log.h"
#include "reader/mf_outbill.h"
#include "services/article_service.h"
#include "services/depot_service.h"
#include "services/sql_user_service.h"
#include "tests/bill_fixture.h"
#include "tests/probe_object.h"

namespace reader {
namespace {

using host::Vote;
using testing_support::C;

const std::string k10340 = "在指定的仓库中没有出库权限！";
const std::string k20340 = "在指定的倉庫中沒有出庫權限！";

// "Name:type,..." then one line per row, values joined by "|" ("<null>").
std::string Dump(const std::optional<base::Rowset>& rs, bool sort_rows = false) {
  if (!rs) return "<no rowset>";
  std::string head;
  for (const auto& f : rs->fields()) {
    head += (head.empty() ? "" : ",") + f.name + ":" + base::FieldTypeName(f.type);
  }
  std::vector<std::string> lines;
  for (const auto& row : rs->rows()) {
    std::string line;
    for (const auto& v : row)
      line += (line.empty() ? "" : "|") + (v.IsNull() ? "<null>" : *v.AsText());
    lines.push_back(line);
  }
  if (sort_rows) std::sort(lines.begin(), lines.end());
  for (const auto& l : lines) head += "\n" + l;
  return head;
}

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
             "INSERT INTO FD_OpCate (ID, Name) VALUES ('OC2', 'Repair'), ('OC1', 'Rework')",
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

  // One call on a fresh reader object as `login`; the object's last vote
  // lands in vote_.
  template <typename Fn>
  auto Ask(const std::string& login, Fn&& fn) {
    host::Instance obj =
        host::Host(company_.classes()).CreateObject("Plexavo.MF_OutBill", login).value();
    auto result = fn(*obj.As<MF_OutBill>());
    vote_ = obj.context()->vote();
    (void)obj.Release();
    return result;
  }

  const std::string& db() const { return company_.name(); }

  Vote vote_ = Vote::kNone;
  platform::EventLogCapture log_;
};

TEST_F(LookupOpsTest, UnitAndNameLookUpsVoteByTheErrorText) {
  using Op = std::function<std::string(MF_OutBill&, const std::string&, std::string&)>;
  auto meas = [](int32_t art) -> Op {
    return [art](MF_OutBill& r, const std::string& db, std::string& e) {
      return r.GetMeasID(art, db, e);
    };
  };
  auto item = [](const char* id) -> Op {
    return [id](MF_OutBill& r, const std::string& db, std::string& e) {
      return r.GetItemName(id, db, e);
    };
  };
  auto project = [](const char* id) -> Op {
    return [id](MF_OutBill& r, const std::string& db, std::string& e) {
      return r.GetProjectName(id, db, e);
    };
  };
  const struct {
    const char* what;
    Op op;
    std::string answer, err;
  } cases[] = {
      {"unit", meas(1), "pcs", ""},
      {"article without unit", meas(3), "", ""},
      {"unknown article", meas(99), "", "物品 99 不存在！(Article 99 does not exist.)"},
      {"item", item("I1"), "Labour", ""},
      {"item without name", item("I2"), "", ""},
      {"unknown item", item("I9"), "", "成本项目 I9 不存在！(Cost item I9 does not exist.)"},
      {"project", project("PR1"), "Bridge", ""},
      {"unknown project", project("I1"), "", "项目 I1 不存在！(Project I1 does not exist.)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string err;
    EXPECT_EQ(Ask("ned", [&](MF_OutBill& r) { return c.op(r, db(), err); }), c.answer);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(vote_, c.err.empty() ? Vote::kComplete : Vote::kAbort);
  }
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(LookupOpsTest, ListsComeBackWholeEvenWithoutTheReadRight) {
  std::string err;
  EXPECT_EQ(Dump(Ask("rex", [&](MF_OutBill& r) { return r.GetRstOpCate(db(), err); }), true),
            "ID:text,Name:text\nOC1|Rework\nOC2|Repair");
  EXPECT_EQ(vote_, Vote::kComplete);
  EXPECT_EQ(Dump(Ask("rex", [&](MF_OutBill& r) { return r.GetRstMaker(db(), err); })),
            "ID:text,Name:text,DeptID:text\nP1|Oscar|D1\nP2|Pia|<null>");
  EXPECT_EQ(vote_, Vote::kComplete);
  EXPECT_EQ(Dump(Ask("rex", [&](MF_OutBill& r) { return r.ShopRst(db(), err); })),
            "ID:text,Name:text\nW1|Assembly\nW2|Paint");
  EXPECT_EQ(vote_, Vote::kComplete);
  EXPECT_EQ(err, "");
}

TEST_F(LookupOpsTest, GetRstOpCateFailureIsTheComposedText) {
  std::string err;
  EXPECT_FALSE(Ask("amy", [&](MF_OutBill& r) { return r.GetRstOpCate("nodb", err); }));
  // No settings for the database: the open fails with the data layer's text.
  EXPECT_EQ(err,
            "-2147467259-[Plexavo.Data] Data Source is empty: the company database has no server "
            "setting-Plexavo.Data-Plexavo.GetRstOpCate");
  EXPECT_EQ(vote_, Vote::kAbort);
  auto records = log_.Records();
  EXPECT_TRUE(std::any_of(records.begin(), records.end(), [](const std::string& r) {
    return r.rfind("Method: Plexavo.GetRstOpCate\r\n", 0) == 0;
  }));
}

TEST_F(LookupOpsTest, GetShelfNameNeedsTheStockOutRightOfTheShelfsDepot) {
  const struct {
    const char* login;
    const char* shelf;
    std::string name, err;
  } cases[] = {
      {"amy", "S1", "Shelf one", ""},
      {"ned", "S2", "Shelf two", ""},
      {"amy", "S2", "", k10340},  // stock-in right only
      {"amy", "S3", "", k10340},  // a shelf in no depot
      {"tia", "S1", "", k20340},  // the caller's language
      {"amy", "S9", "", "货位 S9 不存在！(Shelf S9 does not exist.)"},
      {"zed", "S1", "", "user 'zed' is not a user of company database '" + db() + "'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.login) + " " + c.shelf);
    std::string err;
    EXPECT_EQ(Ask(c.login, [&](MF_OutBill& r) { return r.GetShelfName(c.shelf, db(), err); }),
              c.name);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(vote_, c.err.empty() ? Vote::kComplete : Vote::kAbort);
  }
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
    EXPECT_EQ(Ask("amy", [&](MF_OutBill& r) { return r.GetShelfName("S1", db(), err); }), "");
    EXPECT_EQ(vote_, Vote::kAbort);
    std::vector<std::string> expected = {"right S1 2 " + db()};
    if (allowed) expected.push_back("name S1");
    EXPECT_EQ(calls.seen, expected);
    EXPECT_EQ(err, allowed ? "name look-up failed" : k10340);
  }
}

TEST_F(LookupOpsTest, OrderBomRstGivesTheRowsAndTheLinesProduct) {
  const std::string head =
      "ID:int,ArtID:int,ArtCode:text,ArtName:text,MeasID:text,SerialNo:text,Qty:currency,"
      "OutQty:currency";
  auto bolt = [](int32_t id, const char* serial, const char* out) {
    return "\n" + std::to_string(id) + "|1|A-001|Bolt|pcs|" + serial + "|100|" + out;
  };
  const struct {
    const char* bill;
    const char* line;
    std::string rows, code, name;
    base::Currency qty;
    std::string err;
  } cases[] = {
      {"MO1", "1",
       head + bolt(bom_line1_a_, "X", "0") + bolt(bom_line1_b_, "Y", "2.5") + "\n" +
           std::to_string(bom_line1_art2_) + "|3|C-003|Nut|<null>||100|0",
       "B-002", "Motor", C("25.5"), ""},
      {"MO1", "", head + bolt(bom_whole_, "", "0"), "", "", C("0"), ""},
      {"MO1", "2", head, "", "", C("0"), ""},  // a line without product or BOM rows
      {"MO1", "9", "<no rowset>", "keep", "keep", C("7"),
       "生产单 MO1 没有序号为 9 的明细！(Production order MO1 has no line 9.)"},
      {"MO9", "", "<no rowset>", "keep", "keep", C("7"),
       "生产单 MO9 不存在！(Production order MO9 does not exist.)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.bill) + "/" + c.line);
    std::string code = "keep", name = "keep", err;
    base::Currency qty = C("7");
    EXPECT_EQ(Dump(Ask("ned",
                       [&](MF_OutBill& r) {
                         return r.OrderBomRst(c.bill, c.line, code, name, qty, db(), err);
                       })),
              c.rows);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(qty, c.qty);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(vote_, c.err.empty() ? Vote::kComplete : Vote::kAbort);
  }
}

TEST_F(LookupOpsTest, ArtExInfoFillsTheArticleByItsCode) {
  const struct {
    const char* code;
    bool ok;
    int32_t id;
    std::string name, meas;
    int32_t serial, keep;
    std::string shelf, err;
  } cases[] = {
      {"B-002", true, 2, "Motor", "set", 1, 30, "S2", ""},
      {"D-004", true, 4, "Pin", "", 0, 0, "S7", ""},  // no stock settings, unknown shelf
      {"Z-9", false, -1, "keep", "keep", -1, -1, "keep",
       "物品编码 Z-9 不存在！(Article code Z-9 does not exist.)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    int32_t id = -1, serial = -1, keep = -1;
    std::string name = "keep", meas = "keep", shelf = "keep", err;
    EXPECT_EQ(Ask("ned",
                  [&](MF_OutBill& r) {
                    return r.ArtExInfo(c.code, id, name, meas, serial, keep, shelf, db(), err);
                  }),
              c.ok);
    EXPECT_EQ(std::tie(id, name, meas, serial, keep, shelf),
              std::tie(c.id, c.name, c.meas, c.serial, c.keep, c.shelf));
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(vote_, c.ok ? Vote::kComplete : Vote::kAbort);
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

// The services' own answers that the reader does not pass on.
TEST_F(LookupOpsTest, ServicesAnswerTheOtherDirectionAndTheDefaultShelfsName) {
  auto create = [&](const char* progid, const char* login) {
    return host::Host(company_.classes()).CreateObject(progid, login).value();
  };
  host::Instance depot = create(services::kDepotServiceProgId, "tia");
  std::string err;
  for (auto [shelf, direction, expected] : {std::tuple{"S1", services::kDirectionStockIn, true},
                                            std::tuple{"S1", services::kDirectionStockOut, false},
                                            std::tuple{"S2", services::kDirectionStockIn, false}}) {
    bool allowed = !expected;
    EXPECT_TRUE(
        depot.As<services::DepotService>()->CheckRight(shelf, direction, allowed, db(), err));
    EXPECT_EQ(allowed, expected) << shelf << " " << direction;
    EXPECT_EQ(depot.context()->vote(), Vote::kComplete);
  }
  host::Instance articles = create(services::kArticleServiceProgId, "tia");
  int32_t id = 0, serial = 0, keep = 0;
  std::string name, meas, shelf, shelf_name = "keep";
  EXPECT_TRUE(articles.As<services::ArticleService>()->GetArticleByCode(
      "A-001", id, name, meas, serial, keep, shelf, shelf_name, db(), err));
  EXPECT_EQ(shelf_name, "Shelf one");
  EXPECT_TRUE(articles.As<services::ArticleService>()->GetArticleByCode(
      "D-004", id, name, meas, serial, keep, shelf, shelf_name, db(), err));
  EXPECT_EQ(shelf, "S7");
  EXPECT_EQ(shelf_name, "");  // no such shelf
  EXPECT_EQ(err, "");
}

}  // namespace
}  // namespace reader
