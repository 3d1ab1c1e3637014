// Sign-in tokens that are revoked or expire, and the server over TLS.
#include <gtest/gtest.h>

#include <sstream>

#include "server/http.h"
#include "server/json_values.h"
#include "server/server.h"
#include "tests/run_cli.h"
#include "tests/test_company.h"
#include "tests/test_server.h"
#include "tests/tls_certificate.h"

namespace server {
namespace {

using testing_support::CliOutcome;
using testing_support::RunCli;
using testing_support::TestCompany;

constexpr const char* kReader = "Plexavo.MF_OutBill";

class TokenAndTlsTest : public testing_support::ServerFixture {
 protected:
  std::pair<int, std::string> Call(const std::string& token) {
    auto a =
        server_.Post(server_.Body(kReader, "UserName"), {{"Authorization", "Bearer " + token}});
    return {a.status, a.text};
  }

  std::string Refusal() const {
    return testing_support::ErrorBody(testing_support::TokenRefusal(company_.name()));
  }
};

TEST_F(TokenAndTlsTest, RevokedTokensAreRefusedAtOnce) {
  auto first = company_.IssueToken("amy");
  auto second = company_.IssueToken("amy");
  ASSERT_TRUE(first.ok() && second.ok());
  server_.Start();
  EXPECT_EQ(Call(*first).first, 200);
  EXPECT_EQ(Call(*second).first, 200);

  const CliOutcome revoked = RunCli({"user", "token", "revoke", company_.name(), "amy"});
  EXPECT_EQ(revoked.code, 0) << revoked.err;
  EXPECT_EQ(revoked.out,
            "revoked 2 sign-in tokens of user amy in company database " + company_.name() + "\n");
  EXPECT_EQ(Call(*first), std::make_pair(401, Refusal()));
  EXPECT_EQ(Call(*second), std::make_pair(401, Refusal()));
  // A new token works again; an unknown user is an error.
  auto third = company_.IssueToken("amy");
  ASSERT_TRUE(third.ok());
  EXPECT_EQ(Call(*third).first, 200);
  EXPECT_EQ(RunCli({"user", "token", "revoke", company_.name(), "ghost"}).code, 1);
  EXPECT_EQ(Call(*third).first, 200);
}

TEST_F(TokenAndTlsTest, ExpiredTokensAreRefused) {
  auto past = company_.IssueToken("amy", base::DateTime::Parse("2001-01-01 00:00:00").value());
  auto future = company_.IssueToken("amy", base::DateTime::Parse("2999-01-01 00:00:00").value());
  ASSERT_TRUE(past.ok() && future.ok());
  server_.Start();
  EXPECT_EQ(Call(*past), std::make_pair(401, Refusal()));
  EXPECT_EQ(Call(*future).first, 200);

  const CliOutcome issued = RunCli({"user", "token", company_.name(), "amy", "--days", "2"});
  ASSERT_EQ(issued.code, 0);
  EXPECT_EQ(Call(issued.out.substr(0, issued.out.size() - 1)).first, 200);
  EXPECT_NE(issued.err.find(", valid until "), std::string::npos) << issued.err;
  EXPECT_EQ(RunCli({"user", "token", company_.name(), "amy", "--days", "0"}).code, 2);
}

TEST_F(TokenAndTlsTest, ServesHttpsWithTheGivenCertificate) {
  const std::string cert = company_.dir() + "/cert.pem";
  const std::string key = company_.dir() + "/key.pem";
  ASSERT_TRUE(testing_support::WriteCertificate(cert, key));
  company_.Exec(
      "INSERT INTO SM_User (LoginName, UserName) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
      "SELECT i + 1 FROM n WHERE i < 3000) SELECT 'u' || i, 'User number ' || i FROM n");
  ServeOptions options = testing_support::ServerOptions();
  options.tls_cert = cert;
  options.tls_key = key;
  server_.Start(options);

  httplib::SSLClient tls("127.0.0.1", server_.port());
  tls.enable_server_certificate_verification(false);
  auto health = tls.Get("/v1/health");
  ASSERT_TRUE(health) << httplib::to_string(health.error());
  EXPECT_EQ(health->status, 200);
  // A large answer comes in chunks through TLS, whole.
  auto users = tls.Post("/v1/call", server_.Bearer("amy"), server_.Body(kReader, "GetRstUser"),
                        "application/json");
  ASSERT_TRUE(users) << httplib::to_string(users.error());
  ASSERT_EQ(users->status, 200);
  auto json = ParseJson(users->body);
  ASSERT_TRUE(json.ok());
  EXPECT_EQ((*json)["result"]["rows"].size(), 3001u);

  // Plain HTTP gets no answer from a TLS port.
  httplib::Client plain("127.0.0.1", server_.port());
  plain.set_read_timeout(5, 0);
  auto refused = plain.Get("/v1/health");
  EXPECT_TRUE(!refused || refused->status != 200);

  // A key that does not belong to the certificate keeps the server from starting.
  const std::string other_cert = company_.dir() + "/other.pem";
  ASSERT_TRUE(testing_support::WriteCertificate(other_cert, company_.dir() + "/other-key.pem"));
  ServeOptions mismatched;
  mismatched.tls_cert = other_cert;
  mismatched.tls_key = key;
  std::ostringstream log;
  Server wrong(mismatched, log);
  base::Status started = wrong.Start();
  ASSERT_FALSE(started.ok());
  const std::string prefix =
      "cannot use the TLS key " + key + " with the certificate " + other_cert + ": ";
  EXPECT_EQ(started.err().description.substr(0, prefix.size()), prefix);
  EXPECT_NE(started.err().description.find("key values mismatch"), std::string::npos)
      << started.err().description;
}

TEST(ServeCommandFlagsTest, PlainHttpBeyondLoopbackMustBeAskedFor) {
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"serve", "--listen", "0.0.0.0:0"},
       "listening on 0.0.0.0 without TLS needs --tls-cert and --tls-key, or --plain-http"},
      {{"serve", "--tls-cert", "c.pem"}, "--tls-cert and --tls-key go together"},
      {{"serve", "--tls-cert", "c.pem", "--tls-key", "k.pem", "--plain-http"},
       "--plain-http and --tls-cert exclude each other"},
      {{"serve", "--plain-http=yes"}, "option '--plain-http' takes no value"},
      {{"demo", "--dir", "/nonexistent/demo", "--listen", "0.0.0.0:0"},
       "listening on 0.0.0.0 without TLS needs --tls-cert and --tls-key, or --plain-http"},
      {{"demo", "--dir", "/nonexistent/demo", "--tls-key", "k.pem"},
       "--tls-cert and --tls-key go together"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.err);
    const CliOutcome run = RunCli(c.args);
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  }
  const CliOutcome run = RunCli({"serve", "--listen", "127.0.0.1:0", "--tls-cert",
                                 "/nonexistent/c.pem", "--tls-key", "/nonexistent/k.pem"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.out.find("cannot start: cannot read the TLS certificate /nonexistent/c.pem"),
            std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace server
