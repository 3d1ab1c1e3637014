// The server against careless and hostile clients, on loopback: slow, idle
// and half-open connections, lying heads, unauthenticated bodies, large
// answers, and calls that wait for a worker when the server stops.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "boundary/classes.h"
#include "reader/mf_outbill.h"
#include "server/http.h"
#include "server/json_values.h"
#include "server/server.h"
#include "tests/test_company.h"
#include "tests/test_server.h"

namespace server {
namespace {

using testing_support::TestCompany;
using namespace std::string_literals;

constexpr const char* kReader = "Plexavo.MF_OutBill";

// A raw loopback connection that sends exactly what a test writes.
class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return connected_; }

  bool Send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }

  // Everything the server sends until it closes or `seconds` pass.
  std::string ReadAll(int seconds) {
    std::string out;
    char buf[4096];
    for (int waited = 0; waited < seconds * 10;) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) == 0) {
        ++waited;
        continue;
      }
      ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }

  // One HTTP answer with a Content-Length: its head and body, or nullopt
  // when the connection ended first.
  std::optional<std::pair<std::string, std::string>> ReadAnswer() {
    size_t head_end, length = 0;
    while ((head_end = buffer_.find("\r\n\r\n")) == std::string::npos) {
      if (!Fill()) return std::nullopt;
    }
    const std::string head = buffer_.substr(0, head_end);
    const size_t at = head.find("\r\nContent-Length: ");
    if (at != std::string::npos) length = std::stoul(head.substr(at + 18));
    while (buffer_.size() < head_end + 4 + length) {
      if (!Fill()) return std::nullopt;
    }
    std::string body = buffer_.substr(head_end + 4, length);
    buffer_.erase(0, head_end + 4 + length);
    return std::make_pair(head, body);
  }

 private:
  bool Fill() {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) return false;
    char chunk[4096];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool connected_ = false;
  std::string buffer_;
};

// The status code and the body of a raw answer.
std::pair<int, std::string> StatusAndBody(const std::string& answer) {
  if (answer.size() < 12 || answer.compare(0, 9, "HTTP/1.1 ") != 0) return {0, answer};
  size_t body = answer.find("\r\n\r\n");
  return {std::stoi(answer.substr(9, 3)), body == std::string::npos ? "" : answer.substr(body + 4)};
}

std::string ErrorText(const std::string& text) { return Dump(Json{{"error", text}}); }

class HostileClientsTest : public ::testing::Test {
 protected:
  void SetUp() override { company_.AddUser("amy", "Amy Archer", "en", {"MF0301"}); }

  void StartServer(int threads) { server_.Start(testing_support::ServerOptions(threads)); }
  std::string token() { return server_.Token("amy"); }
  std::string CallBody(const std::string& op = "UserName") const {
    return server_.Body(kReader, op);
  }
  testing_support::HttpAnswer Post(const std::string& body, httplib::Headers headers = {}) {
    headers.emplace("Authorization", "Bearer " + token());
    return server_.Post(body, headers);
  }

  std::string Head(const std::string& extra, size_t length) const {
    return "POST /v1/call HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n" + extra +
           "Content-Length: " + std::to_string(length) + "\r\n\r\n";
  }

  TestCompany company_;
  testing_support::TestServer server_{company_};
};

TEST_F(HostileClientsTest, SlowIdleAndHalfOpenConnectionsStarveNobody) {
  StartServer(2);
  const int port = server_.port();
  std::vector<std::unique_ptr<RawClient>> hostile;
  for (int i = 0; i < 500; ++i) {
    auto c = std::make_unique<RawClient>(port);
    ASSERT_TRUE(c->connected()) << i;
    switch (i % 4) {
      case 0:  // idle: connected, nothing sent
        break;
      case 1:  // slow head: a few header lines, never the end
        ASSERT_TRUE(c->Send("POST /v1/call HTTP/1.1\r\nHost: x\r\nX-Slow: 1\r\n"));
        break;
      case 2:  // half-open body: announced, a part sent, the rest never
        ASSERT_TRUE(c->Send(Head("Authorization: Bearer " + token() + "\r\n", 1000) + "{\"pro"));
        break;
      case 3:  // kept alive after one request, then idle
        ASSERT_TRUE(c->Send("GET /v1/health HTTP/1.1\r\nHost: x\r\n\r\n"));
        break;
    }
    hostile.push_back(std::move(c));
  }
  // Each of the two workers would be held by one of them if they held any.
  for (int round = 0; round < 5; ++round) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10, 0);
    auto health = client.Get("/v1/health");
    ASSERT_TRUE(health) << httplib::to_string(health.error());
    EXPECT_EQ(health->status, 200);
    auto call = Post(CallBody());
    EXPECT_EQ(call.status, 200);
    EXPECT_EQ(call.body["result"], "Amy Archer");
  }
}

