#include "server/server.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>

#include "boundary/classes.h"
#include "boundary/dispatch.h"
#include "cli/cli.h"
#include "cli/company_admin.h"
#include "cli/token.h"
#include "reader/mf_outbill.h"
#include "server/http.h"
#include "server/json_values.h"
#include "tests/test_company.h"

namespace server {
namespace {

using testing_support::TestCompany;

constexpr const char* kReader = "Plexavo.MF_OutBill";

struct Answer {
  int status = 0;
  Json body;
};

// A settings-file section naming `company`, for a file that holds two.
std::string SectionOf(const TestCompany& company) {
  return "[SoftWare\\Halvaren\\Kelmora\\" + company.name() + "]\nServer=" + company.ServerValue() +
         "\nUserID=" + company.target().user + "\nPWD=" + company.target().password + "\n";
}

// Any well-typed JSON value of a parameter type.
Json SampleOf(boundary::ParamType type) {
  static const Json kSamples = {{"text", ""},      {"date", "2026-05-01"}, {"int", 0},
                                {"currency", "0"}, {"bool", false},        {"rowset", nullptr}};
  return kSamples[boundary::ParamTypeName(type)];
}

// Options of a test server on any free port.
ServeOptions TestOptions(int threads, size_t max_body_bytes = 64 * 1024) {
  ServeOptions options;
  options.port = 0;
  options.threads = threads;
  options.max_body_bytes = max_body_bytes;
  return options;
}

// Reads like the reader, but breaks its own transaction before the host
// commits it, so that the commit fails.
class CommitBreaker : public reader::MF_OutBill {
 public:
  CommitBreaker(host::ObjectContext& ctx, data::Target target)
      : MF_OutBill(ctx), target_(std::move(target)) {}
  ~CommitBreaker() override {
    GetObjectContext().SetComplete();
    data::Connection cnn;
    if (!cnn.Open(target_, GetObjectContext().enlistment()).ok()) return;
    if (target_.backend == data::Backend::kSqlite) {
      (void)cnn.Execute(data::Sql("ROLLBACK"));
    } else {
      (void)cnn.Execute(
          data::Sql("CREATE TEMP TABLE breaker (a INTEGER UNIQUE DEFERRABLE INITIALLY DEFERRED)"));
      (void)cnn.Execute(data::Sql("INSERT INTO breaker VALUES (1), (1)"));
    }
  }

 private:
  data::Target target_;
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    company_.AddUser("amy", "Amy Archer", "en", {"MF0301", "MF0302"});
    company_.AddUser("bob", "Bob Baker", "", {}, 7);
    auto token = cli::IssueUserToken(company_.target(), "amy");
    ASSERT_TRUE(token.ok()) << token.err().description;
    token_ = *token;
    db_ = company_.name();
    StartServer(TestOptions(4));
  }

  void StartServer(ServeOptions options) {
    server_ = std::make_unique<Server>(std::move(options), log_);
    base::Status started = server_->Start();
    ASSERT_TRUE(started.ok()) << started.err().description;
  }

  Answer Post(const std::string& body, const std::string& authorization) {
    httplib::Client client("127.0.0.1", server_->port());
    httplib::Headers headers;
    if (!authorization.empty()) headers.emplace("Authorization", authorization);
    auto res = client.Post("/v1/call", headers, body, "application/json");
    if (!res) {
      ADD_FAILURE() << "no answer: " << httplib::to_string(res.error());
      return {};
    }
    auto json = ParseJson(res->body);
    EXPECT_TRUE(json.ok()) << res->body;
    return {res->status, json.ok() ? *json : Json()};
  }

  Answer Call(const std::string& op, const Json& args, std::string token = "") {
    Json request = {{"progid", kReader}, {"method", op}, {"args", args}};
    return Post(Dump(request), "Bearer " + (token.empty() ? token_ : token));
  }

  Json DbArgs() const { return {{"vstrDB", db_}, {"vstrErr", ""}}; }

  Json CheckRightArgs() const {
    Json args = DbArgs();
    for (const char* flag : {"vblnRead", "vblnEdit", "vblnExec", "vblnUnExec"}) args[flag] = false;
    return args;
  }

  Answer Get(const std::string& path) {
    httplib::Client client("127.0.0.1", server_->port());
    auto res = client.Get(path.c_str());
    if (!res) return {};
    auto json = ParseJson(res->body);
    return {res->status, json.ok() ? *json : Json()};
  }

