// The writer through the real server on loopback, as remote callers use it:
// a bill's whole life cycle, two clients racing for the same bill (many
// clients numbering bills of one day: concurrent_postings_test), and calls
// sent twice under one Idempotency-Key, which run once: also after a restart
// of the server and when the copies arrive at the same time.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "boundary/idempotency.h"
#include "tests/bill_fixture.h"
#include "tests/test_server.h"

namespace server {
namespace {

using testing_support::C;
using Answer = testing_support::HttpAnswer;

constexpr const char* kReader = "Plexavo.MF_OutBill";

class WriterOverHttpTest : public testing_support::BillServerFixture {
 protected:
  // One writer call as `login`, as a dry run if asked; answers {"result",
  // "byref", ...}, or a refusal with "409" for a lost race.
  Json Call(const std::string& op, const Json& args, const std::string& login = "amy",
            bool dry_run = false) {
    Json request = ParseJson(server_.Body(boundary::kWriterProgId, op, args)).value();
    if (dry_run) request["dryRun"] = true;
    testing_support::HttpAnswer a = server_.PostAs(login, Dump(request));
    if (a.status == 409) return {{"result", false}, {"byref", {{"vstrErr", "409"}}}};
    EXPECT_EQ(a.status, 200) << a.text;
    return a.body;
  }

  // The body of an AddNew of one line of `qty`, executed at once.
  std::string NewBill(const std::string& qty) {
    return server_.Body(boundary::kWriterProgId, "AddNew", OneLineBill(qty, true));
  }
  // Posts `body` as `login` under the Idempotency-Key `key`, or without one.
  Answer Keyed(const std::string& body, const std::string& key, const std::string& login = "amy") {
    if (key.empty()) return server_.PostAs(login, body);
    return server_.PostAs(login, body, {{"Idempotency-Key", key}});
  }

