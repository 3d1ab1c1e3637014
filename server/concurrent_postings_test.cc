// Many clients posting at once through one server or two servers on the
// same company database: hot bills (the same order line, article, shelf
// and day) created and executed in one call, and a mixed run of every
// writer operation on shared bills. No call may fail for another call's
// sake, and the stored state must add up afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "data/fault_injection.h"
#include "host/conflict_retry.h"
#include "tests/bill_fixture.h"
#include "tests/test_server.h"

namespace server {
namespace {

using testing_support::C;
using testing_support::LineSpec;
using testing_support::TestServer;

constexpr const char* kStock = "100000";

using Answer = testing_support::HttpAnswer;

// A failure text composed from a database failure rather than a refusal.
bool IsDatabaseText(const std::string& err) {
  return err.rfind("-2147", 0) == 0 || err.find("ERROR:") != std::string::npos ||
         err.find("database is locked") != std::string::npos;
}

// `clients` clients each create and execute `calls` hot bills at once.
struct HotRun {
  int clients;
  int calls;
};
constexpr HotRun kHotRuns[] = {{2, 10}, {12, 4}, {50, 2}};

class ConcurrentPostingsTest : public testing_support::BillFixture {
 protected:
  void SetUp() override {
    company_.Exec("UPDATE ST_ShelfBal SET Qty = :q WHERE ShelfID = 'S1' AND ArtID = 1",
                  {{"q", C(kStock)}});
  }

  void StartServers(int count) {
    servers_.clear();
    for (int i = 0; i < count; ++i) {
      servers_.push_back(std::make_unique<TestServer>(company_));
      servers_.back()->Start(testing_support::ServerOptions(8));
      servers_.back()->Token("amy");  // issued before the clients share it
    }
  }

  // One call on server `which` (modulo the servers running), a new
  // connection per call.
  Answer Call(size_t which, const std::string& op, Json args) {
    return servers_[which % servers_.size()]->Call(boundary::kWriterProgId, op, args);
  }

  // A ten-line bill on MO1 line 1, article 1, shelf S1, of `qty` per line.
  static base::Rowset TenLines(const std::string& qty) {
    std::vector<LineSpec> lines;
    for (int i = 1; i <= 10; ++i) lines.push_back({.sort_id = std::to_string(i), .qty = qty});
    return testing_support::Lines(lines);
  }
  static Json NewBill(const std::string& qty, bool auto_exe) {
    return testing_support::NewBillArgs(TenLines(qty), auto_exe);
  }
  static Json Revision(const std::string& id, const std::string& qty) {
    return testing_support::EditArgs(id, TenLines(qty));
  }

  base::Currency Sum(const std::string& sql) {
    base::Rowset rs = company_.Query(sql, {{"S", base::FieldType::kCurrency}});
    return rs.Row(0)[0].IsNull() ? base::Currency() : *rs.Row(0)[0].AsCurrency();
  }

  // Checks that the stored state adds up: stock moved equals the lines of
  // executed bills, per bill and in total; the BOM issued quantities and
  // the start mark agree; the use log holds `log_rows` rows.
  void ExpectInvariants(int64_t log_rows) {
    const base::Currency executed =
        Sum("SELECT SUM(d.StQty) FROM MF_OutDetail d INNER JOIN MF_OutBill b "
            "ON b.BillID = d.BillID WHERE b.Execer IS NOT NULL");
    EXPECT_EQ(Balance("S1", 1), C(kStock).Sub(executed).value());
    EXPECT_EQ(Sum("SELECT SUM(OutQty) FROM MF_OrdBom WHERE BillID = 'MO1'"), executed);
    // Per bill: an executed bill moved exactly its lines, any other nothing
    // (the bills answered are those that did not).
    EXPECT_EQ(company_.Rows("SELECT m.BillID FROM ST_StockMove m LEFT JOIN MF_OutBill b ON "
                            "b.BillID = m.BillID GROUP BY m.BillID, b.Execer HAVING SUM(CASE WHEN "
                            "m.Direction = -1 THEN m.Qty ELSE -m.Qty END) <> CASE WHEN b.Execer "
                            "IS NULL THEN 0 ELSE (SELECT SUM(d.StQty) FROM MF_OutDetail d WHERE "
                            "d.BillID = m.BillID) END",
                            "t"),
              "");
    EXPECT_EQ(
        company_.Text("SELECT BegFlag FROM MF_OrdDetail WHERE BillID = 'MO1' AND SortID = '1'"),
        executed > base::Currency() ? "1" : "0");
    EXPECT_EQ(Count("SM_UseLog"), log_rows);
  }

