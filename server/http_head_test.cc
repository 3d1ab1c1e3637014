#include "server/http_head.h"

#include <gtest/gtest.h>

namespace server {
namespace {

using namespace std::string_literals;

TEST(HttpHeadTest, FindsTheEndOfTheHead) {
  EXPECT_EQ(HeadEnd("GET / HTTP/1.1\r\nA: b\r\n"), std::string::npos);
  EXPECT_EQ(HeadEnd("GET / HTTP/1.1\r\nA: b\r\n\r\nbody"), 24u);
  // A bare line feed ends the head too, so that the parser can refuse it.
  EXPECT_EQ(HeadEnd("GET / HTTP/1.1\n\n"), 16u);
}

TEST(HttpHeadTest, ReadsAWellFormedHead) {
  HeadParse p = ParseRequestHead(
      "POST /v1/call?x=1 HTTP/1.1\r\nHost: h\r\nContent-Length: 12\r\n"
      "Authorization:  Bearer abc \r\nContent-Length: 12\r\nConnection: close\r\n"
      "Content-Encoding: Identity\r\nExpect: 100-continue\r\n\r\n");
  ASSERT_TRUE(p.head.has_value()) << p.error->text;
  const RequestHead& h = *p.head;
  EXPECT_EQ(h.method, "POST");
  EXPECT_EQ(h.target, "/v1/call?x=1");
  EXPECT_EQ(h.path, "/v1/call");
  EXPECT_EQ(h.content_length, 12u);
  EXPECT_FALSE(h.keep_alive);
  EXPECT_TRUE(h.expect_continue);
  EXPECT_EQ(h.Header("authorization"), "Bearer abc");
  EXPECT_EQ(h.Header("nosuch"), std::nullopt);

  HeadParse old = ParseRequestHead("GET /v1/health HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n");
  ASSERT_TRUE(old.head.has_value());
  EXPECT_TRUE(old.head->keep_alive);
  EXPECT_EQ(old.head->minor_version, 0);
  HeadParse plain = ParseRequestHead("GET /v1/health HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(plain.head.has_value());
  EXPECT_FALSE(plain.head->keep_alive);
}

TEST(HttpHeadTest, RefusesHeadsThatCouldBeReadTwoWays) {
  const std::string line = "POST /v1/call HTTP/1.1\r\n";
  struct Case {
    std::string head;
    int status;
    std::string text;
  };
  std::vector<Case> cases = {
      {line + "Content-Length: 5\r\nContent-Length: 6\r\n\r\n", 400,
       "two different Content-Length headers"},
      {line + "Content-Encoding: gzip\r\n\r\n", 400, "Content-Encoding 'gzip' is not accepted"},
      {line + "Transfer-Encoding: chunked\r\n\r\n", 400,
       "Transfer-Encoding is not accepted; send the body with Content-Length"},
      {line + "X-A: b\0c\r\n\r\n"s, 400, "the request head contains a NUL byte"},
      {line + "X-A: b\r\n c\r\n\r\n", 400, "folded header lines are not accepted"},
      {line + "X-A: b\r\n\tc\r\n\r\n", 400, "folded header lines are not accepted"},
      {line + "X-A : b\r\n\r\n", 400, "malformed header line"},
      {line + "no colon\r\n\r\n", 400, "malformed header line"},
      {line + "X-A: b\rc\r\n\r\n", 400, "the request head contains a bare CR"},
      {line + "X-A: b\x01\r\n\r\n", 400, "a header value contains a control character"},
      {line + "X-A: b\n\n", 400, "every line of the request head must end in CR LF"},
      {line + "Expect: something\r\n\r\n", 400, "only \"Expect: 100-continue\" is understood"},
      {"POST /v1/call HTTP/2.0\r\n\r\n", 400, "only HTTP/1.0 and HTTP/1.1 are served"},
      {"POST  /v1/call HTTP/1.1\r\n\r\n", 400, "malformed request line"},
      {"POST v1/call HTTP/1.1\r\n\r\n", 400, "the request target must be a path"},
      {"P(ST /v1/call HTTP/1.1\r\n\r\n", 400, "malformed request method"},
      {line + std::string(kMaxHeadBytes, 'a') + "\r\n\r\n", 431, "the request head is too large"},
  };
  for (const char* length : {"-5", "+5", "99999999999999999999", "", "5, 5"}) {
    cases.push_back({line + "Content-Length: " + length + "\r\n\r\n", 400,
                     "Content-Length must be a decimal number of at most 18 digits"});
  }
  std::string many = line;
  for (size_t i = 0; i <= kMaxHeaderLines; ++i) many += "X-A: b\r\n";
  cases.push_back({many + "\r\n", 431, "the request has too many headers"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.head.substr(0, 80));
    HeadParse p = ParseRequestHead(c.head);
    ASSERT_TRUE(p.error.has_value());
    EXPECT_FALSE(p.head.has_value());
    EXPECT_EQ(p.error->status, c.status);
    EXPECT_EQ(p.error->text, c.text);
  }
}

}  // namespace
}  // namespace server