  TestCompany company_;
  std::string token_;
  std::string db_;
  std::ostringstream log_;
  std::unique_ptr<Server> server_;
};

TEST_F(ServerTest, AnswersHealthAndInterfaces) {
  Answer health = Get("/v1/health");
  EXPECT_EQ(health.status, 200);
  EXPECT_EQ(health.body, Json({{"status", "ok"}}));

  Answer itfs = Get("/v1/interfaces");
  ASSERT_EQ(itfs.status, 200);
  const Json& list = itfs.body["interfaces"];
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]["progid"], kReader);
  EXPECT_EQ(list[0]["class"], "MF_OutBill");
  EXPECT_EQ(list[1]["progid"], "Plexavo.MF_OutBillE");
  ASSERT_EQ(list[0]["operations"].size(), 30u);
  ASSERT_EQ(list[1]["operations"].size(), 6u);
  const Json& shop = list[0]["operations"][29];
  EXPECT_EQ(shop["operation"], "ShopRst");
  EXPECT_EQ(shop["dispid"], "6003001D");
  EXPECT_EQ(shop["result"], "rowset");
  EXPECT_EQ(list[1]["operations"][5]["operation"], "AddFromOutPlan");
  EXPECT_EQ(list[1]["operations"][5]["dispid"], "60030008");
  const Json& check = list[0]["operations"][24];
  EXPECT_EQ(check["operation"], "CheckRight");
  EXPECT_EQ(check["implemented"], true);
  EXPECT_EQ(check["parameters"][0],
            Json({{"name", "vblnRead"}, {"type", "bool"}, {"direction", "inout"}}));
  EXPECT_EQ(check["parameters"][4],
            Json({{"name", "vstrDB"}, {"type", "text"}, {"direction", "in"}}));
  EXPECT_EQ(list[0]["operations"][0]["implemented"],
            boundary::IsImplemented(boundary::ReaderInterface(),
                                    boundary::ReaderInterface().operations->at(0)));
}

TEST_F(ServerTest, CheckRightByNameAndByDispIdAgree) {
  const Json expected = {{"result", true},
                         {"byref",
                          {{"vblnRead", true},
                           {"vblnEdit", true},
                           {"vblnExec", false},
                           {"vblnUnExec", false},
                           {"vstrErr", ""}}}};
  Answer by_name = Call("CheckRight", CheckRightArgs());
  EXPECT_EQ(by_name.status, 200);
  EXPECT_EQ(by_name.body, expected);
  Json request = {{"progid", kReader}, {"dispid", "60030018"}, {"args", CheckRightArgs()}};
  Answer by_dispid = Post(Dump(request), "Bearer " + token_);
  EXPECT_EQ(by_dispid.status, 200);
  EXPECT_EQ(by_dispid.body, expected);

  // One line per call, with the caller's login and without the token.
  std::string log = log_.str();
  std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d login=amy db=)" + db_ +
                  R"( progid=Plexavo\.MF_OutBill op=CheckRight ms=\d+ 200 ok\n)");
  EXPECT_EQ(std::distance(std::sregex_iterator(log.begin(), log.end(), line), {}), 2) << log;
  EXPECT_EQ(log.find(token_), std::string::npos);
}

TEST_F(ServerTest, AnswersLookUpsForTheCaller) {
  company_.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', '202612')");
  Answer period = Call("CurPeriod", DbArgs());
  EXPECT_EQ(period.status, 200);
  EXPECT_EQ(period.body, Json({{"result", "202612"}, {"byref", {{"vstrErr", ""}}}}));

  Answer name = Call("UserName", DbArgs());
  EXPECT_EQ(name.status, 200);
  EXPECT_EQ(name.body, Json({{"result", "Amy Archer"}, {"byref", {{"vstrErr", ""}}}}));

  Answer users = Call("GetRstUser", DbArgs());
  EXPECT_EQ(users.status, 200);
  EXPECT_EQ(users.body["result"],
            Json::parse(R"({"fields":[{"name":"LoginName","type":"text"},)"
                        R"({"name":"UserName","type":"text"},)"
                        R"({"name":"InnerID","type":"int"}],)"
                        R"("rows":[["amy","Amy Archer",0],["bob","Bob Baker",7]]})"));
}

