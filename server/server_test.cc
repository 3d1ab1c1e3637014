#include "server/server.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <sstream>
#include <tuple>

#include "server/http.h"
#include "server/json_values.h"
#include "server/openapi.h"
#include "tests/run_cli.h"
#include "tests/server_process.h"
#include "tests/test_company.h"
#include "tests/test_server.h"

namespace server {
namespace {

using testing_support::CliOutcome;
using testing_support::HttpAnswer;
using testing_support::RunCli;

constexpr const char* kReader = "Plexavo.MF_OutBill";

// Writes a self-signed certificate for "localhost", valid for an hour, and
// its P-256 key as PEM files; false when a step fails.
bool WriteCertificate(const std::string& cert_path, const std::string& key_path) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (key == nullptr) return false;
  X509* x = X509_new();
  X509_set_version(x, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
  X509_gmtime_adj(X509_getm_notBefore(x), 0);
  X509_gmtime_adj(X509_getm_notAfter(x), 3600);
  X509_set_pubkey(x, key);
  X509_NAME* name = X509_get_subject_name(x);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(x, name);
  bool ok = X509_sign(x, key, EVP_sha256()) > 0;
  FILE* cert = std::fopen(cert_path.c_str(), "w");
  FILE* pem_key = std::fopen(key_path.c_str(), "w");
  ok = ok && cert != nullptr && pem_key != nullptr && PEM_write_X509(cert, x) == 1 &&
       PEM_write_PrivateKey(pem_key, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  if (cert != nullptr) std::fclose(cert);
  if (pem_key != nullptr) std::fclose(pem_key);
  X509_free(x);
  EVP_PKEY_free(key);
  return ok;
}

class ServerTest : public testing_support::ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    db_ = company_.name();
    server_.Start();
  }

  Json CheckRightArgs() const {
    return {{"vblnRead", false},   {"vblnEdit", false}, {"vblnExec", false},
            {"vblnUnExec", false}, {"vstrDB", db_},     {"vstrErr", ""}};
  }

  // UserName called with `token`: the status and the text answered.
  std::pair<int, std::string> CallWith(const std::string& token) {
    auto a =
        server_.Post(server_.Body(kReader, "UserName"), {{"Authorization", "Bearer " + token}});
    return {a.status, a.text};
  }

  std::pair<int, std::string> Refused() const {
    return {401, testing_support::ErrorBody(testing_support::TokenRefusal(db_))};
  }

