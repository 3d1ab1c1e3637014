// The writer through the real server on loopback, as remote callers use it:
// a bill's whole life cycle, and two clients racing for the same bill (many
// clients numbering bills of one day: concurrent_postings_test).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <sstream>
#include <thread>

#include "tests/bill_fixture.h"
#include "tests/test_server.h"

namespace server {
namespace {

using testing_support::C;

class WriterOverHttpTest : public testing_support::BillFixture {
 protected:
  void SetUp() override {
    company_.AddUser("bea", "Bea", "", {"MF0301", "MF0302", "MF0303", "MF0304"});
    for (const char* login : {"amy", "bea"}) server_.Token(login);
    server_.Start();
  }

  // One call as `login`; answers {"result", "byref"} or fails the test.
  Json Call(const std::string& op, Json args, const std::string& login = "amy",
            bool dry_run = false) {
    testing_support::HttpAnswer a;
    if (dry_run) {
      auto request = ParseJson(server_.Body(boundary::kWriterProgId, op, args));
      (*request)["dryRun"] = true;
      a = server_.Post(Dump(*request), server_.Bearer(login));
    } else {
      a = server_.Call(boundary::kWriterProgId, op, args, login);
    }
    if (a.status == 409) return {{"result", false}, {"byref", {{"vstrErr", "409"}}}};
    EXPECT_EQ(a.status, 200) << a.text;
    return a.body;
  }

  Json NewBillArgs(const std::string& id, const std::string& qty, bool auto_exe) {
    return testing_support::NewBillArgs(testing_support::Lines({{.qty = qty}}), auto_exe, id,
                                        "by http");
  }

  Json EditArgs(const std::string& id, const std::string& qty) {
    return testing_support::EditArgs(id, testing_support::Lines({{.qty = qty}}));
  }

  std::string Line1(const char* column) {
    return company_.Text(std::string("SELECT ") + column +
                         " FROM MF_OrdDetail WHERE BillID = 'MO1' AND SortID = '1'");
  }

