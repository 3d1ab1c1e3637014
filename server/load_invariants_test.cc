// Concurrent clients creating, revising, executing, reversing and deleting
// shared bills through the server for a bounded time; afterwards stock,
// bills of materials, numbers and the use log agree with what was answered.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "cli/company_admin.h"
#include "server/http.h"
#include "server/json_values.h"
#include "server/server.h"
#include "tests/bill_fixture.h"

namespace server {
namespace {

constexpr const char* kWriter = "Plexavo.MF_OutBillE";
constexpr int kClients = 6;
constexpr int kCallsPerClient = 40;
constexpr auto kTimeLimit = std::chrono::seconds(6);

class LoadInvariantsTest : public testing_support::BillFixture {
 protected:
  void SetUp() override {
    auto token = cli::IssueUserToken(company_.target(), "amy");
    ASSERT_TRUE(token.ok()) << token.err().description;
    token_ = *token;
    company_.Exec("UPDATE ST_ShelfBal SET Qty = :q WHERE ShelfID = 'S1' AND ArtID = 1",
                  {{"q", testing_support::C("100000")}});
    initial_ = company_.Text("SELECT Qty FROM ST_ShelfBal WHERE ShelfID = 'S1' AND ArtID = 1");
    ServeOptions options;
    options.port = 0;
    options.threads = 4;
    server_ = std::make_unique<Server>(options, log_);
    ASSERT_TRUE(server_->Start().ok());
  }

  // One writer call; answers the JSON answer, or null for a 409.
  Json Call(httplib::Client& client, const std::string& op, Json args) {
    args["vstrDB"] = company_.name();
    args["vstrErr"] = "";
    auto res = client.Post("/v1/call", {{"Authorization", "Bearer " + token_}},
                           Dump({{"progid", kWriter}, {"method", op}, {"args", args}}),
                           "application/json");
    if (!res) {
      ADD_FAILURE() << op << ": no answer";
      return nullptr;
    }
    if (res->status == 409) return nullptr;
    EXPECT_EQ(res->status, 200) << op << ": " << res->body;
    auto json = ParseJson(res->body);
    return json.ok() ? *json : Json();
  }

  static Json Bill(std::mt19937& random) {
    const int lines = std::uniform_int_distribution<int>(1, 3)(random);
    std::vector<testing_support::LineSpec> specs;
    for (int i = 1; i <= lines; ++i) specs.push_back({.sort_id = std::to_string(i), .qty = "1"});
    return {{"vdtmDate", "2026-12-06"},
            {"vstrOpCate", ""},
            {"vstrOrdBill", "MO1"},
            {"vstrOrdSortID", "1"},
            {"vstrProject", ""},
            {"vstrItem", ""},
            {"vstrOperator", "Load"},
            {"vstrMemo", "load"},
            {"vrstDetail", RowsetToJson(testing_support::Lines(specs))}};
  }

  std::string token_;
  std::string initial_;  // the shelf's balance before the load, as stored
  std::ostringstream log_;
  std::unique_ptr<Server> server_;
};

TEST_F(LoadInvariantsTest, MixedWritersKeepEveryInvariant) {
  std::mutex mutex;
  std::vector<std::string> bills;             // every number a create answered
  std::atomic<int64_t> expected_log_rows{0};  // one per completed action
  std::atomic<int> calls{0};
  const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;

  auto client_loop = [&](int seed) {
    std::mt19937 random(static_cast<unsigned>(seed));
    httplib::Client client("127.0.0.1", server_->port());
    client.set_read_timeout(120, 0);
    for (int n = 0; n < kCallsPerClient && std::chrono::steady_clock::now() < deadline; ++n) {
      std::string target;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (!bills.empty()) {
          target = bills[std::uniform_int_distribution<size_t>(0, bills.size() - 1)(random)];
        }
      }
      const int pick = target.empty() ? 0 : std::uniform_int_distribution<int>(0, 5)(random);
      Json answer;
      int log_rows = 1;
      if (pick == 0) {
        Json args = Bill(random);
        const bool auto_exe = random() % 2 == 0;
        args["vstrID"] = "";
        args["vblnAutoExe"] = auto_exe;
        answer = Call(client, "AddNew", args);
        log_rows = auto_exe ? 2 : 1;
        if (answer.is_object() && answer["result"] == true) {
          std::lock_guard<std::mutex> lock(mutex);
          bills.push_back(answer["byref"]["vstrID"]);
        }
      } else if (pick == 1) {
        Json args = Bill(random);
        args["vstrOldID"] = target;
        args["vstrNewID"] = target;
        answer = Call(client, "Edit", args);
      } else if (pick == 2 || pick == 3) {
        answer = Call(client, "ExecBill", {{"vstrID", target}, {"vdtmExeDate", "2026-12-06"}});
      } else if (pick == 4) {
        answer = Call(client, "UnExecBill", {{"vstrID", target}});
      } else {
        answer = Call(client, "Delete", {{"vstrID", target}});
      }
      ++calls;
      if (answer.is_object() && answer["result"] == true) expected_log_rows += log_rows;
    }
  };
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) clients.emplace_back(client_loop, 1000 + i);
  for (std::thread& t : clients) t.join();
  ASSERT_GT(calls.load(), kClients);