  // The day's `count` numbers are 0001 up to the count, each once (numbers
  // are keys of one length).
  void ExpectNumbersWithoutGaps(int64_t count) {
    EXPECT_EQ(company_.Rows("SELECT MIN(BillID), MAX(BillID), COUNT(*) FROM MF_OutBill", "tti"),
              "202612060001|" + std::to_string(202612060000 + count) + "|" + std::to_string(count));
  }

  // `clients` clients each create and execute `calls` hot bills at once,
  // for each run of kHotRuns in turn; the invariants hold after each.
  void RunHot(int servers) {
    StartServers(servers);
    int64_t bills = 0;
    for (const HotRun& run : kHotRuns) {
      SCOPED_TRACE(std::to_string(run.clients) + " clients, " + std::to_string(servers) +
                   " servers");
      const uint64_t retries_before = host::ConflictRetries();
      std::atomic<int> failed{0};
      std::mutex m;
      std::vector<std::string> failures;
      std::vector<std::thread> threads;
      for (int c = 0; c < run.clients; ++c) {
        threads.emplace_back([&, c] {
          for (int k = 0; k < run.calls; ++k) {
            Answer a = Call(c, "AddNew", NewBill("1", true));
            if (a.ok()) continue;
            failed.fetch_add(1);
            std::lock_guard<std::mutex> lock(m);
            failures.push_back(std::to_string(a.status) + " " + a.err());
          }
        });
      }
      for (auto& th : threads) th.join();
      EXPECT_EQ(failed.load(), 0) << (failures.empty() ? "" : failures.front());
      bills += run.clients * run.calls;
      EXPECT_EQ(Count("MF_OutBill"), bills);
      EXPECT_EQ(Count("MF_OutDetail"), bills * 10);
      ExpectInvariants(bills * 2);  // one row for the new bill, one for its execution
      ExpectNumbersWithoutGaps(bills);
      // On PostgreSQL the later calls waited for the earlier ones: none lost a
      // race and had to run again.
      if (testing_support::UsingPostgres()) {
        EXPECT_EQ(host::ConflictRetries(), retries_before);
      }
    }
    EXPECT_EQ(Balance("S1", 1), C(kStock).Sub(C(std::to_string(bills * 10).c_str())).value());
  }

