#include "server/server.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "boundary/classes.h"
#include "boundary/dispatch.h"
#include "server/http.h"
#include "server/json_values.h"
#include "tests/run_cli.h"
#include "tests/server_process.h"
#include "tests/test_company.h"
#include "tests/test_server.h"
#include "tokens/token.h"

namespace server {
namespace {

using testing_support::CliOutcome;
using testing_support::HttpAnswer;
using testing_support::RunCli;
using testing_support::TestCompany;

constexpr const char* kReader = "Plexavo.MF_OutBill";

class ServerTest : public testing_support::ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    company_.AddUser("bob", "Bob Baker", "", {}, 7);
    db_ = company_.name();
    server_.Start();
  }

  Json DbArgs() const { return {{"vstrDB", db_}, {"vstrErr", ""}}; }

  Json CheckRightArgs() const {
    return {{"vblnRead", false},   {"vblnEdit", false}, {"vblnExec", false},
            {"vblnUnExec", false}, {"vstrDB", db_},     {"vstrErr", ""}};
  }

  std::string db_;
};

TEST_F(ServerTest, AnswersHealthAndInterfaces) {
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
  EXPECT_EQ(find(1, "AddFromOutPlan")["dispid"], "60030008");
  const Json check = find(0, "CheckRight");
  EXPECT_EQ(check["parameters"][0],
            Json({{"name", "vblnRead"}, {"type", "bool"}, {"direction", "inout"}}));
  EXPECT_EQ(check["parameters"][4],
            Json({{"name", "vstrDB"}, {"type", "text"}, {"direction", "in"}}));
}

TEST_F(ServerTest, CheckRightByNameAndByDispIdAgree) {
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
}

