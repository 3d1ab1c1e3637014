// The server killed with SIGKILL in the middle of a large call, then
// started again: the database holds the call whole or not at all, passes
// its integrity check, and a repeat under the same Idempotency-Key makes
// the bills once.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <random>
#include <thread>

#include "server/http.h"
#include "server/json_values.h"
#include "tests/bill_fixture.h"
#include "tests/server_process.h"
#include "tests/test_server.h"

namespace cli {
namespace {

using server::Json;
using server::RowsetToJson;

using testing_support::C;

constexpr const char* kWriter = "Plexavo.MF_OutBillE";
constexpr int kPlanRows = 200;  // half a unit each: 100 units per plan

using testing_support::ServerProcess;

class CrashTest : public testing_support::BillFixture {
 protected:
  // A plan of one bill per order line, all of article 1 from shelf S1.
  std::string PlanCall() {
    std::vector<std::string> sorts;
    for (int i = 1; i <= kPlanRows / 2; ++i) sorts.push_back(std::to_string(i));
    std::vector<testing_support::PlanRow> rows;
    for (int i = 0; i < kPlanRows; ++i) {
      rows.push_back({"MO1", i < kPlanRows / 2 ? "1" : "2", nullptr,
                      sorts[i % (kPlanRows / 2)].c_str(), "0.5"});
    }
    Json args = {{"vdtmDate", "2026-12-06"},
                 {"vlngCount", 2},
                 {"vrstDetail", RowsetToJson(testing_support::Plan(rows))}};
    return calls_.Body(kWriter, "AddFromOutPlan", args);
  }

  // Sends the call as amy; answers the status, or 0 when the server died first.
  int Send(int port, const std::string& body, const std::string& key) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(120, 0);
    httplib::Headers headers = calls_.Bearer("amy");
    if (!key.empty()) headers.emplace("Idempotency-Key", key);
    auto res = client.Post("/v1/call", headers, body, "application/json");
    return res ? res->status : 0;
  }

  // The bills, lines, stock and BOM agree with each other; answers the
  // number of bills.
  int64_t ExpectWholeBills() {
    if (!testing_support::UsingPostgres()) {
      EXPECT_EQ(company_.Text("PRAGMA integrity_check"), "ok");
    }
    const int64_t bills = Count("MF_OutBill");
    EXPECT_EQ(bills % 2, 0) << "a plan's bills come two by two";
    EXPECT_EQ(Count("MF_OutDetail"), bills / 2 * kPlanRows);
    EXPECT_EQ(company_.Text("SELECT COUNT(*) FROM MF_OutBill WHERE Execer IS NULL"), "0");
    EXPECT_EQ(Count("ST_StockMove"), bills / 2 * kPlanRows);
    EXPECT_EQ(Balance("S1", 1),
              C("1000").Sub(C(std::to_string(bills / 2 * kPlanRows / 2).c_str())).value());
    EXPECT_EQ(Count("SM_UseLog"), bills / 2 * 3);  // one for the batch, one per execution
    return bills;
  }

  testing_support::TestServer calls_{company_};  // bodies and tokens; its server is never started
};

TEST_F(CrashTest, KilledInTheMiddleOfAPlanLeavesNothingPartial) {
  const std::string body = PlanCall();
  // How long the whole call takes here, to kill the next ones within it.
  auto start = std::chrono::steady_clock::now();
  {
    ServerProcess server;
    ASSERT_GT(server.port(), 0);
    ASSERT_EQ(Send(server.port(), body, "first"), 200);
  }
  const auto whole = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(ExpectWholeBills(), 2);

  std::mt19937 random(20261206);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::string key = "crash-" + std::to_string(round);
    ServerProcess server;
    ASSERT_GT(server.port(), 0);
    std::thread caller([&] { (void)Send(server.port(), body, key); });
    const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(whole) *
                       std::uniform_int_distribution<int>(20, 80)(random) / 100;
    std::this_thread::sleep_for(delay);
    server.Stop(SIGKILL);
    caller.join();
    const int64_t after_kill = ExpectWholeBills();

    // Started again, the same call under the same key makes its bills once.
    ServerProcess again;
    ASSERT_GT(again.port(), 0);
    ASSERT_EQ(Send(again.port(), body, key), 200);
    ASSERT_EQ(Send(again.port(), body, key), 200);
    // The killed call made its two bills or none; the repeats make the
    // plan's bills exactly once.
    EXPECT_EQ(ExpectWholeBills(), 2 + 2 * (round + 1)) << "after the kill: " << after_kill;
  }
}

TEST_F(CrashTest, KilledInTheMiddleOfAnExecutionLeavesTheBillAsItWas) {
  std::vector<testing_support::LineSpec> lines;
  for (int i = 1; i <= 300; ++i) lines.push_back({.sort_id = std::to_string(i), .qty = "1"});
  std::mt19937 random(7);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    auto made = AddNew("", lines);
    ASSERT_TRUE(made.ok) << made.err;
    const std::string exec =
        calls_.Body(kWriter, "ExecBill", {{"vstrID", made.id}, {"vdtmExeDate", "2026-12-06"}});
    const std::string moves = "SELECT COUNT(*) FROM ST_StockMove WHERE BillID = '" + made.id + "'";
    ServerProcess server;
    ASSERT_GT(server.port(), 0);
    std::thread caller([&] { (void)Send(server.port(), exec, ""); });
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(50, 400)(random)));
    server.Stop(SIGKILL);
    caller.join();
    if (!testing_support::UsingPostgres()) {
      EXPECT_EQ(company_.Text("PRAGMA integrity_check"), "ok");
    }
    const bool executed = Header(made.id, "Execer") != "<null>";
    EXPECT_EQ(company_.Text(moves), executed ? "300" : "0");
    // Executing it now finishes what the killed call did not.
    ServerProcess again;
    ASSERT_GT(again.port(), 0);
    if (!executed) {
      ASSERT_EQ(Send(again.port(), exec, ""), 200);
    }
    EXPECT_EQ(company_.Text(moves), "300");
  }
  EXPECT_EQ(Balance("S1", 1), C("100"));
}

}  // namespace
}  // namespace cli