  std::vector<std::unique_ptr<TestServer>> servers_;
};

TEST_F(ConcurrentPostingsTest, HotBillsThroughOneServer) { RunHot(1); }

TEST_F(ConcurrentPostingsTest, HotBillsThroughTwoServers) { RunHot(2); }

// Clients create, revise, execute, reverse and delete bills of one shared
// pool at random, through two servers. Every call is answered: done, or
// refused by the rules (already executed, not executed, gone), never
// failed by the database.
TEST_F(ConcurrentPostingsTest, MixedOperationsOnSharedBills) {
  StartServers(2);
  std::vector<std::string> pool;
  int64_t log_rows = 0;
  for (int i = 0; i < 6; ++i) {
    Answer a = Call(0, "AddNew", NewBill("2", false));
    ASSERT_TRUE(a.ok()) << a.err();
    pool.push_back(a.body["byref"]["vstrID"]);
    ++log_rows;
  }
  constexpr int kClients = 10;
  constexpr int kCalls = 12;
  std::mutex m;
  std::atomic<int64_t> logged{0};
  std::vector<std::string> failures;
  std::map<std::string, int> done;
  std::vector<std::thread> threads;
  const uint64_t retries_before = host::ConflictRetries();
  for (int c = 0; c < kClients; ++c) {
    threads.emplace_back([&, c] {
      std::minstd_rand random(1234 + c);
      for (int k = 0; k < kCalls; ++k) {
        std::string id;
        {
          std::lock_guard<std::mutex> lock(m);
          id = pool[random() % pool.size()];
        }
        static constexpr const char* kOps[] = {"AddNew",   "Edit",       "ExecBill",
                                               "ExecBill", "UnExecBill", "Delete"};
        const std::string op = kOps[random() % 6];
        const std::string qty = std::to_string(1 + random() % 3);
        const bool auto_exe = random() % 2 == 0;
        Json args = op == "AddNew" ? NewBill(qty, auto_exe)
                    : op == "Edit" ? Revision(id, qty)
                                   : Json{{"vstrID", id}};
        if (op == "ExecBill") args["vdtmExeDate"] = "2026-12-06";
        const Answer a = Call(c, op, args);
        std::lock_guard<std::mutex> lock(m);
        if (a.status != 200 || (!a.ok() && (a.err().empty() || IsDatabaseText(a.err())))) {
          failures.push_back(op + " " + std::to_string(a.status) + " " + a.err());
          continue;
        }
        if (!a.ok()) continue;
        ++done[op];
        logged += op == "AddNew" && auto_exe ? 2 : 1;
        if (op == "AddNew") pool.push_back(a.body["byref"]["vstrID"]);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_TRUE(failures.empty()) << failures.size() << " failed, first: " << failures.front();
  EXPECT_GT(done["ExecBill"], 0);
  EXPECT_GT(done["AddNew"], 0);
  ExpectInvariants(log_rows + logged.load());
  // Each number a create answered was logged as created once, no create
  // that failed left a row, and every stored bill has its lines.
  std::sort(pool.begin(), pool.end());
  std::string created;
  for (const std::string& id : pool)
    created += (created.empty() ? "" : ";") + ("新增生产领料单" + id);
  EXPECT_EQ(company_.Rows("SELECT LogDesc FROM SM_UseLog WHERE LogDesc LIKE '新增生产领料单%' "
                          "ORDER BY LogDesc",
                          "t"),
            created);
  EXPECT_EQ(company_.Text("SELECT COUNT(*) FROM MF_OutBill b WHERE NOT EXISTS "
                          "(SELECT 1 FROM MF_OutDetail d WHERE d.BillID = b.BillID)"),
            "0");
  if (testing_support::UsingPostgres()) {
    EXPECT_EQ(host::ConflictRetries(), retries_before);
  }
}

// ---- Lost races are run again, other failures are not ------------------------

TEST_F(ConcurrentPostingsTest, ALostRaceRunsAgainAndAFailedCommitDoesNot) {
  using data::DbFailure;
  using data::FaultPoint;
  setenv("PLEXAVO_CONFLICT_RETRY_MS", "300", 1);
  StartServers(1);
  const std::string timed_out =
      "the transaction conflicted with others until the retry time ran out: ";
  const std::string aborted =
      "the transaction was aborted: The transaction could not be committed: injected failure";
  struct Case {
    const char* what;
    DbFailure failure;
    int failing;  // commits that fail before one succeeds
    int status;
    std::string error;  // beginning of the 409 answer's text
    int64_t bills;      // kept, with their use-log rows
  } cases[] = {
      {"a conflict that clears after two tries", DbFailure::kSerialization, 2, 200, "", 1},
      {"a deadlock that clears after one try", DbFailure::kDeadlock, 1, 200, "", 1},
      {"conflicting until the time runs out", DbFailure::kSerialization, 1 << 30, 409, timed_out,
       0},
      {"a commit failing for another reason", DbFailure::kConstraint, 1, 409, aborted, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int64_t bills = Count("MF_OutBill"), logged = Count("SM_UseLog"),
                  keys = Count("PX_IdempotencyKey");
    data::ScopedFault fault({FaultPoint::kCommit, 1, c.failing, c.failure});
    // Under a key of its own: the key is kept exactly when the call's
    // writes were committed.
    httplib::Headers headers = servers_[0]->Bearer("amy");
    headers.emplace("Idempotency-Key", "retry-" + std::to_string(&c - cases));
    Answer a = servers_[0]->Post(
        servers_[0]->Body(boundary::kWriterProgId, "AddNew", NewBill("1", false)), headers);
    EXPECT_EQ(a.status, c.status) << a.text;
    if (c.status == 200) {
      EXPECT_TRUE(a.ok()) << a.err();
    } else {
      EXPECT_EQ(a.body["error"].get<std::string>().rfind(c.error, 0), 0u) << a.text;
      EXPECT_FALSE(a.body.contains("result"));
    }
    EXPECT_EQ(Count("MF_OutBill") - bills, c.bills);
    EXPECT_EQ(Count("SM_UseLog") - logged, c.bills);
    EXPECT_EQ(Count("PX_IdempotencyKey") - keys, c.bills);
  }
  unsetenv("PLEXAVO_CONFLICT_RETRY_MS");
}

}  // namespace
}  // namespace server