  std::string db_;
};

TEST_F(ServerTest, AnswersHealthInterfacesAndTheApiDocument) {
  HttpAnswer health = server_.Get("/v1/health");
  EXPECT_EQ(health.status, 200);
  EXPECT_EQ(health.body, Json({{"status", "ok"}}));

  HttpAnswer itfs = server_.Get("/v1/interfaces");
  ASSERT_EQ(itfs.status, 200);
  const Json& list = itfs.body["interfaces"];
  EXPECT_EQ(list[0]["progid"], kReader);
  EXPECT_EQ(list[0]["class"], "MF_OutBill");
  EXPECT_EQ(list[1]["progid"], "Plexavo.MF_OutBillE");
  auto find = [&](size_t itf, const char* name) {
    const Json& ops = list[itf]["operations"];
    auto op =
        std::find_if(ops.begin(), ops.end(), [&](const Json& o) { return o["operation"] == name; });
    return op == ops.end() ? Json() : *op;
  };
  EXPECT_EQ(find(0, "ShopRst")["dispid"], "6003001D");
  EXPECT_EQ(find(0, "ShopRst")["result"], "rowset");
  const Json check = find(0, "CheckRight");
  EXPECT_EQ(check["parameters"][0],
            Json({{"name", "vblnRead"}, {"type", "bool"}, {"direction", "inout"}}));
  EXPECT_EQ(check["parameters"][4],
            Json({{"name", "vstrDB"}, {"type", "text"}, {"direction", "in"}}));

  auto doc = ParseJson(server_.Get("/v1/openapi.json").text);
  ASSERT_TRUE(doc.ok());
  EXPECT_EQ(*doc, OpenApiDocument());
  // One operation's path and argument schema, as a caller reads them.
  EXPECT_TRUE((*doc)["paths"].contains("/v1/call/Plexavo.MF_OutBillE/ExecBill"));
  EXPECT_EQ((*doc)["components"]["schemas"]["MF_OutBillE.ExecBill.Args"]["required"],
            Json({"vstrID", "vdtmExeDate", "vstrDB", "vstrErr"}));
}

TEST_F(ServerTest, CheckRightByNameAndByDispIdAgreeAndAreLoggedAndCounted) {
  const Json expected =
      Json::parse(R"({"result":true,"byref":{"vblnRead":true,"vblnEdit":true,"vblnExec":false,)"
                  R"("vblnUnExec":false,"vstrErr":""}})");
  HttpAnswer by_name = server_.Call(kReader, "CheckRight", CheckRightArgs());
  EXPECT_EQ(by_name.status, 200);
  EXPECT_EQ(by_name.body, expected);
  Json request = {{"progid", kReader}, {"dispid", "60030018"}, {"args", CheckRightArgs()}};
  HttpAnswer by_dispid = server_.Post(Dump(request), server_.Bearer("amy"));
  EXPECT_EQ(by_dispid.status, 200);
  EXPECT_EQ(by_dispid.body, expected);

  // One line per call, with the caller's login and without the token.
  std::string log = server_.log();
  std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d login=amy db=)" + db_ +
                  R"( progid=Plexavo\.MF_OutBill op=CheckRight ms=\d+ 200 ok\n)");
  EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), line), {}), 2) << log;
  EXPECT_EQ(log.find(server_.Token("amy")), std::string::npos);

  // The metrics count calls by outcome, without tokens or arguments.
  EXPECT_EQ(server_.Call(kReader, "CanEdit", {{"vstrID", "no-such-bill"}}).status, 200);
  const std::string bogus = std::string(64, 'f');
  EXPECT_EQ(CallWith(bogus).first, 401);
  EXPECT_EQ(server_.Call(kReader, "NoSuchOperation").status, 400);
  const HttpAnswer metrics = server_.Get("/metrics");
  ASSERT_EQ(metrics.status, 200);
  const std::string& m = metrics.text;
  for (const char* line : {
           "plexavo_calls_total{class=\"MF_OutBill\",operation=\"CheckRight\",outcome=\"success\"} "
           "2\n",
           // The bogus token is refused before the body is parsed: the call
           // is counted without a class or operation.
           "plexavo_calls_total{class=\"-\",operation=\"-\",outcome=\"failure\"} 1\n",
           "plexavo_calls_total{class=\"MF_OutBill\",operation=\"CanEdit\",outcome=\"refusal\"} "
           "1\n",
           "plexavo_calls_total{class=\"MF_OutBill\",operation=\"-\",outcome=\"failure\"} 1\n",
           "plexavo_call_duration_seconds_count{class=\"MF_OutBill\",operation=\"CheckRight\"} 2\n",
           "plexavo_call_duration_seconds_bucket{class=\"MF_OutBill\",operation=\"CheckRight\","
           "le=\"+Inf\"} 2\n",
           "# TYPE plexavo_db_wait_seconds_total counter\n",
           "# TYPE plexavo_build_info gauge\n",
       }) {
    EXPECT_NE(m.find(line), std::string::npos) << line << "\n" << m;
  }
  EXPECT_NE(m.find("plexavo_db_sessions{database=\"" + company_.name() + "\",state=\"idle\"}"),
            std::string::npos);
  EXPECT_EQ(m.find(server_.Token("amy")), std::string::npos);
  EXPECT_EQ(m.find(bogus), std::string::npos);
  EXPECT_EQ(m.find("no-such-bill"), std::string::npos);
  EXPECT_EQ(m.find("NoSuchOperation"), std::string::npos);
}