TEST_F(ServerTest, AnswersTheCallersQueries) {
  company_.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', '202612')");
  Json add_new = testing_support::NewBillArgs(base::Rowset({{"Qty", base::FieldType::kCurrency}}),
                                              false, "B-17");
  add_new.update(DbArgs());
  const struct {
    const char* op;
    Json args;
    Json expected;
  } cases[] = {
      {"CurPeriod", DbArgs(), {{"result", "202612"}, {"byref", {{"vstrErr", ""}}}}},
      {"UserName", DbArgs(), {{"result", "Amy Archer"}, {"byref", {{"vstrErr", ""}}}}},
      {"GetRstUser",
       DbArgs(),
       {{"result", Json::parse(R"({"fields":[{"name":"LoginName","type":"text"},)"
                               R"({"name":"UserName","type":"text"},)"
                               R"({"name":"InnerID","type":"int"}],)"
                               R"("rows":[["amy","Amy Archer",0],["bob","Bob Baker",7]]})")},
        {"byref", {{"vstrErr", ""}}}}},
      // The reader's own write is switched off.
      {"AddNew",
       add_new,
       {{"result", false}, {"byref", {{"vstrID", "B-17"}, {"vstrErr", "function kill"}}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op);
    HttpAnswer a = server_.Call(kReader, c.op, c.args);
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body, c.expected);
  }
  EXPECT_EQ(company_.Count("MF_OutBill"), 0);
}

// Each refusal with its status and text. The values of arguments are read
// by json_values (its own test); here a fractional number must reach that
// reading as written, not through a double.
TEST_F(ServerTest, RefusesBadRequestsAndCallers) {
  TestCompany other;
  other.AddUser("bea", "Bea Other");
  testing_support::TestServer other_server(other);
  const std::string other_token = other_server.Token("bea");
  company_.WriteSettings(other.SettingsSection());
  auto stranger = tokens::NewToken();
  ASSERT_TRUE(stranger.ok());
  const std::string token = server_.Token("amy");

  auto req = [&](Json args, const char* key = "method", Json op = "UserName") {
    return Dump({{"progid", kReader}, {key, op}, {"args", std::move(args)}});
  };
  auto with = [&](Json member, Json value) {
    return Dump({{"progid", kReader}, {"method", "UserName"}, {"args", DbArgs()}, {member, value}});
  };
  Json bom = DbArgs();
  for (const char* t : {"vstrBillID", "vstrSortID", "vstrArtCode", "vstrArtName"}) bom[t] = "";
  std::string bom_number = req(bom, "method", "OrderBomRst");
  bom_number.replace(bom_number.find("\"args\":{") + 8, 0, "\"vcurQty\":1.23456,");
  Json unknown = DbArgs();
  unknown["vstrX"] = "";
  const std::string good = req(DbArgs());
  const std::string not_valid = testing_support::TokenRefusal(db_);
  const std::string missing = "missing \"Authorization: Bearer TOKEN\" header";
  const std::string bearer = "Bearer " + token;
  const struct {
    std::string body;
    std::string authorization;
    int status;
    std::string error;
  } cases[] = {
      {"{\"progid\": ", bearer, 400,
       "malformed JSON: parse error at line 1, column 12: syntax error while parsing value - "
       "unexpected end of input; expected '[', '{', or a literal"},
      {"[]", bearer, 400, "the request must be a JSON object, not an array"},
      {Dump({{"progid", "Plexavo.Nope"}, {"method", "UserName"}, {"args", DbArgs()}}), bearer, 400,
       "unknown progid 'Plexavo.Nope'"},
      {req(DbArgs(), "method", "NoSuch"), bearer, 400,
       "Plexavo.MF_OutBill has no operation 'NoSuch'"},
      {req(DbArgs(), "dispid", "6003FFFF"), bearer, 400,
       "Plexavo.MF_OutBill has no operation with dispid 6003FFFF"},
      {req(DbArgs(), "dispid", "0x6003"), bearer, 400,
       "\"dispid\" must be hexadecimal text such as \"6003001D\""},
      {Dump({{"progid", kReader}, {"args", DbArgs()}}), bearer, 400,
       "give either \"method\" or \"dispid\""},
      {Dump({{"progid", kReader}, {"method", "UserName"}}), bearer, 400,
       "\"args\" must be an object with every parameter of UserName by its name"},
      {with("x", 1), bearer, 400,
       "unknown request member \"x\" (expected \"progid\", \"method\" or \"dispid\", \"args\", "
       "\"dryRun\")"},
      {with("dryRun", 1), bearer, 400, "\"dryRun\" must be true or false"},
      {with("dryRun", true), bearer, 400,
       "\"dryRun\" applies to the writer Plexavo.MF_OutBillE only"},
      {req({{"vstrDB", db_}}), bearer, 400, "missing argument 'vstrErr' of UserName"},
      {req(unknown), bearer, 400, "unknown argument 'vstrX' of UserName"},
      {bom_number, bearer, 400,
       "argument vcurQty must be a currency value with at most four decimals (a string such as "
       "\"12.3400\" or a number), not 1.23456"},
      {good, "", 401, missing},
      {good, "Basic " + token, 401, missing},
      {good, "Bearer", 401, missing},
      {good, "Bearer " + *stranger, 401, not_valid},
      {good, "Bearer bogus", 401, not_valid},
      {good, "Bearer " + other_token, 401, not_valid},
      // The same text as for a bogus token: company names cannot be told apart.
      {req({{"vstrDB", "nosuchdb"}, {"vstrErr", ""}}), bearer, 401,
       testing_support::TokenRefusal("nosuchdb")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body + " " + c.authorization);
    httplib::Headers headers;
    if (!c.authorization.empty()) headers.emplace("Authorization", c.authorization);
    HttpAnswer a = server_.Post(c.body, headers);
    EXPECT_EQ(a.status, c.status);
    EXPECT_EQ(a.text, testing_support::ErrorBody(c.error));
  }
  // The database was picked out of the body and the token checked against
  // it before the body was parsed.
  EXPECT_NE(server_.log().find("login=- db=" + db_ + " progid=Plexavo.MF_OutBill op=NoSuch ms="),
            std::string::npos);
  // The other database's token works there, as its own user; the scheme's case is free.
  HttpAnswer a = server_.Post(req({{"vstrDB", other.name()}, {"vstrErr", ""}}),
                              {{"Authorization", "bearer " + other_token}});
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.body["result"], "Bea Other");
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
  const std::string token = server_.Token("amy");
  const struct {
    std::string args;  // after "call" and the reader's progid, split at spaces
    std::string token;
    int code;
    std::string out, err;
  } cases[] = {
      {"60030018 vblnRead=false vblnEdit=true vblnExec=false vblnUnExec=false vstrDB=" + db_ +
           " vstrErr=x",
       token, 0,
       "{\n  \"byref\": {\n    \"vblnEdit\": true,\n    \"vblnExec\": false,\n    \"vblnRead\": "
       "true,\n    \"vblnUnExec\": false,\n    \"vstrErr\": \"x\"\n  },\n  \"result\": true\n}\n",
       ""},
      {"UserName vstrDB=" + db_, token, 1, "",
       "plexavo call: HTTP 400: missing argument 'vstrErr' of UserName\n"},
      {"GetMeasID vlngArtID=1.5", token, 2, "",
       "plexavo call: argument vlngArtID: '1.5' is not a 32-bit integer\n"},
      {"UserName vstrNope=1", token, 2, "",
       "plexavo call: unknown argument 'vstrNope' of UserName; its parameters are vstrDB "
       "vstrErr\n"},
      {"UserName vstrDB=" + db_ + " vstrErr=", "wrong", 1, "",
       "plexavo call: HTTP 401: " + testing_support::TokenRefusal(db_) + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args + " " + c.token);
    setenv("PLEXAVO_TOKEN", c.token.c_str(), 1);
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

}  // namespace
}  // namespace server