  testing_support::TestServer server_{company_};
};

// GET /v1/events as `login`; answers the status and the body.
std::pair<int, std::string> GetEvents(int port, const std::string& query,
                                      const std::string& token) {
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(120, 0);
  httplib::Headers headers;
  if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
  auto res = client.Get("/v1/events?" + query, headers);
  return res ? std::make_pair(res->status, res->body) : std::make_pair(0, std::string());
}

TEST_F(WriterOverHttpTest, DryRunAnswersEffectsAndKeepsNothing) {
  const std::string id = Call("AddNew", NewBillArgs("", "7", false))["byref"]["vstrID"];
  const std::string before = company_.Dump();
  Json answer =
      Call("ExecBill", {{"vstrID", id}, {"vdtmExeDate", "2026-12-07"}}, "amy", /*dry_run=*/true);
  EXPECT_EQ(answer["result"], true) << answer.dump();
  EXPECT_EQ(answer["effects"]["stock"].size(), 1u) << answer.dump();
  EXPECT_EQ(answer["effects"]["stock"][0]["after"].dump(), "993");
  EXPECT_EQ(answer["problems"], Json::array());
  EXPECT_EQ(company_.Dump(), before);
}

TEST_F(WriterOverHttpTest, EventsFeedAnswersInOrderWaitsForCommitsAndChecksRights) {
  company_.AddUser("zed", "Zed", "", {});
  const std::string db = "db=" + company_.name();
  struct Bad {
    std::string query, login;
    int status;
  };
  for (const Bad& b : std::vector<Bad>{{db, "", 401},
                                       {db, "zed", 403},
                                       {db + "&limit=0", "amy", 400},
                                       {db + "&wait=61", "amy", 400},
                                       {db + "&after=-1", "amy", 400},
                                       {db + "&since=1", "amy", 400},
                                       {"after=1", "amy", 400}}) {
    EXPECT_EQ(
        GetEvents(server_.port(), b.query, b.login.empty() ? "" : server_.Token(b.login)).first,
        b.status)
        << b.query << " " << b.login;
  }
  // A follower waiting for events is answered by the next commit.
  std::pair<int, std::string> waited;
  std::thread follower(
      [&] { waited = GetEvents(server_.port(), db + "&after=0&wait=30", server_.Token("amy")); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto committed = std::chrono::steady_clock::now();
  const std::string id = Call("AddNew", NewBillArgs("", "1", true))["byref"]["vstrID"];
  follower.join();
  EXPECT_LT(std::chrono::steady_clock::now() - committed, std::chrono::seconds(20));
  ASSERT_EQ(waited.first, 200) << waited.second;
  auto events = ParseJson(waited.second);
  ASSERT_TRUE(events.ok());
  ASSERT_GE((*events)["events"].size(), 1u);
  EXPECT_EQ((*events)["events"][0].dump(), Json({{"seq", 1},
                                                 {"time", (*events)["events"][0]["time"]},
                                                 {"user", "amy"},
                                                 {"kind", "created"},
                                                 {"bills", {id}},
                                                 {"version", 0}})
                                               .dump());
  auto rest = GetEvents(server_.port(), db + "&after=1&limit=5", server_.Token("amy"));
  EXPECT_EQ(rest.first, 200);
  EXPECT_NE(rest.second.find("\"seq\":2,"), std::string::npos) << rest.second;
  EXPECT_NE(rest.second.find("\"kind\":\"executed\""), std::string::npos) << rest.second;
}

TEST_F(WriterOverHttpTest, CreatedAndExecutedInOneCall) {
  Json answer = Call("AddNew", NewBillArgs("", "7", true));
  ASSERT_EQ(answer["result"], true) << answer.dump();
  const std::string id = answer["byref"]["vstrID"];
  EXPECT_EQ(id, "202612060001");
  EXPECT_EQ(Balance("S1", 1), C("993"));
  EXPECT_EQ(BomOut(bom_line1_a_), C("7"));
  EXPECT_EQ(Line1("BegFlag"), "1");
  EXPECT_EQ(Line1("FbegDate"), "2026-12-06");
  base::Rowset log =
      company_.Query("SELECT UserName, LogDesc FROM SM_UseLog ORDER BY ID",
                     {{"UserName", base::FieldType::kText}, {"LogDesc", base::FieldType::kText}});
  ASSERT_EQ(log.RecordCount(), 2u);
  EXPECT_EQ(log.Row(0)[0], base::Value("amy"));
  EXPECT_EQ(log.Row(0)[1], base::Value("新增生产领料单" + id));
  EXPECT_EQ(log.Row(1)[1], base::Value("执行生产领料单" + id + "！"));
}

TEST_F(WriterOverHttpTest, FullLifeCycleOfOneBill) {
  struct Step {
    const char* what;
    std::function<Json()> call;
    bool ok;
    const char* version;
    const char* balance;
    const char* bom_out;
    const char* begflag;
    int64_t log_rows;
  };
  std::string id = "202612060042";
  const Step steps[] = {
      {"create", [&] { return Call("AddNew", NewBillArgs(id, "3", false)); }, true, "0", "1000",
       "0", "0", 1},
      {"revise", [&] { return Call("Edit", EditArgs(id, "4")); }, true, "1", "1000", "0", "0", 2},
      {"execute",
       [&] {
         return Call("ExecBill", {{"vstrID", id}, {"vdtmExeDate", "2026-12-07"}});
       },
       true, "1001", "996", "4", "1", 3},
      {"delete refused",
       [&] {
         return Call("Delete", {{"vstrID", id}});
       },
       false, "1001", "996", "4", "1", 3},
      {"reverse",
       [&] {
         return Call("UnExecBill", {{"vstrID", id}});
       },
       true, "2001", "1000", "0", "0", 4},
      {"revise again", [&] { return Call("Edit", EditArgs(id, "5")); }, true, "2002", "1000", "0",
       "0", 5},
      {"delete",
       [&] {
         return Call("Delete", {{"vstrID", id}});
       },
       true, "<none>", "1000", "0", "0", 6},
  };
  for (const Step& step : steps) {
    Json answer = step.call();
    EXPECT_EQ(answer["result"], step.ok) << step.what << ": " << answer.dump();
    EXPECT_EQ(Header(id, "Version"), step.version) << step.what;
    EXPECT_EQ(Balance("S1", 1), C(step.balance)) << step.what;
    EXPECT_EQ(BomOut(bom_line1_a_), C(step.bom_out)) << step.what;
    EXPECT_EQ(Line1("BegFlag"), step.begflag) << step.what;
    EXPECT_EQ(Count("SM_UseLog"), step.log_rows) << step.what;
  }
  EXPECT_EQ(Count("MF_OutDetail"), 0);
}

TEST_F(WriterOverHttpTest, TwoClientsExecutingTheSameBill) {
  constexpr int kRounds = 5;
  for (int round = 0; round < kRounds; ++round) {
    Json made = Call("AddNew", NewBillArgs("", "10", false));
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
  const std::string db = company_.name();
  const Json print = {{"vstrBillID", ""}, {"vstrBegID", ""},         {"vstrEndID", ""},
                      {"vlngFlag", 0},    {"vdtmBeg", "2026-01-01"}, {"vdtmEnd", "2026-12-31"},
                      {"vstrDB", db},     {"vstrErr", "left over"}};
  Json one = print;
  one["vstrBillID"] = "202612060102";
  Json none = print;
  none["vstrBillID"] = "no such bill";
  const Json list = {{"vstrBillID", ""},
                     {"vdtmBegin", "2026-01-01"},
                     {"vdtmEnd", "2026-12-31"},
                     {"vstrShopID", ""},
                     {"vlngState", 0},
                     {"vstrMaker", ""},
                     {"vstrDB", db},
                     {"vstrErr", ""}};
  const std::pair<const char*, Json> calls[] = {
      {"PrintRst", print}, {"PrintRst", one}, {"PrintRst", none}, {"BillList", list}};

  auto answers = [&](size_t hold_bytes) {
    ServeOptions options = testing_support::ServerOptions(2);
    options.stream_hold_bytes = hold_bytes;
    server_.Start(options);
    std::vector<std::string> bodies;
    for (const auto& [op, args] : calls) {
      testing_support::HttpAnswer a =
          server_.Post(server_.Body("Plexavo.MF_OutBill", op, args), server_.Bearer("amy"));
      bodies.push_back(a.status == 200 ? a.text : "no answer");
    }
    return bodies;
  };
  const std::vector<std::string> whole = answers(SIZE_MAX);
  auto rows = [](const std::string& body) {
    auto json = ParseJson(body);
    return json.ok() && (*json)["result"].is_object() ? (*json)["result"]["rows"].size() : 0;
  };
  ASSERT_EQ(rows(whole[0]), 180u) << whole[0].substr(0, 300);
  ASSERT_EQ(rows(whole[1]), 60u);
  ASSERT_EQ(rows(whole[2]), 0u);
  ASSERT_EQ(rows(whole[3]), 3u);
  EXPECT_NE(whole[0].find("\"vstrErr\":\"left over\""), std::string::npos);
  for (size_t hold : {size_t{0}, size_t{5000}, size_t{256 * 1024}}) {
    SCOPED_TRACE("held up to " + std::to_string(hold) + " bytes");
    const std::vector<std::string> streamed = answers(hold);
    for (size_t i = 0; i < whole.size(); ++i) EXPECT_EQ(streamed[i], whole[i]) << calls[i].first;
  }
}

}  // namespace
}  // namespace server
