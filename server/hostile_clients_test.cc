// The server against careless and hostile clients, on loopback: slow, idle
// and half-open connections, lying heads, unauthenticated bodies, and calls
// that wait for a worker when the server stops.
#include <gtest/gtest.h>

#include <thread>

#include "server/http.h"
#include "server/json_values.h"
#include "server/server.h"
#include "tests/gated_reader.h"
#include "tests/raw_client.h"
#include "tests/test_company.h"
#include "tests/test_server.h"

namespace server {
namespace {

using namespace std::string_literals;
using testing_support::CallHead;
using testing_support::ErrorBody;
using testing_support::RawClient;
using testing_support::StatusAndBody;

constexpr const char* kReader = "Plexavo.MF_OutBill";

class HostileClientsTest : public testing_support::ServerFixture {
 protected:
  void StartServer(int threads) { server_.Start(testing_support::ServerOptions(threads)); }
  std::string CallBody(const std::string& op = "UserName") const {
    return server_.Body(kReader, op);
  }
  // A whole raw call as amy, with the `extra` header lines.
  std::string RawCall(const std::string& body, const std::string& extra = "") {
    return CallHead(server_.AuthLine("amy") + extra, body.size()) + body;
  }
};

TEST_F(HostileClientsTest, SlowIdleAndHalfOpenConnectionsStarveNobody) {
  StartServer(2);
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
    httplib::Client client("127.0.0.1", server_.port());
    client.set_read_timeout(10, 0);
    auto health = client.Get("/v1/health");
    ASSERT_TRUE(health) << httplib::to_string(health.error());
    EXPECT_EQ(health->status, 200);
    auto call = server_.PostAs("amy", CallBody());
    EXPECT_EQ(call.status, 200);
    EXPECT_EQ(call.body["result"], "Amy Archer");
  }
}

// The head parser's refusals reach the client as answers (the whole list of
// them: http_head_test); the limits and routes are the server's own.
TEST_F(HostileClientsTest, LyingHeadsAreRefusedAtOnceAndChangeNothing) {
  StartServer(1);
  const std::string body = CallBody();
  const std::string line = "POST /v1/call HTTP/1.1\r\nHost: x\r\n" + server_.AuthLine("amy");
  const struct {
    std::string request;
    int status;
    std::string text;
  } cases[] = {
      {line + "Content-Length: 5\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body,
       400, "two different Content-Length headers"},
      {line + "X-A: a\0b\r\nContent-Length: 2\r\n\r\n{}"s, 400,
       "the request head contains a NUL byte"},
      {line + "Transfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n", 400,
       "Transfer-Encoding is not accepted; send the body with Content-Length"},
      {line + "Content-Length: 999999999\r\n\r\n", 413,
       "the request body is larger than 4194304 bytes"},
      {"GET /v1/call HTTP/1.1\r\nConnection: close\r\n\r\n", 405, "use POST for /v1/call"},
      {"GET /nowhere HTTP/1.1\r\nConnection: close\r\n\r\n", 404, "no such resource: GET /nowhere"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request.substr(0, 120));
    RawClient client(server_.port());
    ASSERT_TRUE(client.Send(c.request));
    EXPECT_EQ(StatusAndBody(client.ReadAll(5)), std::make_pair(c.status, ErrorBody(c.text)));
  }
  // The one worker was never held: a proper call still goes through.
  EXPECT_EQ(server_.PostAs("amy", body).status, 200);
}

TEST_F(HostileClientsTest, UnauthenticatedBodiesAreRefusedFromTheHead) {
  StartServer(1);
  const std::string db = company_.name();
  const std::string refusal = ErrorBody(testing_support::TokenRefusal(db));
  const std::string elsewhere = ErrorBody(testing_support::TokenRefusal("nosuchdb"));
  const struct {
    std::string headers;
    std::string text;
  } cases[] = {
      {"", ErrorBody("missing \"Authorization: Bearer TOKEN\" header")},
      {"Plexavo-DB: " + db + "\r\nAuthorization: Bearer bogus\r\n", refusal},
      {"Plexavo-DB: nosuchdb\r\nAuthorization: Bearer bogus\r\n", elsewhere},
      {"Plexavo-DB: nosuchdb\r\n" + server_.AuthLine("amy"), elsewhere},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.headers);
    // A 3 MB body is announced and never sent: the answer comes without it.
    RawClient client(server_.port());
    ASSERT_TRUE(client.Send(CallHead(c.headers, 3 * 1024 * 1024)));
    EXPECT_EQ(StatusAndBody(client.ReadAll(5)), std::make_pair(401, c.text));
  }
  // With the header and a valid token the call runs; the body must name the
  // same database.
  auto named = server_.PostAs("amy", CallBody(), {{"Plexavo-DB", db}});
  EXPECT_EQ(named.status, 200) << named.text;
  EXPECT_EQ(server_.PostAs("amy", CallBody(), {{"Plexavo-DB", db + "x"}}).status, 401);
  EXPECT_NE(server_.log().find("login=- db=nosuchdb progid=- op=- ms="), std::string::npos)
      << server_.log();
}

