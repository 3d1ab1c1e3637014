// The server against careless and hostile clients, on loopback: slow, idle
// and half-open connections, lying heads, unauthenticated bodies, and calls
// that wait for a worker when the server stops.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <tuple>

#include "boundary/classes.h"
#include "reader/mf_outbill.h"
#include "server/http.h"
#include "server/json_values.h"
#include "server/server.h"
#include "tests/raw_client.h"
#include "tests/test_company.h"
#include "tests/test_server.h"
#include "tokens/token.h"

namespace server {
namespace {

using testing_support::CallHead;
using testing_support::ErrorBody;
using testing_support::RawClient;
using testing_support::TokenRefusal;

constexpr const char* kReader = "Plexavo.MF_OutBill";

// A reader whose making waits until the test opens its gate: the test holds
// a call inside the server for as long as it needs.
class GatedReader : public reader::MF_OutBill {
 public:
  struct Gate {
    std::mutex m;
    std::condition_variable cv;
    int entered = 0;
    bool open = false;
  };

  GatedReader(host::ObjectContext& ctx, Gate& gate) : MF_OutBill(ctx) {
    std::unique_lock<std::mutex> lock(gate.m);
    ++gate.entered;
    gate.cv.notify_all();
    gate.cv.wait(lock, [&gate] { return gate.open; });
  }
};

// A server of two workers on a company whose settings also name `other_`,
// where amy is a user too.
class HostileClientsTest : public testing_support::ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    other_.AddUser("amy", "Amy Elsewhere", "en", {"MF0301"});
    company_.WriteSettings(other_.SettingsSection());
    server_.Start(testing_support::ServerOptions(2));
  }
  std::string CallBody(const std::string& op = "UserName") const {
    return server_.Body(kReader, op);
  }
  Json DbArgs() const { return {{"vstrDB", company_.name()}, {"vstrErr", ""}}; }
  // A whole raw call as amy, with the `extra` header lines.
  std::string RawCall(const std::string& body, const std::string& extra = "") {
    return CallHead(server_.AuthLine("amy") + extra, body.size()) + body;
  }

  testing_support::TestCompany other_;
};

TEST_F(HostileClientsTest, SlowIdleAndHalfOpenConnectionsStarveNobody) {
  const std::string openings[] = {
      "",                                                    // idle: nothing sent
      "POST /v1/call HTTP/1.1\r\nHost: x\r\nX-Slow: 1\r\n",  // a head that never ends
      CallHead(server_.AuthLine("amy"), 1000) + "{\"pro",    // a body that never ends
      "GET /v1/health HTTP/1.1\r\nHost: x\r\n\r\n",          // kept alive, then idle
  };
  std::vector<std::unique_ptr<RawClient>> hostile;
  for (int i = 0; i < 500; ++i) {
    hostile.push_back(std::make_unique<RawClient>(server_.port()));
    ASSERT_TRUE(hostile.back()->connected()) << i;
    const std::string& opening = openings[i % 4];
    ASSERT_TRUE(opening.empty() || hostile.back()->Send(opening)) << i;
  }
  // Each of the two workers would be held by one of them if they held any.
  for (int round = 0; round < 5; ++round) {
    EXPECT_EQ(server_.Get("/v1/health").status, 200);
    auto call = server_.PostAs("amy", CallBody());
    EXPECT_EQ(call.status, 200);
    EXPECT_EQ(call.body["result"], "Amy Archer");
  }
}

