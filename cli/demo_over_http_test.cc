// The demo company through the real server: what its seeding sets up, and
// a bill made and executed by the writer on its data. What each operation
// answers in general is for the reader's and the writer's own tests.
#include <gtest/gtest.h>

#include <algorithm>

#include "boundary/interfaces.h"
#include "cli/demo_company.h"
#include "cli/demo_files.h"
#include "masterdata/kinds.h"
#include "server/json_values.h"
#include "tests/bill_fixture.h"
#include "tests/test_company.h"
#include "tests/test_server.h"

namespace cli {
namespace {

using server::Json;

class DemoOverHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto users = cli::SeedDemoCompany(company_.target(), "202612");
    ASSERT_TRUE(users.ok()) << users.err().description;
    users_ = *users;
    server_.Start(testing_support::ServerOptions(2));
  }

  // Calls `op` of `progid` with every parameter at a neutral value, the
  // company database, and `given` on top, as the administrator unless
  // another token is given.
  Json Call(const char* progid, const std::string& op, const Json& given,
            const std::string& token = "") {
    static const Json kNeutral = {{"text", ""},      {"date", "2026-12-06"}, {"int", 0},
                                  {"currency", "0"}, {"bool", false},        {"rowset", nullptr}};
    const boundary::Interface* itf = boundary::InterfaceByProgId(progid);
    Json args = Json::object();
    for (const boundary::Param& p : boundary::OperationByName(*itf, op)->params) {
      args[p.name] = kNeutral[boundary::ParamTypeName(p.type)];
    }
    args["vstrDB"] = company_.name();
    for (const auto& [name, value] : given.items()) args[name] = value;
    const std::string bearer = "Bearer " + (token.empty() ? users_.admin_token : token);
    auto answer = server_.Post(server::Dump({{"progid", progid}, {"method", op}, {"args", args}}),
                               {{"Authorization", bearer}});
    EXPECT_EQ(answer.status, 200) << op << ": " << answer.text;
    return answer.body;
  }
  Json Reader(const std::string& op, const Json& given = Json::object(),
              const std::string& token = "") {
    return Call("Plexavo.MF_OutBill", op, given, token);
  }

  testing_support::TestCompany company_;
  cli::DemoUsers users_;
  testing_support::TestServer server_{company_};
};

// The demo's files are one per import kind, and seeding loads them all.
TEST_F(DemoOverHttpTest, EveryKindHasAFileAndTheCompanyComesFromThem) {
  std::vector<std::string> files, kinds;
  for (const DemoFile& f : DemoFiles()) files.push_back(f.kind);
  for (const masterdata::Kind& k : masterdata::Kinds()) kinds.push_back(k.name);
  std::sort(kinds.begin(), kinds.end());
  EXPECT_EQ(files, kinds);
  std::string counts;
  for (const char* table :
       {"FD_Article", "FD_ArtStore", "FD_ArtMeas", "ST_ShelfBal", "MF_OrdBom", "ST_DepotRight"}) {
    counts += std::to_string(company_.Count(table)) + " ";
  }
  EXPECT_EQ(counts, "6 6 11 8 8 6 ");
  EXPECT_EQ(company_.Text("SELECT MIN(Date) || ' ' || MAX(Date) FROM MF_Order"),
            "2026-12-01 2026-12-01");
}

// The demo's period, and its users' tokens and rights: the clerk may not
// execute nor take stock out of the standard parts depot, the keeper may
// not edit.
TEST_F(DemoOverHttpTest, LookUpsAnswerTheDemoData) {
  EXPECT_EQ(Reader("CurPeriod")["result"], "202612");
  EXPECT_EQ(Reader("UserName")["result"], "系统管理员");
  EXPECT_EQ(Reader("GetUserLang")["result"], true);
  EXPECT_EQ(Reader("UserInnerID")["result"], 1);
  EXPECT_EQ(Reader("CheckRight")["byref"]["vblnUnExec"], true);
  EXPECT_EQ(Reader("CheckRight", {}, users_.clerk_token)["byref"]["vblnExec"], false);
  EXPECT_EQ(Reader("EditRight", {}, users_.keeper_token)["result"], false);
  EXPECT_EQ(Reader("GetShelfName", {{"vstrID", "A-01"}})["result"], "标准件库 A 区 01 架");
  Json refused = Reader("GetShelfName", {{"vstrID", "A-01"}}, users_.clerk_token);
  EXPECT_EQ(refused["result"], "");
  EXPECT_EQ(refused["byref"]["vstrErr"], "在指定的仓库中没有出库权限！");
}

// A bill of boxes and sheets made and executed on the demo's orders, read
// back in the stock units its articles convert to. Listing, content and
// line details of an executed bill are the reader's own tests, whose bills
// name no cost item that has a row.
TEST_F(DemoOverHttpTest, QueriesAnswerBillsTheWriterMade) {
  const Json lines = server::RowsetToJson(testing_support::Lines(
      {{.sort_id = "1", .art = 1001, .meas = "box", .shelf = "A-01", .qty = "2"},
       {.sort_id = "2", .art = 1003, .meas = "sheet", .shelf = "B-01", .qty = "1"}}));
  Json made = Call("Plexavo.MF_OutBillE", "AddNew",
                   {{"vstrOpCate", "OC01"},
                    {"vstrOrdBill", "MO-001"},
                    {"vstrOrdSortID", "1"},
                    {"vstrItem", "CI-01"},
                    {"vstrOperator", "张伟"},
                    {"vrstDetail", lines},
                    {"vblnAutoExe", true}});
  ASSERT_EQ(made["result"], true) << made.dump();
  const Json id = made["byref"]["vstrID"];
  Json print = Reader("PrintRst", {{"vstrBillID", id}});
  ASSERT_EQ(print["result"]["rows"].size(), 2u);
  EXPECT_EQ(print["result"]["rows"][0][22], "2.0000");      // Qty
  EXPECT_EQ(print["result"]["rows"][0][26], "11800.0000");  // ShelfBal after 200 bolts
  // The bill's cost item has a row: its name comes with the content.
  EXPECT_EQ(Reader("GetContent", {{"vstrBillID", id}})["byref"]["vstrItemName"], "直接材料");
}

}  // namespace
}  // namespace cli