TEST_F(ServerTest, DisabledReaderWriteAnswersFunctionKill) {
  Json args = DbArgs();
  for (const boundary::Param& p :
       boundary::OperationByName(boundary::ReaderInterface(), "AddNew")->params) {
    if (!args.contains(p.name)) args[p.name] = SampleOf(p.type);
  }
  args["vstrID"] = "B-17";
  args["vrstDetail"] =
      Json::parse(R"({"fields":[{"name":"Qty","type":"currency"}],"rows":[[1.5]]})");
  Answer a = Call("AddNew", args);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.body, Json({{"result", false},
                          {"byref", {{"vstrID", "B-17"}, {"vstrErr", "function kill"}}}}));
  EXPECT_EQ(company_.Count("MF_OutBill"), 0);
}

TEST_F(ServerTest, RefusesBadRequestsWith400) {
  auto req = [&](Json args, const char* key = "method", Json op = "UserName") {
    return Dump({{"progid", kReader}, {key, op}, {"args", std::move(args)}});
  };
  Json typed = DbArgs();
  typed["vlngArtID"] = "12";
  Json bom = DbArgs();
  for (const char* t : {"vstrBillID", "vstrSortID", "vstrArtCode", "vstrArtName"}) bom[t] = "";
  Json bom_text = bom;
  bom_text["vcurQty"] = "1.23456";
  std::string bom_number = req(bom, "method", "OrderBomRst");
  bom_number.replace(bom_number.find("\"args\":{") + 8, 0, "\"vcurQty\":1.23456,");
  Json unknown = DbArgs();
  unknown["vstrX"] = "";
  const std::string kCur =
      "argument vcurQty must be a currency value with at most four decimals (a string such as "
      "\"12.3400\" or a number), not ";
  const struct {
    std::string body;
    std::string error;
  } cases[] = {
      {"{\"progid\": ",
       "malformed JSON: parse error at line 1, column 12: syntax error while parsing value - "
       "unexpected end of "
       "input; expected '[', '{', or a literal"},
      {"[]", "the request must be a JSON object, not an array"},
      {Dump({{"progid", "Plexavo.Nope"}, {"method", "UserName"}, {"args", DbArgs()}}),
       "unknown progid 'Plexavo.Nope'"},
      {req(DbArgs(), "method", "NoSuch"), "Plexavo.MF_OutBill has no operation 'NoSuch'"},
      {req(DbArgs(), "dispid", "6003FFFF"),
       "Plexavo.MF_OutBill has no operation with dispid 6003FFFF"},
      {req(DbArgs(), "dispid", "0x6003"),
       "\"dispid\" must be hexadecimal text such as \"6003001D\""},
      {Dump({{"progid", kReader}, {"args", DbArgs()}}), "give either \"method\" or \"dispid\""},
      {Dump({{"progid", kReader}, {"method", "UserName"}}),
       "\"args\" must be an object with every parameter of UserName by its name"},
      {Dump({{"progid", kReader}, {"method", "UserName"}, {"args", DbArgs()}, {"x", 1}}),
       "unknown request member \"x\" (expected \"progid\", \"method\" or \"dispid\", \"args\")"},
      {req({{"vstrDB", db_}}), "missing argument 'vstrErr' of UserName"},
      {req(unknown), "unknown argument 'vstrX' of UserName"},
      {req(typed, "method", "GetMeasID"),
       "argument vlngArtID must be a 32-bit integer, not a string"},
      {req(bom_text, "method", "OrderBomRst"), kCur + "\"1.23456\""},
      {bom_number, kCur + "1.23456"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    Answer a = Post(c.body, "Bearer " + token_);
    EXPECT_EQ(a.status, 400);
    EXPECT_EQ(a.body, Json({{"error", c.error}}));
  }
  EXPECT_NE(log_.str().find("login=- db=- progid=Plexavo.MF_OutBill op=NoSuch ms="),
            std::string::npos);
}

TEST_F(ServerTest, RefusesCallersWithout401) {
  TestCompany other;
  other.AddUser("bea", "Bea Other");
  auto other_token = cli::IssueUserToken(other.target(), "bea");
  ASSERT_TRUE(other_token.ok());
  company_.WriteSettings(SectionOf(other));
  auto stranger = cli::NewToken();
  ASSERT_TRUE(stranger.ok());

  const std::string request =
      Dump({{"progid", kReader}, {"method", "UserName"}, {"args", DbArgs()}});
  const std::string not_valid = "the token is not valid for company database '" + db_ + "'";
  const std::string missing = "missing \"Authorization: Bearer TOKEN\" header";
  const struct {
    std::string authorization;
    std::string error;
  } cases[] = {
      {"", missing},
      {"Basic " + token_, missing},
      {"Bearer", missing},
      {"Bearer " + *stranger, not_valid},
      {"Bearer " + *other_token, not_valid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.authorization);
    Answer a = Post(request, c.authorization);
    EXPECT_EQ(a.status, 401);
    EXPECT_EQ(a.body, Json({{"error", c.error}}));
  }
  Json elsewhere = {{"vstrDB", "nosuchdb"}, {"vstrErr", ""}};
  Answer unknown_db = Call("UserName", elsewhere);
  EXPECT_EQ(unknown_db.status, 401);
  // The same text as for a bogus token: company names cannot be told apart.
  EXPECT_EQ(unknown_db.body,
            Json({{"error", "the token is not valid for company database 'nosuchdb'"}}));

  // The other database's token works there, as its own user; the scheme's case is free.
  Json there = {{"vstrDB", other.name()}, {"vstrErr", ""}};
  Answer a = Post(Dump({{"progid", kReader}, {"method", "UserName"}, {"args", there}}),
                  "bearer " + *other_token);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.body["result"], "Bea Other");
}