// Each refusal with its status and text, answered at once. Requests that
// lie in their heads, or whose heads do not authenticate them, are answered
// without waiting for their bodies (a 3 MB body is announced and never
// sent). The head parser's refusals reach the client as answers (the whole
// list of them: http_head_test); the limits, routes and the checks of the
// database and token are the server's own. Without the Plexavo-DB header
// the token is checked against the first vstrDB of the body before the body
// is parsed: a bogus token is refused even when the rest of the body is
// malformed, and a second vstrDB cannot carry a call into a database the
// token was not checked against. The values of arguments are read by
// json_values (its own test); here a fractional number must reach that
// reading as written, not through a double.
TEST_F(HostileClientsTest, BadRequestsAndCallersAreRefusedAtOnce) {
  const std::string db = company_.name(), other = other_.name(), body = CallBody();
  auto other_token = other_.IssueToken("amy");
  auto stranger = tokens::NewToken();
  ASSERT_TRUE(other_token.ok() && stranger.ok());
  // A call with the Authorization header `auth`, or without one.
  auto as = [](const std::string& auth, const std::string& text) {
    return CallHead(auth.empty() ? "" : "Authorization: " + auth + "\r\n", text.size()) + text;
  };
  auto req = [&](Json args, const char* key = "method", Json op = "UserName") {
    return RawCall(Dump({{"progid", kReader}, {key, op}, {"args", std::move(args)}}));
  };
  auto with = [&](Json member, Json value) {
    return RawCall(
        Dump({{"progid", kReader}, {"method", "UserName"}, {"args", DbArgs()}, {member, value}}));
  };
  Json bom = DbArgs(), unknown = DbArgs();
  for (const char* t : {"vstrBillID", "vstrSortID", "vstrArtCode", "vstrArtName"}) bom[t] = "";
  std::string bom_number = Dump({{"progid", kReader}, {"method", "OrderBomRst"}, {"args", bom}});
  bom_number.replace(bom_number.find("\"args\":{") + 8, 0, "\"vcurQty\":1.23456,");
  unknown["vstrX"] = "";
  const std::string line = "POST /v1/call HTTP/1.1\r\nHost: x\r\n" + server_.AuthLine("amy");
  const std::string unsent = "Plexavo-DB: nosuchdb\r\n";
  const std::string bogus = "Authorization: Bearer bogus\r\n";
  const std::string missing = "missing \"Authorization: Bearer TOKEN\" header";
  const std::string cut = "{\"args\":{\"vstrDB\":\"" + db + "\",\"vstrErr\":";
  const std::string twice = "{\"args\":{\"vstrDB\":\"" + db + "\",\"vstrDB\":\"" + other +
                            "\",\"vstrErr\":\"\"},\"progid\":\"" + kReader +
                            "\",\"method\":\"UserName\"}";
  const std::string elsewhere = server_.Body(kReader, "UserName", {{"vstrDB", other}});
  // The request, and the status and error text answering it.
  const std::tuple<std::string, int, std::string> cases[] = {
      {line + "Content-Length: 5\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body,
       400, "two different Content-Length headers"},
      {line + "Content-Length: 999999999\r\n\r\n", 413,
       "the request body is larger than 4194304 bytes"},
      {"GET /v1/call HTTP/1.1\r\nConnection: close\r\n\r\n", 405, "use POST for /v1/call"},
      {"GET /nowhere HTTP/1.1\r\nConnection: close\r\n\r\n", 404, "no such resource: GET /nowhere"},
      {CallHead("", 3 << 20), 401, missing},
      {CallHead("Plexavo-DB: " + db + "\r\n" + bogus, 3 << 20), 401, TokenRefusal(db)},
      {CallHead(unsent + bogus, 3 << 20), 401, TokenRefusal("nosuchdb")},
      {CallHead(unsent + server_.AuthLine("amy"), 3 << 20), 401, TokenRefusal("nosuchdb")},
      {RawCall(body, "Plexavo-DB: " + db + "x\r\n"), 401, TokenRefusal(db + "x")},
      {RawCall(elsewhere, "Plexavo-DB: " + db + "\r\n"), 400,
       "vstrDB '" + other + "' is not the database '" + db + "' named by the Plexavo-DB header"},
      {CallHead(bogus, cut.size()) + cut, 401, TokenRefusal(db)},
      {RawCall(cut), 400,
       "malformed JSON: parse error at line 1, column " + std::to_string(cut.size() + 1) +
           ": syntax error while parsing value - unexpected end of input; expected '[', '{', or "
           "a literal"},
      {RawCall(twice), 400, "vstrDB is given more than once"},
      {RawCall("[]"), 400, "the request must be a JSON object, not an array"},
      {RawCall(Dump({{"progid", "Plexavo.Nope"}, {"method", "UserName"}, {"args", DbArgs()}})), 400,
       "unknown progid 'Plexavo.Nope'"},
      {req(DbArgs(), "method", "NoSuch"), 400, "Plexavo.MF_OutBill has no operation 'NoSuch'"},
      {req(DbArgs(), "dispid", "6003FFFF"), 400,
       "Plexavo.MF_OutBill has no operation with dispid 6003FFFF"},
      {req(DbArgs(), "dispid", "0x6003"), 400,
       "\"dispid\" must be hexadecimal text such as \"6003001D\""},
      {RawCall(Dump({{"progid", kReader}, {"args", DbArgs()}})), 400,
       "give either \"method\" or \"dispid\""},
      {RawCall(Dump({{"progid", kReader}, {"method", "UserName"}})), 400,
       "\"args\" must be an object with every parameter of UserName by its name"},
      {with("x", 1), 400,
       "unknown request member \"x\" (expected \"progid\", \"method\" or \"dispid\", \"args\", "
       "\"dryRun\")"},
      {with("dryRun", 1), 400, "\"dryRun\" must be true or false"},
      {with("dryRun", true), 400, "\"dryRun\" applies to the writer Plexavo.MF_OutBillE only"},
      {req({{"vstrDB", db}}), 400, "missing argument 'vstrErr' of UserName"},
      {req(unknown), 400, "unknown argument 'vstrX' of UserName"},
      {RawCall(bom_number), 400,
       "argument vcurQty must be a currency value with at most four decimals (a string such as "
       "\"12.3400\" or a number), not 1.23456"},
      {as("Basic " + server_.Token("amy"), body), 401, missing},
      {as("Bearer", body), 401, missing},
      {as("Bearer " + *stranger, body), 401, TokenRefusal(db)},
      {as("Bearer " + *other_token, body), 401, TokenRefusal(db)},
      // The same text as for a bogus token: company names cannot be told apart.
      {req({{"vstrDB", "nosuchdb"}, {"vstrErr", ""}}), 401, TokenRefusal("nosuchdb")},
  };
  for (const auto& [request, status, text] : cases) {
    SCOPED_TRACE(request.substr(0, 120));
    RawClient client(server_.port());
    ASSERT_TRUE(client.Send(request));
    const testing_support::RawAnswer answer = client.ReadAnswer();
    EXPECT_EQ(answer.status, status);
    EXPECT_EQ(answer.body, ErrorBody(text));
  }
  // The database was picked out of the body or the header and the token
  // checked against it before the body was parsed.
  const std::string log = server_.log();
  EXPECT_NE(log.find("login=- db=nosuchdb progid=- op=- ms="), std::string::npos) << log;
  EXPECT_NE(log.find("login=- db=" + db + " progid=Plexavo.MF_OutBill op=NoSuch ms="),
            std::string::npos);
  // No worker was held: a proper call, also one naming its database in the
  // header, still goes through; the other database's token works there, as
  // its own user, and the scheme's case is free.
  auto named = server_.PostAs("amy", body, {{"Plexavo-DB", db}});
  EXPECT_EQ(named.status, 200) << named.text;
  EXPECT_EQ(named.body["result"], "Amy Archer");
  auto there = server_.Post(elsewhere, {{"Authorization", "bearer " + *other_token}});
  EXPECT_EQ(there.status, 200);
  EXPECT_EQ(there.body["result"], "Amy Elsewhere");
}