TEST_F(HostileClientsTest, LyingHeadsAreRefusedAtOnceAndChangeNothing) {
  StartServer(1);
  const std::string auth = "Authorization: Bearer " + token() + "\r\n";
  const std::string body = CallBody();
  const std::string line = "POST /v1/call HTTP/1.1\r\nHost: x\r\n" + auth;
  const struct {
    std::string request;
    int status;
    std::string text;
  } cases[] = {
      {line + "Content-Length: -5\r\n\r\n" + body, 400,
       "Content-Length must be a decimal number of at most 18 digits"},
      {line + "Content-Length: 12345678901234567890\r\n\r\n" + body, 400,
       "Content-Length must be a decimal number of at most 18 digits"},
      {line + "Content-Length: 5\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           body,
       400, "two different Content-Length headers"},
      {line + "Content-Encoding: br\r\nContent-Length: 2\r\n\r\n{}", 400,
       "Content-Encoding 'br' is not accepted"},
      {line + "X-A: a\0b\r\nContent-Length: 2\r\n\r\n{}"s, 400,
       "the request head contains a NUL byte"},
      {line + "X-A: a\r\n b\r\nContent-Length: 2\r\n\r\n{}", 400,
       "folded header lines are not accepted"},
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
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send(c.request));
    auto [status, answer] = StatusAndBody(client.ReadAll(5));
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(answer, ErrorText(c.text));
  }
  // The one worker was never held: a proper call still goes through.
  EXPECT_EQ(Post(body).status, 200);
}

TEST_F(HostileClientsTest, UnauthenticatedBodiesAreRefusedFromTheHead) {
  StartServer(1);
  const std::string db = company_.name();
  const std::string refusal = ErrorText("the token is not valid for company database '" + db + "'");
  const std::string elsewhere = ErrorText("the token is not valid for company database 'nosuchdb'");
  const struct {
    std::string headers;
    int status;
    std::string text;
  } cases[] = {
      {"", 401, ErrorText("missing \"Authorization: Bearer TOKEN\" header")},
      {"Plexavo-DB: " + db + "\r\nAuthorization: Bearer bogus\r\n", 401, refusal},
      {"Plexavo-DB: nosuchdb\r\nAuthorization: Bearer bogus\r\n", 401, elsewhere},
      {"Plexavo-DB: nosuchdb\r\nAuthorization: Bearer " + token() + "\r\n", 401, elsewhere},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.headers);
    // A 3 MB body is announced and never sent: the answer comes without it.
    RawClient client(server_.port());
    ASSERT_TRUE(client.Send(Head(c.headers, 3 * 1024 * 1024)));
    auto [status, answer] = StatusAndBody(client.ReadAll(5));
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(answer, c.text);
  }
  // A known database with a bogus token answers as an unknown one does
  // when named in the body.
  auto bogus = server_.Post(CallBody(), {{"Authorization", "Bearer bogus"}});
  EXPECT_EQ(bogus.status, 401);
  EXPECT_EQ(bogus.text, refusal);

  // With the header and a valid token the call runs; the body must name the
  // same database.
  auto named = Post(CallBody(), {{"Plexavo-DB", db}});
  EXPECT_EQ(named.status, 200) << named.text;
  EXPECT_EQ(Post(CallBody(), {{"Plexavo-DB", db + "x"}}).status, 401);
  EXPECT_NE(server_.log().find("login=- db=nosuchdb progid=- op=- ms="), std::string::npos)
      << server_.log();
}