TEST_F(ServerTest, RefusesBodiesOverTheLimitWith413) {
  StartServer(TestOptions(2, 256));
  std::string body = Dump({{"progid", kReader},
                           {"method", "UserName"},
                           {"args", {{"vstrDB", std::string(300, 'x')}, {"vstrErr", ""}}}});
  Answer a = Post(body, "Bearer " + token_);
  EXPECT_EQ(a.status, 413);
  EXPECT_EQ(a.body, Json({{"error", "the request body is larger than 256 bytes"}}));
  EXPECT_NE(log_.str().find("login=- db=- progid=- op=- ms=0 413 the request body"),
            std::string::npos)
      << log_.str();
  // A body within the limit still gets through.
  EXPECT_EQ(Call("UserName", DbArgs()).status, 200);
}

TEST_F(ServerTest, NeverRunsOperationsNotBuiltYet) {
  // Besides what the dispatch tables lack, the writer and the reader's
  // UserName count as not built here: each must be refused with 501 and
  // never run (UserName would answer 200, the writer would store bills).
  auto built = [](const boundary::Interface& itf, const boundary::Operation& op) {
    return boundary::IsImplemented(itf, op) && &itf != &boundary::WriterInterface() &&
           std::string_view(op.name) != "UserName";
  };
  ServeOptions options = TestOptions(2);
  options.is_implemented = built;
  StartServer(std::move(options));
  std::vector<std::pair<const boundary::Interface*, const boundary::Operation*>> pending;
  for (const boundary::Interface* itf : boundary::Interfaces()) {
    for (const boundary::Operation& op : *itf->operations) {
      if (!built(*itf, op)) pending.emplace_back(itf, &op);
    }
  }
  ASSERT_GE(pending.size(), 7u);
  Json listed = Get("/v1/interfaces").body["interfaces"];
  for (const auto& [itf, op] : pending) {
    SCOPED_TRACE(std::string(itf->progid) + "." + op->name);
    Json args = Json::object();
    for (const boundary::Param& p : op->params) args[p.name] = SampleOf(p.type);
    args["vstrDB"] = db_;
    Answer a = Post(Dump({{"progid", itf->progid}, {"method", op->name}, {"args", args}}),
                    "Bearer " + token_);
    EXPECT_EQ(a.status, 501);
    EXPECT_EQ(
        a.body,
        Json({{"error", std::string(itf->cls) + "." + op->name + " is not implemented yet"}}));
    size_t i = itf == &boundary::ReaderInterface() ? 0 : 1;
    size_t k = static_cast<size_t>(op - itf->operations->data());
    EXPECT_EQ(listed[i]["operations"][k]["implemented"], false);
  }
  EXPECT_EQ(company_.Count("MF_OutBill"), 0);
  EXPECT_EQ(Call("CurPeriod", DbArgs()).status, 200);  // what is built still runs
}