// One kept-alive connection serves call after call: the requests go over a
// single socket, so a server that closed it early would fail the next one.
TEST_F(HostileClientsTest, OneKeptAliveConnectionAnswersManyCallsInTurn) {
  RawClient socket(server_.port());
  ASSERT_TRUE(socket.connected());
  const std::string body = CallBody("CurPeriod");
  for (int i = 0; i < 40; ++i) {
    // Each call sees the period as it is now: it changes between calls.
    const std::string period = std::to_string(202601 + i % 12);
    company_.Exec("DELETE FROM SM_Period");
    company_.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', :p)", {{"p", period}});
    ASSERT_TRUE(socket.Send(RawCall(body))) << "call " << i;
    const testing_support::RawAnswer answer = socket.ReadAnswer();
    ASSERT_EQ(answer.status, 200) << "call " << i << ": " << answer.head;
    EXPECT_EQ(answer.head.find("Connection: close"), std::string::npos) << "call " << i;
    EXPECT_EQ(ParseJson(answer.body).value()["result"], period) << "call " << i;
  }
}

TEST_F(HostileClientsTest, CallsWaitingForAWorkerAreAnswered503WhenStopping) {
  GatedReader::Gate gate;
  ServeOptions options = testing_support::ServerOptions(1);
  options.register_classes = [&gate](host::ClassTable& classes) {
    boundary::RegisterAll(classes);
    classes.Register(
        {kReader, host::TransactionAttribute::kSupports,
         [&gate](host::ObjectContext& ctx) { return std::make_unique<GatedReader>(ctx, gate); }});
  };
  server_.Start(options);
  const std::string request = RawCall(CallBody(), "Connection: close\r\n");
  RawClient running(server_.port());
  ASSERT_TRUE(running.Send(request));
  {
    std::unique_lock<std::mutex> lock(gate.m);
    ASSERT_TRUE(gate.cv.wait_for(lock, std::chrono::seconds(20), [&] { return gate.entered; }));
  }
  RawClient queued(server_.port());
  ASSERT_TRUE(queued.Send(request));
  // The queued call reaches the worker queue before the stop.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::thread stopper([this] { server_.server().Stop(); });
  const testing_support::RawAnswer refused = queued.ReadAnswer();
  {
    std::lock_guard<std::mutex> lock(gate.m);
    gate.open = true;
  }
  gate.cv.notify_all();
  const testing_support::RawAnswer finished = running.ReadAnswer();
  stopper.join();
  server_.server().Wait();

  EXPECT_EQ(refused.status, 503);
  EXPECT_EQ(refused.body, ErrorBody("the server is stopping or overloaded; try again later"));
  EXPECT_NE(refused.head.find("\r\nRetry-After: 5"), std::string::npos) << refused.head;
  EXPECT_EQ(finished.status, 200) << finished.head;
  EXPECT_NE(finished.body.find("\"Amy Archer\""), std::string::npos) << finished.body;
  EXPECT_EQ(gate.entered, 1);
}

}  // namespace
}  // namespace server