TEST_F(HostileClientsTest, BodyNamingAnotherDatabaseThanTheHeaderIsRefused) {
  TestCompany other;
  other.AddUser("amy", "Amy Elsewhere", "en", {"MF0301"});
  company_.WriteSettings(other.SettingsSection());
  StartServer(8);
  // The token is amy's in this company; the body asks for the other one.
  std::string body = Dump({{"progid", kReader},
                           {"method", "UserName"},
                           {"args", {{"vstrDB", other.name()}, {"vstrErr", ""}}}});
  auto r = Post(body, {{"Plexavo-DB", company_.name()}});
  EXPECT_EQ(r.status, 400);
  EXPECT_EQ(r.text, ErrorText("vstrDB '" + other.name() + "' is not the database '" +
                              company_.name() + "' named by the Plexavo-DB header"));

  // Without the header the token is checked against the first vstrDB of the
  // body before the body is parsed: a bogus token is refused even when the
  // rest of the body is malformed, and a second vstrDB cannot carry a call
  // into a database the token was not checked against.
  const std::string db = company_.name();
  const std::string head = "{\"args\":{\"vstrDB\":\"" + db + "\"";
  const struct {
    std::string body;
    std::string token;
    int status;
    std::string text;
  } cases[] = {
      {head + ",\"vstrErr\":", "bogus", 401,
       "the token is not valid for company database '" + db + "'"},
      {head + ",\"vstrErr\":", token(), 400, ""},
      {head + ",\"vstrDB\":\"" + other.name() +
           "\",\"vstrErr\":\"\"},\"progid\":\"Plexavo.MF_OutBill\",\"method\":\"UserName\"}",
       token(), 400, "vstrDB is given more than once"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    auto answer = server_.Post(c.body, {{"Authorization", "Bearer " + c.token}});
    EXPECT_EQ(answer.status, c.status) << answer.text;
    if (!c.text.empty()) {
      EXPECT_EQ(answer.text, ErrorText(c.text));
    }
  }
}

TEST_F(HostileClientsTest, LargeAnswersComeInChunksAndWhole) {
  company_.Exec(
      "INSERT INTO SM_User (LoginName, UserName) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
      "SELECT i + 1 FROM n WHERE i < 4000) SELECT 'u' || i, 'User number ' || i FROM n");
  StartServer(8);
  RawClient raw(server_.port());
  const std::string body = CallBody("GetRstUser");
  ASSERT_TRUE(raw.Send(
      Head("Authorization: Bearer " + token() + "\r\nConnection: close\r\n", body.size()) + body));
  const std::string answer = raw.ReadAll(20);
  EXPECT_NE(answer.find("\r\nTransfer-Encoding: chunked\r\n"), std::string::npos)
      << answer.substr(0, 300);

  auto r = Post(body);
  ASSERT_EQ(r.status, 200);
  const Json& rows = r.body["result"]["rows"];
  ASSERT_EQ(rows.size(), 4001u) << r.text.substr(0, 300);
  EXPECT_EQ(r.body["byref"], Json({{"vstrErr", ""}}));
  size_t found = 0;
  for (const Json& row : rows) {
    if (row[1] == "User number 3999") ++found;
  }
  EXPECT_EQ(found, 1u);
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
    const std::string period =
        "2026" + std::string(i % 12 < 9 ? "0" : "") + std::to_string(i % 12 + 1);
    company_.Exec("DELETE FROM SM_Period");
    company_.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', :p)", {{"p", period}});
    ASSERT_TRUE(socket.Send(Head("Authorization: Bearer " + token() + "\r\n", body.size()) + body))
        << "call " << i;
    auto answer = socket.ReadAnswer();
    ASSERT_TRUE(answer.has_value()) << "the connection ended before answer " << i;
    EXPECT_EQ(answer->first.rfind("HTTP/1.1 200", 0), 0u) << answer->first;
    EXPECT_EQ(answer->first.find("Connection: close"), std::string::npos) << "call " << i;
    EXPECT_EQ(ParseJson(answer->second).value()["result"], period) << "call " << i;
  }
}

// A reader that is only made once the test lets it.
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
  const std::string body = CallBody();
  const std::string request =
      Head("Authorization: Bearer " + token() + "\r\nConnection: close\r\n", body.size()) + body;
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

  auto [status, text] = StatusAndBody(refused);
  EXPECT_EQ(status, 503) << refused;
  EXPECT_NE(refused.find("\r\nRetry-After: 5\r\n"), std::string::npos) << refused;
  EXPECT_EQ(text, ErrorText("the server is stopping or overloaded; try again later"));
  auto [run_status, run_text] = StatusAndBody(finished);
  EXPECT_EQ(run_status, 200) << finished;
  EXPECT_NE(run_text.find("\"Amy Archer\""), std::string::npos) << run_text;
  EXPECT_EQ(gate.entered, 1);
}

}  // namespace
}  // namespace server