TEST_F(HostileClientsTest, BodyNamingAnotherDatabaseThanTheHeaderIsRefused) {
  testing_support::TestCompany other;
  other.AddUser("amy", "Amy Elsewhere", "en", {"MF0301"});
  company_.WriteSettings(other.SettingsSection());
  StartServer(8);
  const std::string db = company_.name();
  // The token is amy's in this company; the body asks for the other one.
  auto r = server_.PostAs("amy", server_.Body(kReader, "UserName", {{"vstrDB", other.name()}}),
                          {{"Plexavo-DB", db}});
  EXPECT_EQ(r.status, 400);
  EXPECT_EQ(r.text, ErrorBody("vstrDB '" + other.name() + "' is not the database '" + db +
                              "' named by the Plexavo-DB header"));

  // Without the header the token is checked against the first vstrDB of the
  // body before the body is parsed: a bogus token is refused even when the
  // rest of the body is malformed, and a second vstrDB cannot carry a call
  // into a database the token was not checked against.
  const std::string head = "{\"args\":{\"vstrDB\":\"" + db + "\"";
  const std::string token = server_.Token("amy");
  const struct {
    std::string body;
    std::string token;
    int status;
    std::string text;  // empty: any error text
  } cases[] = {
      {head + ",\"vstrErr\":", "bogus", 401, testing_support::TokenRefusal(db)},
      {head + ",\"vstrErr\":", token, 400, ""},
      {head + ",\"vstrDB\":\"" + other.name() +
           "\",\"vstrErr\":\"\"},\"progid\":\"Plexavo.MF_OutBill\",\"method\":\"UserName\"}",
       token, 400, "vstrDB is given more than once"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    auto answer = server_.Post(c.body, {{"Authorization", "Bearer " + c.token}});
    EXPECT_EQ(answer.status, c.status) << answer.text;
    if (!c.text.empty()) {
      EXPECT_EQ(answer.text, ErrorBody(c.text));
    }
  }
}

// One kept-alive connection serves call after call: the requests go over a
// single socket, so a server that closed it early would fail the next one.
TEST_F(HostileClientsTest, OneKeptAliveConnectionAnswersManyCallsInTurn) {
  StartServer(2);
  RawClient socket(server_.port());
  ASSERT_TRUE(socket.connected());
  const std::string body = CallBody("CurPeriod");
  for (int i = 0; i < 40; ++i) {
    // Each call sees the period as it is now: it changes between calls.
    const std::string period = std::to_string(202601 + i % 12);
    company_.Exec("DELETE FROM SM_Period");
    company_.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', :p)", {{"p", period}});
    ASSERT_TRUE(socket.Send(RawCall(body))) << "call " << i;
    auto answer = socket.ReadAnswer();
    ASSERT_TRUE(answer.has_value()) << "the connection ended before answer " << i;
    EXPECT_EQ(answer->first.rfind("HTTP/1.1 200", 0), 0u) << answer->first;
    EXPECT_EQ(answer->first.find("Connection: close"), std::string::npos) << "call " << i;
    EXPECT_EQ(ParseJson(answer->second).value()["result"], period) << "call " << i;
  }
}

TEST_F(HostileClientsTest, CallsWaitingForAWorkerAreAnswered503WhenStopping) {
  testing_support::GatedReader::Gate gate;
  ServeOptions options = testing_support::ServerOptions(1);
  options.register_classes = [&gate](host::ClassTable& classes) {
    testing_support::GatedReader::RegisterAll(classes, gate);
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
  const std::string refused = queued.ReadAll(10);
  {
    std::lock_guard<std::mutex> lock(gate.m);
    gate.open = true;
  }
  gate.cv.notify_all();
  const std::string finished = running.ReadAll(20);
  stopper.join();
  server_.server().Wait();

  EXPECT_EQ(
      StatusAndBody(refused),
      std::make_pair(503, ErrorBody("the server is stopping or overloaded; try again later")));
  EXPECT_NE(refused.find("\r\nRetry-After: 5\r\n"), std::string::npos) << refused;
  auto [run_status, run_text] = StatusAndBody(finished);
  EXPECT_EQ(run_status, 200) << finished;
  EXPECT_NE(run_text.find("\"Amy Archer\""), std::string::npos) << run_text;
  EXPECT_EQ(gate.entered, 1);
}

}  // namespace
}  // namespace server