  // Each number a create answered was logged as created once per answer,
  // and no create that failed left a row.
  std::multiset<std::string> logged;
  const std::string created = "新增生产领料单";
  base::Rowset log =
      company_.Query("SELECT LogDesc FROM SM_UseLog", {{"LogDesc", base::FieldType::kText}});
  for (const auto& row : log.rows()) {
    const std::string text = row[0].TextOrEmpty();
    if (text.rfind(created, 0) == 0) logged.insert(text.substr(created.size()));
  }
  EXPECT_EQ(logged, std::multiset<std::string>(bills.begin(), bills.end()));
  // Stored numbers are unique and each has its lines.
  EXPECT_EQ(company_.Text("SELECT COUNT(*) FROM MF_OutBill b WHERE NOT EXISTS "
                          "(SELECT 1 FROM MF_OutDetail d WHERE d.BillID = b.BillID)"),
            "0");
  // Every completed action has its use-log row; failed ones left none.
  EXPECT_EQ(Count("SM_UseLog"), expected_log_rows.load());

  // Stock moved for each bill equals the stock of its lines while it is
  // executed, and nothing otherwise (deleted bills included).
  EXPECT_EQ(company_.Text(
                "SELECT COUNT(*) FROM (SELECT m.BillID, SUM(m.Direction * m.Qty) AS Moved "
                "FROM ST_StockMove m GROUP BY m.BillID) t "
                "LEFT JOIN MF_OutBill b ON b.BillID = t.BillID WHERE t.Moved <> "
                "CASE WHEN b.Execer IS NULL THEN 0 ELSE -(SELECT SUM(d.StQty) FROM MF_OutDetail d "
                "WHERE d.BillID = t.BillID) END"),
            "0");
  EXPECT_EQ(company_.Text("SELECT COUNT(*) FROM MF_OutBill b WHERE b.Execer IS NOT NULL AND "
                          "NOT EXISTS (SELECT 1 FROM ST_StockMove m WHERE m.BillID = b.BillID)"),
            "0");
  // The shelf's balance follows its moves.
  EXPECT_EQ(company_.Text("SELECT COUNT(*) FROM ST_ShelfBal WHERE ShelfID = 'S1' AND ArtID = 1 "
                          "AND Qty = " +
                          initial_ +
                          " + (SELECT COALESCE(SUM(Direction * Qty), 0) FROM ST_StockMove "
                          "WHERE ShelfID = 'S1' AND ArtID = 1)"),
            "1");
  // The order's bill of materials has issued what executed lines hold.
  EXPECT_EQ(company_.Text("SELECT COALESCE(SUM(OutQty), 0) FROM MF_OrdBom WHERE BillID = 'MO1'"),
            company_.Text("SELECT COALESCE(SUM(d.StQty), 0) FROM MF_OutDetail d JOIN MF_OutBill b "
                          "ON b.BillID = d.BillID WHERE b.Execer IS NOT NULL"));
}

}  // namespace
}  // namespace server
