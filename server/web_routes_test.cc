// The routes beside the calls: the page and its files, the API document
// and the metrics.
#include <gtest/gtest.h>

#include "boundary/interfaces.h"
#include "server/http.h"
#include "server/json_values.h"
#include "server/openapi.h"
#include "server/server.h"
#include "tests/test_company.h"
#include "tests/test_server.h"

namespace server {
namespace {

constexpr const char* kReader = "Plexavo.MF_OutBill";

class WebRoutesTest : public testing_support::ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    server_.Start(testing_support::ServerOptions(2));
  }

  httplib::Result Get(const std::string& path) {
    httplib::Client client("127.0.0.1", server_.port());
    return client.Get(path.c_str());
  }
};

TEST_F(WebRoutesTest, ServesThePageUnderAStrictPolicy) {
  const struct {
    const char* path;
    const char* type;
    const char* contains;
  } files[] = {
      {"/", "text/html; charset=utf-8", "/app/main.js"},
      {"/app/main.js", "text/javascript; charset=utf-8", "import"},
      {"/app/app.css", "text/css; charset=utf-8", "@media print"},
      {"/docs", "text/html; charset=utf-8", "swagger-ui-bundle.js"},
  };
  for (const auto& f : files) {
    auto res = Get(f.path);
    ASSERT_TRUE(res) << f.path;
    EXPECT_EQ(res->status, 200) << f.path;
    EXPECT_EQ(res->get_header_value("Content-Type"), f.type) << f.path;
    EXPECT_NE(res->body.find(f.contains), std::string::npos) << f.path;
    const std::string policy = res->get_header_value("Content-Security-Policy");
    EXPECT_NE(policy.find("script-src 'self';"), std::string::npos) << f.path << ": " << policy;
    EXPECT_NE(policy.find("default-src 'none'"), std::string::npos) << f.path;
    EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
  }
  EXPECT_EQ(Get("/")->get_header_value("Content-Security-Policy").find("unsafe-inline"),
            std::string::npos);
  for (const char* missing : {"/app/none.js", "/index.html", "/app/../server.cc", "/etc"}) {
    auto res = Get(missing);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404) << missing;
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/json") << missing;
  }
}

TEST_F(WebRoutesTest, TheApiDocumentDescribesEveryOperation) {
  auto res = Get("/v1/openapi.json");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200);
  auto doc = ParseJson(res->body);
  ASSERT_TRUE(doc.ok());
  EXPECT_EQ(*doc, OpenApiDocument());
  // One operation's path and argument schema, as a caller reads them.
  EXPECT_TRUE((*doc)["paths"].contains("/v1/call/Plexavo.MF_OutBillE/ExecBill"));
  EXPECT_EQ((*doc)["components"]["schemas"]["MF_OutBillE.ExecBill.Args"]["required"],
            Json({"vstrID", "vdtmExeDate", "vstrDB", "vstrErr"}));
}

TEST_F(WebRoutesTest, MetricsCountCallsByOutcomeWithoutTokensOrArguments) {
  const Json rights = {
      {"vblnRead", false}, {"vblnEdit", false}, {"vblnExec", false}, {"vblnUnExec", false}};
  EXPECT_EQ(server_.Call(kReader, "CheckRight", rights).status, 200);
  EXPECT_EQ(server_.Call(kReader, "CheckRight", rights).status, 200);
  EXPECT_EQ(server_.Call(kReader, "CanEdit", {{"vstrID", "no-such-bill"}}).status, 200);
  const std::string bogus = std::string(64, 'f');
  EXPECT_EQ(
      server_
          .Post(server_.Body(kReader, "CheckRight", rights), {{"Authorization", "Bearer " + bogus}})
          .status,
      401);
  EXPECT_EQ(server_.Call(kReader, "NoSuchOperation").status, 400);

  auto res = Get("/metrics");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200);
  const std::string& m = res->body;
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

}  // namespace
}  // namespace server
