// Many clients posting at once through one server or two servers on the
// same company database: hot bills (the same order line, article, shelf
// and day) created and executed in one call, and a mixed run of every
// writer operation on shared bills. No call may fail for another call's
// sake, and the stored state must add up afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "boundary/classes.h"
#include "cli/company_admin.h"
#include "host/conflict_retry.h"
#include "reader/mf_outbill.h"
#include "server/http.h"
#include "server/json_values.h"
#include "server/server.h"
#include "tests/bill_fixture.h"

namespace server {
namespace {

using testing_support::C;
using testing_support::LineSpec;

constexpr const char* kWriter = "Plexavo.MF_OutBillE";
constexpr const char* kStock = "100000";

struct Answer {
  int status = 0;
  Json body;
  bool ok() const { return status == 200 && body["result"] == true; }
  std::string err() const {
    return body.contains("byref") ? body["byref"].value("vstrErr", "") : body.dump();
  }
};

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
    auto token = cli::IssueUserToken(company_.target(), "amy");
    ASSERT_TRUE(token.ok()) << token.err().description;
    token_ = *token;
  }

  void StartServers(int count) {
    servers_.clear();
    for (int i = 0; i < count; ++i) {
      ServeOptions options;
      options.port = 0;
      options.threads = 8;
      servers_.push_back(std::make_unique<Server>(options, log_));
      ASSERT_TRUE(servers_.back()->Start().ok());
    }
  }

  // One call on server `which` (modulo the servers running), a new
  // connection per call.
  Answer Call(size_t which, const std::string& op, Json args) {
    args["vstrDB"] = company_.name();
    args["vstrErr"] = "";
    httplib::Client client("127.0.0.1", servers_[which % servers_.size()]->port());
    client.set_read_timeout(300, 0);
    Json request = {{"progid", kWriter}, {"method", op}, {"args", args}};
    auto res = client.Post("/v1/call", {{"Authorization", "Bearer " + token_}}, Dump(request),
                           "application/json");
    Answer a;
    if (!res) return a;
    a.status = res->status;
    auto body = ParseJson(res->body);
    if (body.ok()) a.body = *body;
    return a;
  }

  // A ten-line bill on MO1 line 1, article 1, shelf S1, of `qty` per line.
  static Json NewBill(const std::string& qty, bool auto_exe) {
    std::vector<LineSpec> lines;
    for (int i = 1; i <= 10; ++i) lines.push_back({.sort_id = std::to_string(i), .qty = qty});
    return {{"vstrID", ""},           {"vdtmDate", "2026-12-06"},
            {"vstrOpCate", ""},       {"vstrOrdBill", "MO1"},
            {"vstrOrdSortID", "1"},   {"vstrProject", ""},
            {"vstrItem", ""},         {"vstrOperator", "Oscar"},
            {"vstrMemo", "rush"},     {"vrstDetail", RowsetToJson(testing_support::Lines(lines))},
            {"vblnAutoExe", auto_exe}};
  }

  static Json Revision(const std::string& id, const std::string& qty) {
    Json args = NewBill(qty, false);
    args.erase("vstrID");
    args.erase("vblnAutoExe");
    args["vstrOldID"] = id;
    args["vstrNewID"] = id;
    return args;
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
    // Per bill: an executed bill moved exactly its lines, any other nothing.
    base::Rowset moved = company_.Query(
        "SELECT m.BillID, SUM(CASE WHEN m.Direction = -1 THEN m.Qty ELSE -m.Qty END), "
        "MAX(CASE WHEN b.Execer IS NULL THEN 0 ELSE 1 END) FROM ST_StockMove m "
        "LEFT JOIN MF_OutBill b ON b.BillID = m.BillID GROUP BY m.BillID",
        {{"BillID", base::FieldType::kText},
         {"Net", base::FieldType::kCurrency},
         {"Executed", base::FieldType::kInt}});
    for (const auto& row : moved.rows()) {
      const std::string id = row[0].TextOrEmpty();
      const base::Currency lines =
          *row[2].AsInt() == 1
              ? Sum("SELECT SUM(StQty) FROM MF_OutDetail WHERE BillID = '" + id + "'")
              : base::Currency();
      EXPECT_EQ(*row[1].AsCurrency(), lines) << id;
    }
    EXPECT_EQ(
        company_.Text("SELECT BegFlag FROM MF_OrdDetail WHERE BillID = 'MO1' AND SortID = '1'"),
        executed > base::Currency() ? "1" : "0");
    EXPECT_EQ(Count("SM_UseLog"), log_rows);
  }

