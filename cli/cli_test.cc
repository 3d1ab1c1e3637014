#include "cli/cli.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "data/admin.h"
#include "schema/migrations.h"
#include "tests/run_cli.h"
#include "tests/test_company.h"
#include "tokens/token.h"

namespace cli {
namespace {

using testing_support::TestCompany;

using Outcome = testing_support::CliOutcome;
using testing_support::RunCli;

std::string Joined(const std::vector<std::string>& args) {
  std::string s;
  for (const std::string& a : args) s += "[" + a + "]";
  return s;
}

int64_t Rows(const TestCompany& company, const std::string& sql,
             std::initializer_list<std::pair<const char*, base::Value>> binds = {}) {
  base::Rowset rs = company.Query(sql, {{"n", base::FieldType::kInt}}, binds);
  return rs.RecordCount() == 1 ? *rs.Row(0)[0].AsInt() : -1;
}

// ---- Arguments and help ---------------------------------------------------

TEST(CliArgsTest, ParsesPositionalsAndOptions) {
  const ArgSpec accepted{.positionals = {"DB", "LOGIN"}, .options = {"--name", "--lang"}};
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> positionals;
    std::string name;  // "<none>" when not given
  } cases[] = {
      {{"db", "amy"}, {"db", "amy"}, "<none>"},
      {{"db", "amy", "--name", "Amy A"}, {"db", "amy"}, "Amy A"},
      {{"--name", "Amy", "db", "amy"}, {"db", "amy"}, "Amy"},
      {{"db", "--name=Amy=B", "amy"}, {"db", "amy"}, "Amy=B"},
      {{"db", "amy", "--name", "--lang"}, {"db", "amy"}, "--lang"},
      {{"db", "--", "-amy"}, {"db", "-amy"}, "<none>"},
      {{"db", "-"}, {"db", "-"}, "<none>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    auto parsed = ParseArgs(c.args, accepted);
    ASSERT_TRUE(parsed.ok()) << parsed.err().description;
    EXPECT_EQ(parsed->positionals, c.positionals);
    EXPECT_EQ(parsed->Option("--name").value_or("<none>"), c.name);
  }
}

TEST(CliArgsTest, RefusesBadArguments) {
  const ArgSpec accepted{.positionals = {"DB", "LOGIN"}, .options = {"--name"}};
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{}, "missing DB"},
      {{"db"}, "missing LOGIN"},
      {{"db", "amy", "x"}, "unexpected argument 'x'"},
      {{"db", "amy", "--name"}, "option '--name' needs a value"},
      {{"db", "amy", "--nme", "x"}, "unknown option '--nme'"},
      {{"db", "amy", "-n", "x"}, "unknown option '-n'"},
      {{"db", "amy", "--name", "a", "--name=b"}, "option '--name' given twice"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    auto parsed = ParseArgs(c.args, accepted);
    ASSERT_FALSE(parsed.ok());
    EXPECT_EQ(parsed.err().description, c.message);
  }
  auto variadic = ParseArgs({"db", "amy", "A", "B"},
                            {.positionals = {"DB", "LOGIN", "CODE"}, .variadic = true});
  ASSERT_TRUE(variadic.ok());
  EXPECT_EQ(variadic->positionals, (std::vector<std::string>{"db", "amy", "A", "B"}));
}

TEST(CliArgsTest, ParsesInt32Exactly) {
  const struct {
    const char* text;
    bool ok;
    int32_t value;
  } cases[] = {
      {"0", true, 0},           {"7", true, 7},
      {"-12", true, -12},       {"2147483647", true, 2147483647},
      {"2147483648", false, 0}, {"", false, 0},
      {"7x", false, 0},         {" 7", false, 0},
      {"+7", false, 0},         {"1.5", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto v = ParseInt32(c.text);
    ASSERT_EQ(v.ok(), c.ok);
    if (c.ok) {
      EXPECT_EQ(*v, c.value);
    }
  }
}

TEST(CliHelpTest, HelpGoesToStdoutWithExitZero) {
  const struct {
    std::vector<std::string> args;
    const char* begins;
    std::vector<const char*> has, lacks;
  } cases[] = {
      {{"--help"}, "usage: plexavo COMMAND", {"\n  user add ", "\n  serve"}, {}},
      {{"-h"}, "usage: plexavo COMMAND", {"\n  initdb DB\n"}, {}},
      {{"help"}, "usage: plexavo COMMAND", {"\n  config set "}, {}},
      {{"user", "--help"},
       "",
       {"user add", "user token", "user grant", "user revoke"},
       {"config set", "initdb"}},
      {{"user", "add", "--help"}, "usage: plexavo user add DB LOGIN", {}, {"config set"}},
      {{"help", "user", "add"}, "usage: plexavo user add DB LOGIN", {}, {"config set"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    Outcome r = RunCli(c.args);
    EXPECT_EQ(r.code, kExitOk);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind(c.begins, 0), 0u) << r.out;
    for (const char* text : c.has) EXPECT_NE(r.out.find(text), std::string::npos) << text;
    for (const char* text : c.lacks) EXPECT_EQ(r.out.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(RunCli({"help", "period", "set"}).out, RunCli({"period", "set", "--help"}).out);
}

TEST(CliHelpTest, UsageErrorsExitTwoWithAMessage) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{}, "plexavo: no command given"},
      {{"frobnicate"}, "plexavo: unknown command 'frobnicate'"},
      {{"--frobnicate"}, "plexavo: unknown option '--frobnicate'"},
      {{"help", "frobnicate"}, "plexavo: no help for unknown command 'frobnicate'"},
      {{"user"}, "plexavo: 'user' needs a subcommand"},
      {{"user", "frob", "db"}, "plexavo: unknown command 'user frob'"},
      {{"initdb"}, "plexavo initdb: missing DB"},
      {{"initdb", "a", "b"}, "plexavo initdb: unexpected argument 'b'"},
      {{"initdb", "bad;name"}, "plexavo initdb: company database name 'bad;name' must be"},
      {{"user", "add", "db", "amy"}, "plexavo user add: --name NAME is required"},
      {{"user", "add", "db", "amy", "--name"}, "plexavo user add: option '--name' needs"},
      {{"user", "add", "db", "amy", "--name", ""}, "plexavo user add: --name NAME is required"},
      {{"user", "add", "db", "", "--name", "A"}, "plexavo user add: LOGIN must not be empty"},
      {{"user", "add", "db", "amy", "--name", "A", "--inner-id", "x"},
       "plexavo user add: --inner-id: 'x' is not a 32-bit integer"},
      {{"user", "add", "db", "amy", "--name", "A", "--bogus", "1"},
       "plexavo user add: unknown option '--bogus'"},
      {{"user", "token", "db"}, "plexavo user token: missing LOGIN"},
      {{"user", "grant", "db", "amy"}, "plexavo user grant: missing CODE"},
      {{"user", "revoke", "db", "amy", "A", ""}, "plexavo user revoke: CODE must not be empty"},
      {{"config", "set", "db", "k"}, "plexavo config set: missing VALUE"},
      {{"config", "set", "db", "", "v"}, "plexavo config set: KEY must not be empty"},
      {{"period", "clear", "db"}, "plexavo period clear: missing MODULE"},
      {{"selfcheck", "extra"}, "plexavo selfcheck: unexpected argument 'extra'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    Outcome r = RunCli(c.args);
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
  }
}

// ---- Commands on a company database ---------------------------------------

// The administration commands in turn on one company database: what each
// prints and exits with, then what they left in the database.
TEST(CliDbTest, CommandsChangeTheDatabaseAndSayWhatTheyDid) {
  TestCompany company;  // already initialised by the fixture
  const std::string db = company.name();
  const std::string latest = std::to_string(schema::LatestVersion());
  const int64_t versions = company.Count("PX_SchemaVersion");
  const std::string kToken = "<token>";
  const std::string no_settings = "company database 'nosuchdb' has no settings";
  const struct {
    std::vector<std::string> args;
    int code;
    std::string out;  // kToken: one new token
    std::string err;  // contained in the error output; "" for none
  } steps[] = {
      {{"initdb", db},
       kExitOk,
       "company database " + db + " is at schema version " + latest + " (was " + latest + ")\n",
       ""},
      {{"user", "add", db, "amy", "--name", "Amy Lee", "--lang", "T", "--inner-id", "42"},
       kExitOk,
       kToken,
       "added user amy to company database " + db + "; its sign-in token"},
      {{"user", "add", db, "bob", "--name=Bob"}, kExitOk, kToken, "added user bob"},
      {{"user", "add", db, "amy", "--name", "Other", "--inner-id", "9"},
       kExitFailure,
       "",
       "user 'amy' already exists"},
      {{"user", "token", db, "amy"},
       kExitOk,
       kToken,
       "issued a sign-in token for user amy in company database " + db},
      {{"user", "token", db, "ghost"}, kExitFailure, "", "there is no user 'ghost'"},
      {{"user", "grant", db, "amy", "MF01", "MF02"},
       kExitOk,
       "granted MF01 to amy\ngranted MF02 to amy\n",
       ""},
      {{"user", "grant", db, "amy", "MF01", "MF03", "MF03"},
       kExitOk,
       "MF01 was already granted to amy\ngranted MF03 to amy\nMF03 was already granted to amy\n",
       ""},
      {{"user", "revoke", db, "amy", "MF01", "MF09"},
       kExitOk,
       "revoked MF01 from amy\nMF09 was not granted to amy\n",
       ""},
      {{"user", "grant", db, "ghost", "MF02"}, kExitFailure, "", "there is no user 'ghost'"},
      {{"user", "revoke", db, "ghost", "MF02"}, kExitFailure, "", "there is no user 'ghost'"},
      {{"config", "set", db, "IDMode", "1"},
       kExitOk,
       "config IDMode set to '1' (was not set)\n",
       ""},
      {{"config", "set", db, "IDMode", "--", "-2"},
       kExitOk,
       "config IDMode set to '-2' (was '1')\n",
       ""},
      {{"period", "set", db, "MF", "202613"},
       kExitUsage,
       "",
       "plexavo period set: period '202613' has month 13; months are 01 to 12\n"},
      {{"period", "set", db, "MF", "202600"},
       kExitUsage,
       "",
       "plexavo period set: period '202600' has month 00; months are 01 to 12\n"},
      {{"period", "set", db, "MF", "20261"},
       kExitUsage,
       "",
       "plexavo period set: period '20261' is not YYYYMM (six digits)\n"},
      {{"period", "set", db, "MF", "2026121"},
       kExitUsage,
       "",
       "plexavo period set: period '2026121' is not YYYYMM (six digits)\n"},
      {{"period", "set", db, "MF", "abcdef"},
       kExitUsage,
       "",
       "plexavo period set: period 'abcdef' is not YYYYMM (six digits)\n"},
      {{"period", "set", db, "MF", "2026 1"},
       kExitUsage,
       "",
       "plexavo period set: period '2026 1' is not YYYYMM (six digits)\n"},
      {{"period", "set", db, "MF", ""},
       kExitUsage,
       "",
       "plexavo period set: YYYYMM must not be empty\n"},
      {{"period", "set", db, "MF", "202612"},
       kExitOk,
       "period of module MF set to 202612 (was not set)\n",
       ""},
      {{"period", "set", db, "MF", "202701"},
       kExitOk,
       "period of module MF set to 202701 (was '202612')\n",
       ""},
      {{"period", "clear", db, "MF"}, kExitOk, "period of module MF cleared (was 202701)\n", ""},
      {{"period", "clear", db, "MF"}, kExitOk, "module MF had no period; nothing changed\n", ""},
      {{"initdb", "nosuchdb"}, kExitFailure, "", no_settings},
      {{"user", "add", "nosuchdb", "amy", "--name", "Amy"}, kExitFailure, "", no_settings},
      {{"config", "set", "nosuchdb", "k", "v"}, kExitFailure, "", no_settings},
      {{"period", "clear", "nosuchdb", "MF"}, kExitFailure, "", no_settings},
  };
  std::vector<std::string> issued;
  for (const auto& step : steps) {
    SCOPED_TRACE(Joined(step.args));
    Outcome r = RunCli(step.args);
    EXPECT_EQ(r.code, step.code) << r.err;
    if (step.out == kToken) {
      ASSERT_TRUE(std::regex_match(r.out, std::regex("[0-9a-f]{64}\n"))) << r.out;
      issued.push_back(r.out.substr(0, 64));
    } else {
      EXPECT_EQ(r.out, step.out);
    }
    if (step.err.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_NE(r.err.find(step.err), std::string::npos) << r.err;
    }
  }
  // Users as added (the refused second amy changed nothing), with defaults.
  EXPECT_EQ(company.Text("SELECT COUNT(*) FROM SM_User"), "2");
  for (const auto& [login, row] : std::vector<std::pair<const char*, std::vector<base::Value>>>{
           {"amy", {"Amy Lee", int32_t{42}, "T"}}, {"bob", {"Bob", int32_t{0}, ""}}}) {
    base::Rowset users =
        company.Query("SELECT UserName, InnerID, Lang FROM SM_User WHERE LoginName = :l",
                      {{"UserName", base::FieldType::kText},
                       {"InnerID", base::FieldType::kInt},
                       {"Lang", base::FieldType::kText}},
                      {{"l", login}});
    ASSERT_EQ(users.RecordCount(), 1u) << login;
    EXPECT_EQ(users.Row(0), row) << login;
  }
  // Only the digest of each token is stored, under its user, dated now.
  ASSERT_EQ(issued.size(), 3u);
  EXPECT_EQ(company.Count("SM_UserToken"), 3);
  const char* owners[] = {"amy", "bob", "amy"};
  for (size_t i = 0; i < issued.size(); ++i) {
    base::Rowset stored =
        company.Query("SELECT LoginName, Created FROM SM_UserToken WHERE TokenHash = :h",
                      {{"LoginName", base::FieldType::kText}, {"Created", base::FieldType::kDate}},
                      {{"h", tokens::TokenHash(issued[i])}});
    ASSERT_EQ(stored.RecordCount(), 1u);
    EXPECT_EQ(stored.Row(0)[0].TextOrEmpty(), owners[i]);
    const int64_t age = base::DateTime::Now().seconds() - stored.Row(0)[1].AsDate()->seconds();
    EXPECT_TRUE(age >= 0 && age <= 120) << age;
    EXPECT_EQ(
        Rows(company, "SELECT COUNT(*) FROM SM_UserToken WHERE TokenHash = :t", {{"t", issued[i]}}),
        0);
  }
  EXPECT_EQ(Rows(company,
                 "SELECT COUNT(*) FROM SM_UserRight WHERE LoginName = 'amy' AND "
                 "RightCode IN ('MF02', 'MF03')"),
            2);
  EXPECT_EQ(company.Count("SM_UserRight"), 2);
  EXPECT_EQ(company.Count("PX_SchemaVersion"), versions);  // initdb again changed nothing
  EXPECT_EQ(company.Count("SM_Config"), 1);
  EXPECT_EQ(company.Text("SELECT Value FROM SM_Config WHERE ID = 'IDMode'"), "-2");
  EXPECT_EQ(company.Count("SM_Period"), 0);
}

TEST(CliDbTest, InitDbCreatesAFreshDatabase) {
  TestCompany company;
  data::Target fresh = company.target();
  fresh.database = company.name() + "_new";
  if (fresh.backend == data::Backend::kSqlite) fresh.path = company.dir() + "/new.db";
  std::string server =
      fresh.backend == data::Backend::kSqlite ? "sqlite:" + fresh.path : company.ServerValue();
  company.WriteSettings("[SoftWare\\Halvaren\\Kelmora\\" + fresh.database + "]\nServer=" + server +
                        "\nUserID=" + fresh.user + "\nPWD=\n");
  const std::string latest = std::to_string(schema::LatestVersion());
  const std::string prefix = "company database " + fresh.database + " is at schema version ";

  Outcome first = RunCli({"initdb", fresh.database});
  Outcome second = RunCli({"initdb", fresh.database});
  (void)data::DropDatabase(fresh);

  EXPECT_EQ(first.code, kExitOk) << first.err;
  EXPECT_EQ(first.out.rfind("applying schema version 1: ", 0), 0u) << first.out;
  EXPECT_NE(first.out.find("\n" + prefix + latest + " (was 0)\n"), std::string::npos) << first.out;
  EXPECT_EQ(second.code, kExitOk) << second.err;
  EXPECT_EQ(second.out, prefix + latest + " (was " + latest + ")\n");
}

TEST(CliSelfcheckTest, PassesCleansUpAndRestoresTheSettingsPath) {
  char tmpl[] = "/tmp/plexavo-clitest-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string tmp = tmpl;
  const char* old_tmpdir = getenv("TMPDIR");
  const std::optional<std::string> saved_tmpdir =
      old_tmpdir ? std::optional<std::string>(old_tmpdir) : std::nullopt;
  setenv("TMPDIR", tmp.c_str(), 1);
  setenv("PLEXAVO_SETTINGS", "/nonexistent/settings.ini", 1);

  Outcome r = RunCli({"selfcheck"});

  const bool left_empty = std::filesystem::is_empty(tmp);
  std::filesystem::remove_all(tmp);
  if (saved_tmpdir) {
    setenv("TMPDIR", saved_tmpdir->c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  const char* settings = getenv("PLEXAVO_SETTINGS");
  const std::string settings_after = settings ? settings : "<unset>";
  unsetenv("PLEXAVO_SETTINGS");

  EXPECT_EQ(r.code, kExitOk) << r.err;
  ASSERT_GE(r.out.size(), 13u);
  EXPECT_EQ(r.out.substr(r.out.size() - 13), "selfcheck ok\n") << r.out;
  EXPECT_NE(r.out.find("ok: plexavo user add selfcheck"), std::string::npos) << r.out;
  EXPECT_TRUE(left_empty) << "selfcheck left files in " << tmp;
  EXPECT_EQ(settings_after, "/nonexistent/settings.ini");
}

}  // namespace
}  // namespace cli
