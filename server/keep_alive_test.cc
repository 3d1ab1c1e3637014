// One kept-alive connection serves call after call: the requests go over a
// single socket, so a server that closed it early would fail the next one.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "cli/company_admin.h"
#include "server/json_values.h"
#include "server/server.h"
#include "tests/test_company.h"

namespace server {
namespace {

using testing_support::TestCompany;

// A plain client socket, so that the test sees exactly one connection.
class Socket {
 public:
  explicit Socket(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    timeval timeout{10, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  bool connected() const { return connected_; }

  bool Send(const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
      ssize_t n = send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  // One HTTP answer: its head and body, or nullopt when the connection ended.
  std::optional<std::pair<std::string, std::string>> ReadAnswer() {
    size_t head_end;
    while ((head_end = buffer_.find("\r\n\r\n")) == std::string::npos) {
      if (!Fill()) return std::nullopt;
    }
    std::string head = buffer_.substr(0, head_end);
    size_t length = 0;
    std::istringstream lines(head);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("Content-Length:", 0) == 0) length = std::stoul(line.substr(15));
    }
    while (buffer_.size() < head_end + 4 + length) {
      if (!Fill()) return std::nullopt;
    }
    std::string body = buffer_.substr(head_end + 4, length);
    buffer_.erase(0, head_end + 4 + length);
    return std::make_pair(head, body);
  }

 private:
  bool Fill() {
    char chunk[4096];
    ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool connected_ = false;
  std::string buffer_;
};

TEST(KeepAliveTest, OneConnectionAnswersManyCallsInTurn) {
  TestCompany company;
  company.AddUser("amy", "Amy Archer", "en", {"MF0301"});
  auto token = cli::IssueUserToken(company.target(), "amy");
  ASSERT_TRUE(token.ok()) << token.err().description;
  std::ostringstream log;
  ServeOptions options;
  options.port = 0;
  options.threads = 2;
  Server server(options, log);
  ASSERT_TRUE(server.Start().ok());

  Socket socket(server.port());
  ASSERT_TRUE(socket.connected());
  constexpr int kCalls = 40;
  for (int i = 0; i < kCalls; ++i) {
    // Each call sees the period as it is now: it changes between calls.
    const std::string period =
        "2026" + std::string(i % 12 < 9 ? "0" : "") + std::to_string(i % 12 + 1);
    company.Exec("DELETE FROM SM_Period");
    company.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', :p)", {{"p", period}});
    const std::string body = Dump(Json{{"progid", "Plexavo.MF_OutBill"},
                                       {"method", "CurPeriod"},
                                       {"args", {{"vstrDB", company.name()}, {"vstrErr", ""}}}});
    ASSERT_TRUE(
        socket.Send("POST /v1/call HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                    "Authorization: Bearer " +
                    *token + "\r\nContent-Type: application/json\r\nContent-Length: " +
                    std::to_string(body.size()) + "\r\n\r\n" + body))
        << "call " << i;
    auto answer = socket.ReadAnswer();
    ASSERT_TRUE(answer.has_value()) << "the connection ended before answer " << i;
    EXPECT_EQ(answer->first.rfind("HTTP/1.1 200", 0), 0u) << answer->first;
    EXPECT_EQ(answer->first.find("Connection: close"), std::string::npos) << "call " << i;
    auto json = ParseJson(answer->second);
    ASSERT_TRUE(json.ok()) << answer->second;
    EXPECT_EQ((*json)["result"], period) << "call " << i;
  }
  server.Stop();
  server.Wait();
}

}  // namespace
}  // namespace server