  Json EditArgs(const std::string& id, const std::string& qty) {
    return testing_support::EditArgs(id, testing_support::Lines({{.qty = qty}}));
  }
};

TEST_F(WriterOverHttpTest, DryRunAnswersEffectsAndKeepsNothing) {
  const std::string id = Call("AddNew", OneLineBill("7", false))["byref"]["vstrID"];
  const std::string before = company_.Dump();
  Json answer =
      Call("ExecBill", {{"vstrID", id}, {"vdtmExeDate", "2026-12-07"}}, "amy", /*dry_run=*/true);
  EXPECT_EQ(answer["result"], true) << answer.dump();
  EXPECT_EQ(answer["effects"]["stock"].size(), 1u) << answer.dump();
  EXPECT_EQ(answer["problems"], Json::array());
  EXPECT_EQ(company_.Dump(), before);
}

TEST_F(WriterOverHttpTest, EventsFeedAnswersInOrderWaitsForCommitsAndChecksRights) {
  company_.AddUser("zed", "Zed", "", {});
  const std::string db = "db=" + company_.name();
  // The query, the login asking (none: "") and the status refusing it.
  const std::tuple<std::string, std::string, int> bad[] = {{db, "", 401},
                                                           {db, "zed", 403},
                                                           {db + "&limit=0", "amy", 400},
                                                           {db + "&wait=61", "amy", 400},
                                                           {db + "&after=-1", "amy", 400},
                                                           {db + "&since=1", "amy", 400},
                                                           {"after=1", "amy", 400}};
  for (const auto& [query, login, status] : bad) {
    EXPECT_EQ(server_.Get("/v1/events?" + query, login).status, status) << query << " " << login;
  }
  // A follower waiting for events is answered by the next commit.
  testing_support::HttpAnswer waited;
  std::thread follower(
      [&] { waited = server_.Get("/v1/events?" + db + "&after=0&wait=30", "amy"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto committed = std::chrono::steady_clock::now();
  const std::string id = Call("AddNew", OneLineBill("1", true))["byref"]["vstrID"];
  follower.join();
  EXPECT_LT(std::chrono::steady_clock::now() - committed, std::chrono::seconds(20));
  ASSERT_EQ(waited.status, 200) << waited.text;
  ASSERT_GE(waited.body["events"].size(), 1u);
  // The event's text is the change feed's (writer/feed_test).
  EXPECT_EQ(waited.body["events"][0]["bills"], Json::array({id})) << waited.text;
  auto rest = server_.Get("/v1/events?" + db + "&after=1&limit=1", "amy");
  ASSERT_EQ(rest.body["events"].size(), 1u) << rest.text;
  EXPECT_EQ(rest.body["events"][0]["seq"], 2);
}

// The steps of one bill's life through every writer operation, each with
// its answer; the balance after execution shows the revised lines arrived.
// What each step stores is the writer's own tests.
TEST_F(WriterOverHttpTest, FullLifeCycleOfOneBill) {
  const std::string id = "202612060042";
  const Json by_id = {{"vstrID", id}}, exec = {{"vstrID", id}, {"vdtmExeDate", "2026-12-07"}};
  const struct {
    const char* what;
    const char* op;
    Json args;
    bool ok;
    const char* balance;
  } steps[] = {
      {"create", "AddNew", OneLineBill("3", false, id), true, "1000"},
      {"revise", "Edit", EditArgs(id, "4"), true, "1000"},
      {"execute", "ExecBill", exec, true, "996"},
      {"delete refused", "Delete", by_id, false, "996"},
      {"reverse", "UnExecBill", by_id, true, "1000"},
      {"revise again", "Edit", EditArgs(id, "5"), true, "1000"},
      {"delete", "Delete", by_id, true, "1000"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    Json answer = Call(step.op, step.args);
    EXPECT_EQ(answer["result"], step.ok) << answer.dump();
    EXPECT_EQ(Balance("S1", 1), C(step.balance));
  }
  EXPECT_EQ(Count("MF_OutBill"), 0);
}

TEST_F(WriterOverHttpTest, TwoClientsExecutingTheSameBill) {
  constexpr int kRounds = 5;
  for (int round = 0; round < kRounds; ++round) {
    Json made = Call("AddNew", OneLineBill("10", false));
    ASSERT_EQ(made["result"], true) << made.dump();
    const std::string id = made["byref"]["vstrID"];
    std::atomic<int> ready{0};
    Json answers[2];
    auto run = [&](int i) {
      ready.fetch_add(1);
      while (ready.load() < 2) std::this_thread::yield();
      answers[i] =
          Call("ExecBill", {{"vstrID", id}, {"vdtmExeDate", "2026-12-06"}}, i == 0 ? "amy" : "bea");
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    const int succeeded = (answers[0]["result"] == true) + (answers[1]["result"] == true);
    EXPECT_EQ(succeeded, 1) << answers[0].dump() << answers[1].dump();
    const Json& loser = answers[0]["result"] == true ? answers[1] : answers[0];
    EXPECT_FALSE(loser["byref"]["vstrErr"].get<std::string>().empty());
    EXPECT_EQ(Header(id, "Version"), "1000");
  }
  EXPECT_EQ(Balance("S1", 1), C("950"));  // taken once per bill
  EXPECT_EQ(BomOut(bom_line1_a_), C("50"));
}

// The reader's large result sets are sent as their rows are read; the text
// must be the one the answer built whole has, whatever part of it was held.
TEST_F(WriterOverHttpTest, ResultSetsSentAsReadAreTheAnswersBuiltWhole) {
  std::vector<testing_support::LineSpec> lines;
  for (int l = 1; l <= 60; ++l) lines.push_back({.sort_id = std::to_string(l), .memo = "m\"é"});
  for (const char* id : {"202612060101", "202612060102", "202612060103"}) {
    ASSERT_TRUE(AddNew(id, lines).ok);
  }
  // PrintRst leaves the in/out text as it came; the body adds vstrDB.
  const Json print = {{"vstrBillID", ""},      {"vstrBegID", ""},         {"vstrEndID", ""},
                      {"vlngFlag", 0},         {"vdtmBeg", "2026-01-01"}, {"vdtmEnd", "2026-12-31"},
                      {"vstrErr", "left over"}};
  Json none = print;
  none["vstrBillID"] = "no such bill";
  const Json list = {{"vstrBillID", ""},        {"vdtmBegin", "2026-01-01"},
                     {"vdtmEnd", "2026-12-31"}, {"vstrShopID", ""},
                     {"vlngState", 0},          {"vstrMaker", ""}};
  const struct {
    const char* op;
    Json args;
    size_t rows;
  } calls[] = {{"PrintRst", print, 180}, {"PrintRst", none, 0}, {"BillList", list, 3}};
  auto answers = [&](size_t hold_bytes) {
    ServeOptions options = testing_support::ServerOptions(2);
    options.stream_hold_bytes = hold_bytes;
    server_.Start(options);
    std::vector<std::string> bodies;
    for (const auto& c : calls) {
      testing_support::HttpAnswer a = server_.PostAs("amy", server_.Body(kReader, c.op, c.args));
      bodies.push_back(a.status == 200 ? a.text : "no answer");
    }
    return bodies;
  };
  const std::vector<std::string> whole = answers(SIZE_MAX);
  for (size_t i = 0; i < whole.size(); ++i) {
    auto json = ParseJson(whole[i]);
    ASSERT_TRUE(json.ok() && (*json)["result"].is_object()) << whole[i].substr(0, 300);
    ASSERT_EQ((*json)["result"]["rows"].size(), calls[i].rows) << calls[i].op;
  }
  EXPECT_NE(whole[0].find("\"vstrErr\":\"left over\""), std::string::npos);
  for (size_t hold : {size_t{0}, size_t{5000}, size_t{256 * 1024}}) {
    SCOPED_TRACE("held up to " + std::to_string(hold) + " bytes");
    const std::vector<std::string> streamed = answers(hold);
    for (size_t i = 0; i < whole.size(); ++i) EXPECT_EQ(streamed[i], whole[i]) << calls[i].op;
  }
}

// ---- Idempotency keys ----------------------------------------------------

// A repeat under the same key answers the kept answer without running
// again, also after a restart; the same key with another body is refused.
// A key is the caller's own, a refused call keeps nothing, and a key older
// than a day is forgotten and removed.
TEST_F(WriterOverHttpTest, AKeyedCallRunsOnceForItsCallerUntilTheKeyExpires) {
  const std::string body = NewBill("7");
  Answer first = Keyed(body, "order-17/click");
  ASSERT_EQ(first.status, 200) << first.text;
  EXPECT_EQ(first.body["result"], true);
  const auto kept = std::make_pair(200, first.text);
  Answer again = Keyed(body, "order-17/click");
  EXPECT_EQ(std::make_pair(again.status, again.text), kept);
  server_.Start();
  Answer restarted = Keyed(body, "order-17/click");
  EXPECT_EQ(std::make_pair(restarted.status, restarted.text), kept);
  EXPECT_EQ(Count("MF_OutBill"), 1);

  Answer other = Keyed(NewBill("8"), "order-17/click");
  EXPECT_EQ(other.status, 422);
  EXPECT_EQ(other.text, testing_support::ErrorBody(
                            "the Idempotency-Key was used before with another request body"));
  EXPECT_EQ(Keyed(body, "order-17/click", "bea").status, 200);
  EXPECT_EQ(Count("MF_OutBill"), 2);
  EXPECT_EQ(Keyed(body, "").status, 200);  // without a key every call runs
  EXPECT_EQ(Count("MF_OutBill"), 3);
  EXPECT_EQ(Count("PX_IdempotencyKey"), 2);

  // Executing at once with a quantity of 0 is refused: nothing is kept, and
  // the corrected call under the same key runs.
  Answer refused = Keyed(NewBill("0"), "k1");
  ASSERT_EQ(refused.status, 200) << refused.text;
  EXPECT_EQ(refused.body["result"], false) << refused.text;
  EXPECT_EQ(Count("PX_IdempotencyKey"), 2);
  Answer fixed = Keyed(NewBill("2"), "k1");
  EXPECT_EQ(fixed.status, 200);
  EXPECT_EQ(fixed.body["result"], true) << fixed.text;
  EXPECT_EQ(Count("MF_OutBill"), 4);
  EXPECT_EQ(Count("PX_IdempotencyKey"), 3);
  EXPECT_EQ(Keyed(NewBill("2"), std::string(256, 'k')).status, 400);
  EXPECT_EQ(Count("MF_OutBill"), 4);

  company_.Exec("UPDATE PX_IdempotencyKey SET Created = :t",
                {{"t", base::Value(base::DateTime::Parse("2001-01-01 00:00:00").value())}});
  EXPECT_EQ(Keyed(body, "order-17/click").status, 200);
  EXPECT_EQ(Count("MF_OutBill"), 5);
  EXPECT_EQ(Count("PX_IdempotencyKey"), 1);
}

TEST_F(WriterOverHttpTest, KeyedCopiesArrivingTogetherMakeOneBill) {
  const std::string body = NewBill("3");
  std::vector<Answer> answers(6);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < answers.size(); ++i) {
    threads.emplace_back([&, i] { answers[i] = Keyed(body, "double-click"); });
  }
  for (std::thread& t : threads) t.join();
  for (const Answer& a : answers) {
    EXPECT_EQ(a.status, 200) << a.text;
    EXPECT_EQ(a.text, answers[0].text);
  }
  EXPECT_EQ(Count("MF_OutBill"), 1);
}

TEST(IdempotencyKeyTest, KeysAreVisibleAsciiOfBoundedLength) {
  const std::pair<std::string, bool> keys[] = {{"a", true},    {std::string(255, '~'), true},
                                               {"", false},    {std::string(256, 'a'), false},
                                               {"a b", false}, {"ключ", false}};
  for (const auto& [key, valid] : keys) EXPECT_EQ(boundary::ValidIdempotencyKey(key), valid) << key;
  // The hash is of the bytes as sent.
  EXPECT_NE(boundary::RequestHash("{}"), boundary::RequestHash("{ }"));
}

}  // namespace
}  // namespace server