TEST_F(ServerTest, FailedCommitAnswers409) {
  data::Target target = company_.target();
  ServeOptions options = TestOptions(2);
  options.register_classes = [target](host::ClassTable& classes) {
    boundary::RegisterAll(classes);
    classes.Register(
        {kReader, host::TransactionAttribute::kRequires, [target](host::ObjectContext& ctx) {
           return std::make_unique<CommitBreaker>(ctx, target);
         }});
  };
  StartServer(std::move(options));
  Answer a = Call("UserName", DbArgs());
  EXPECT_EQ(a.status, 409);
  const std::string prefix =
      "the transaction was aborted: The transaction could not be committed: ";
  EXPECT_EQ(a.body["error"].get<std::string>().substr(0, prefix.size()), prefix) << a.body;
  EXPECT_NE(log_.str().find("login=amy db=" + db_ + " progid=Plexavo.MF_OutBill op=UserName"),
            std::string::npos);
}

// ---- The command-line client and server -------------------------------------

TEST_F(ServerTest, CallCommandPrintsTheAnswer) {
  setenv("PLEXAVO_URL", ("http://127.0.0.1:" + std::to_string(server_->port())).c_str(), 1);
  setenv("PLEXAVO_TOKEN", token_.c_str(), 1);
  const struct {
    std::vector<std::string> args;
    int code;
    std::string out;
    std::string err;
  } cases[] = {
      {{"call", kReader, "60030018", "vblnRead=false", "vblnEdit=true", "vblnExec=false",
        "vblnUnExec=false", "vstrDB=" + db_, "vstrErr=x"},
       0,
       "{\n  \"byref\": {\n    \"vblnEdit\": true,\n    \"vblnExec\": false,\n    \"vblnRead\": "
       "true,\n    \"vblnUnExec\": false,\n    \"vstrErr\": \"x\"\n  },\n  \"result\": true\n}\n",
       ""},
      {{"call", kReader, "UserName", "vstrDB=" + db_},
       1,
       "",
       "plexavo call: HTTP 400: missing argument 'vstrErr' of UserName\n"},
      {{"call", kReader, "GetMeasID", "vlngArtID=1.5"},
       2,
       "",
       "plexavo call: argument vlngArtID: '1.5' is not a 32-bit integer\n"},
      {{"call", kReader, "UserName", "vstrNope=1"},
       2,
       "",
       "plexavo call: unknown argument 'vstrNope' of UserName; its parameters are vstrDB "
       "vstrErr\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[2]);
    std::ostringstream out, err;
    EXPECT_EQ(cli::Run(c.args, out, err), c.code);
    EXPECT_EQ(out.str(), c.out);
    EXPECT_EQ(err.str().substr(0, c.err.size()), c.err);
    if (c.err.empty()) {
      EXPECT_EQ(err.str(), "");
    }
  }
  setenv("PLEXAVO_TOKEN", "wrong", 1);
  std::ostringstream out, err;
  EXPECT_EQ(cli::Run({"call", kReader, "UserName", "vstrDB=" + db_, "vstrErr="}, out, err), 1);
  EXPECT_EQ(err.str(),
            "plexavo call: HTTP 401: the token is not valid for company database '" + db_ + "'\n");
  unsetenv("PLEXAVO_TOKEN");
  unsetenv("PLEXAVO_URL");
}

std::string CliPath() {
  const char* env = std::getenv("PLEXAVO_CLI");
  if (env != nullptr && *env != '\0') return env;
  return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "plexavo").string();
}

TEST(ServeCommandTest, StopsCleanlyOnSigterm) {
  const std::string cli = CliPath();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    execl(cli.c_str(), cli.c_str(), "serve", "--listen", "127.0.0.1:0", "--threads", "2",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  FILE* out = fdopen(fds[0], "r");
  char buf[512] = {};
  std::string first = fgets(buf, sizeof buf, out) != nullptr ? buf : "";
  std::smatch m;
  bool listening = std::regex_search(
      first, m, std::regex(R"(listening on http://127\.0\.0\.1:(\d+) with 2 threads\n$)"));
  int health = 0;
  if (listening) {
    httplib::Client client("127.0.0.1", std::stoi(m[1]));
    auto res = client.Get("/v1/health");
    health = res ? res->status : -1;
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  std::string rest;
  while (fgets(buf, sizeof buf, out) != nullptr) rest += buf;
  fclose(out);

  ASSERT_TRUE(listening) << cli << ": " << first;
  EXPECT_EQ(health, 200);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(rest.find("received SIGTERM: no new calls; finishing the calls in flight\n"),
            std::string::npos)
      << rest;
  EXPECT_TRUE(rest.ends_with(" stopped\n")) << rest;
}

}  // namespace
}  // namespace server