TEST_F(ServerTest, RefusesBodiesOverTheLimitWith413) {
  server::ServeOptions options = testing_support::ServerOptions(2);
  options.max_body_bytes = 256;
  server_.Start(options);
  HttpAnswer a =
      server_.Post(server_.Body(kReader, "UserName", {{"vstrDB", std::string(300, 'x')}}),
                   server_.Bearer("amy"));
  EXPECT_EQ(a.status, 413);
  EXPECT_EQ(a.body, Json({{"error", "the request body is larger than 256 bytes"}}));
  EXPECT_NE(server_.log().find("login=- db=- progid=- op=- ms=0 413 the request body"),
            std::string::npos)
      << server_.log();
  // A body within the limit still gets through.
  EXPECT_EQ(server_.Call(kReader, "UserName").status, 200);
}

// ---- The command-line client and server -------------------------------------

// What `plexavo call` prints and its exit code; a usage error (code 2)
// begins with the line given and adds the usage after it.
TEST_F(ServerTest, CallCommandPrintsTheAnswer) {
  setenv("PLEXAVO_URL", ("http://127.0.0.1:" + std::to_string(server_.port())).c_str(), 1);
  setenv("PLEXAVO_TOKEN", server_.Token("amy").c_str(), 1);
  const struct {
    std::string args;  // after "call" and the reader's progid, split at spaces
    int code;
    std::string out, err;
  } cases[] = {
      {"60030018 vblnRead=false vblnEdit=true vblnExec=false vblnUnExec=false vstrDB=" + db_ +
           " vstrErr=x",
       0,
       "{\n  \"byref\": {\n    \"vblnEdit\": true,\n    \"vblnExec\": false,\n    \"vblnRead\": "
       "true,\n    \"vblnUnExec\": false,\n    \"vstrErr\": \"x\"\n  },\n  \"result\": true\n}\n",
       ""},
      {"UserName vstrDB=" + db_, 1, "",
       "plexavo call: HTTP 400: missing argument 'vstrErr' of UserName\n"},
      {"GetMeasID vlngArtID=1.5", 2, "",
       "plexavo call: argument vlngArtID: '1.5' is not a 32-bit integer\n"},
      {"UserName vstrNope=1", 2, "",
       "plexavo call: unknown argument 'vstrNope' of UserName; its parameters are vstrDB "
       "vstrErr\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    std::vector<std::string> args = {"call", kReader};
    std::istringstream words(c.args);
    for (std::string word; words >> word;) args.push_back(word);
    const CliOutcome run = RunCli(args);
    EXPECT_EQ(run.code, c.code);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(c.code == 2 ? run.err.substr(0, c.err.size()) : run.err, c.err);
  }
  unsetenv("PLEXAVO_TOKEN");
  unsetenv("PLEXAVO_URL");
}

TEST(ServeCommandTest, StopsCleanlyOnSigterm) {
  testing_support::ServerProcess serve;
  ASSERT_TRUE(std::regex_search(
      serve.first_line(), std::regex(R"(listening on http://127\.0\.0\.1:\d+ with 2 threads\n$)")))
      << testing_support::CliPath() << ": " << serve.first_line();
  httplib::Client client("127.0.0.1", serve.port());
  auto health = client.Get("/v1/health");
  EXPECT_EQ(health ? health->status : -1, 200);
  std::string rest;
  const int status = serve.Stop(SIGTERM, &rest);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(rest.find("received SIGTERM: no new calls; finishing the calls in flight\n"),
            std::string::npos)
      << rest;
  EXPECT_TRUE(rest.ends_with(" stopped\n")) << rest;
}

// ---- Sign-in tokens and TLS ----------------------------------------------

// Tokens that expired are refused; so are revoked ones, at once, and a new
// token works again.
TEST_F(ServerTest, ExpiredAndRevokedTokensAreRefused) {
  auto past = company_.IssueToken("amy", base::DateTime::Parse("2001-01-01 00:00:00").value());
  auto future = company_.IssueToken("amy", base::DateTime::Parse("2999-01-01 00:00:00").value());
  ASSERT_TRUE(past.ok() && future.ok());
  EXPECT_EQ(CallWith(*past), Refused());
  EXPECT_EQ(CallWith(*future).first, 200);
  const CliOutcome issued = RunCli({"user", "token", db_, "amy", "--days", "2"});
  ASSERT_EQ(issued.code, 0);
  const std::string fresh = issued.out.substr(0, issued.out.size() - 1);
  EXPECT_EQ(CallWith(fresh).first, 200);
  EXPECT_NE(issued.err.find(", valid until "), std::string::npos) << issued.err;
  EXPECT_EQ(RunCli({"user", "token", db_, "amy", "--days", "0"}).code, 2);

  const CliOutcome revoked = RunCli({"user", "token", "revoke", db_, "amy"});
  EXPECT_EQ(revoked.code, 0) << revoked.err;
  EXPECT_EQ(revoked.out, "revoked 3 sign-in tokens of user amy in company database " + db_ + "\n");
  EXPECT_EQ(CallWith(*future), Refused());
  EXPECT_EQ(CallWith(fresh), Refused());
  auto again = company_.IssueToken("amy");
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(CallWith(*again).first, 200);
  // An unknown user is an error.
  EXPECT_EQ(RunCli({"user", "token", "revoke", db_, "ghost"}).code, 1);
  EXPECT_EQ(CallWith(*again).first, 200);
}

TEST_F(ServerTest, ServesHttpsWithTheGivenCertificate) {
  const std::string cert = company_.dir() + "/cert.pem";
  const std::string key = company_.dir() + "/key.pem";
  ASSERT_TRUE(WriteCertificate(cert, key));
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
  ASSERT_TRUE(WriteCertificate(other_cert, company_.dir() + "/other-key.pem"));
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
  // The arguments and the usage error they get.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
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
  for (const auto& [args, err] : cases) {
    SCOPED_TRACE(err);
    const CliOutcome run = RunCli(args);
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find(err), std::string::npos) << run.err;
  }
  const CliOutcome run = RunCli({"serve", "--listen", "127.0.0.1:0", "--tls-cert",
                                 "/nonexistent/c.pem", "--tls-key", "/nonexistent/k.pem"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.out.find("cannot start: cannot read the TLS certificate /nonexistent/c.pem"),
            std::string::npos)
      << run.out;
}

// ---- The page, the API document and the metrics ---------------------------

TEST_F(ServerTest, ServesThePageUnderAStrictPolicy) {
  httplib::Client client("127.0.0.1", server_.port());
  // Each file's path, its type and a text it holds.
  const std::tuple<const char*, const char*, const char*> files[] = {
      {"/", "text/html; charset=utf-8", "/app/main.js"},
      {"/app/main.js", "text/javascript; charset=utf-8", "import"},
      {"/app/app.css", "text/css; charset=utf-8", "@media print"},
      {"/docs", "text/html; charset=utf-8", "swagger-ui-bundle.js"},
  };
  for (const auto& [path, type, contains] : files) {
    auto res = client.Get(path);
    ASSERT_TRUE(res) << path;
    EXPECT_EQ(res->status, 200) << path;
    EXPECT_EQ(res->get_header_value("Content-Type"), type) << path;
    EXPECT_NE(res->body.find(contains), std::string::npos) << path;
    const std::string policy = res->get_header_value("Content-Security-Policy");
    EXPECT_NE(policy.find("script-src 'self';"), std::string::npos) << path << ": " << policy;
    EXPECT_NE(policy.find("default-src 'none'"), std::string::npos) << path;
    EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
  }
  EXPECT_EQ(client.Get("/")->get_header_value("Content-Security-Policy").find("unsafe-inline"),
            std::string::npos);
  for (const char* missing : {"/app/none.js", "/index.html", "/app/../server.cc", "/etc"}) {
    auto res = client.Get(missing);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404) << missing;
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/json") << missing;
  }
}

}  // namespace
}  // namespace server