  // The day's numbers are 0001 up to the count, each once.
  void ExpectNumbersWithoutGaps() {
    base::Rowset ids = company_.Query("SELECT BillID FROM MF_OutBill ORDER BY BillID",
                                      {{"BillID", base::FieldType::kText}});
    for (size_t i = 0; i < ids.RecordCount(); ++i) {
      char expected[40];
      std::snprintf(expected, sizeof expected, "20261206%04zu", i + 1);
      EXPECT_EQ(ids.Row(i)[0].TextOrEmpty(), expected);
    }
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
      ExpectNumbersWithoutGaps();
      // On PostgreSQL the later calls waited for the earlier ones: none lost a
      // race and had to run again.
      if (testing_support::UsingPostgres()) {
        EXPECT_EQ(host::ConflictRetries(), retries_before);
      }
    }
    EXPECT_EQ(Balance("S1", 1), C(kStock).Sub(C(std::to_string(bills * 10).c_str())).value());
  }

  std::string token_;
  std::ostringstream log_;
  std::vector<std::unique_ptr<Server>> servers_;
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
        const int pick = static_cast<int>(random() % 6);
        const std::string qty = std::to_string(1 + random() % 3);
        const bool auto_exe = random() % 2 == 0;
        Answer a;
        std::string op;
        switch (pick) {
          case 0:
            op = "AddNew";
            a = Call(c, op, NewBill(qty, auto_exe));
            break;
          case 1:
            op = "Edit";
            a = Call(c, op, Revision(id, qty));
            break;
          case 2:
          case 3:
            op = "ExecBill";
            a = Call(c, op, {{"vstrID", id}, {"vdtmExeDate", "2026-12-06"}});
            break;
          case 4:
            op = "UnExecBill";
            a = Call(c, op, {{"vstrID", id}});
            break;
          default:
            op = "Delete";
            a = Call(c, op, {{"vstrID", id}});
            break;
        }
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
  if (testing_support::UsingPostgres()) {
    EXPECT_EQ(host::ConflictRetries(), retries_before);
  }
}

// ---- What a call that keeps conflicting is answered --------------------------

// The reader's class registered as transactional, whose transaction reports
// a conflict on its first `conflicts` objects, as a lost race would.
std::atomic<int> objects_made{0};
int conflicts_wanted = 0;

class Conflicting : public reader::MF_OutBill {
 public:
  explicit Conflicting(host::ObjectContext& ctx) : MF_OutBill(ctx) {
    if (objects_made.fetch_add(1) < conflicts_wanted) ctx.enlistment()->NoteConflict();
  }
};

class ConflictAnswerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    company_.AddUser("amy", "Amy", "en", {"MF0301"});
    auto token = cli::IssueUserToken(company_.target(), "amy");
    ASSERT_TRUE(token.ok()) << token.err().description;
    token_ = *token;
    ServeOptions options;
    options.port = 0;
    options.threads = 2;
    options.register_classes = [](host::ClassTable& classes) {
      boundary::RegisterAll(classes);
      classes.Register(
          {"Plexavo.MF_OutBill", host::TransactionAttribute::kRequires,
           [](host::ObjectContext& ctx) { return std::make_unique<Conflicting>(ctx); }});
    };
    server_ = std::make_unique<Server>(options, log_);
    ASSERT_TRUE(server_->Start().ok());
    setenv("PLEXAVO_CONFLICT_RETRY_MS", "300", 1);
  }
  void TearDown() override { unsetenv("PLEXAVO_CONFLICT_RETRY_MS"); }

  Answer UserName() {
    httplib::Client client("127.0.0.1", server_->port());
    Json request = {{"progid", "Plexavo.MF_OutBill"},
                    {"method", "UserName"},
                    {"args", {{"vstrDB", company_.name()}, {"vstrErr", ""}}}};
    auto res = client.Post("/v1/call", {{"Authorization", "Bearer " + token_}}, Dump(request),
                           "application/json");
    Answer a;
    if (!res) return a;
    a.status = res->status;
    auto body = ParseJson(res->body);
    if (body.ok()) a.body = *body;
    return a;
  }

  testing_support::TestCompany company_;
  std::string token_;
  std::ostringstream log_;
  std::unique_ptr<Server> server_;
};

TEST_F(ConflictAnswerTest, ConflictsAreRunAgainUntilTheyPassOrTheTimeRunsOut) {
  struct Case {
    const char* what;
    int conflicts;
    int status;
    bool at_least;  // objects made: at least `objects` (time-bounded) or exactly
    int objects;
  } cases[] = {
      {"no conflict: one run", 0, 200, false, 1},
      {"two conflicts, then through", 2, 200, false, 3},
      {"conflicting throughout: 409", 1 << 30, 409, true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    objects_made = 0;
    conflicts_wanted = c.conflicts;
    Answer a = UserName();
    EXPECT_EQ(a.status, c.status) << a.body;
    if (c.at_least) {
      EXPECT_GE(objects_made.load(), c.objects);
    } else {
      EXPECT_EQ(objects_made.load(), c.objects);
    }
    if (c.status == 200) {
      EXPECT_EQ(a.body["result"], "Amy");
      EXPECT_EQ(a.body["byref"]["vstrErr"], "");
    } else {
      EXPECT_EQ(a.body["error"].get<std::string>().rfind("the transaction conflicted", 0), 0u)
          << a.body;
      EXPECT_FALSE(a.body.contains("result"));
    }
  }
}

}  // namespace
}  // namespace server
