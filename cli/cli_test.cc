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

TEST(CliDbTest, UnknownDatabaseExitsOne) {
  TestCompany company;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"initdb", "nosuchdb"},
                                               {"user", "add", "nosuchdb", "amy", "--name", "Amy"},
                                               {"config", "set", "nosuchdb", "k", "v"},
                                               {"period", "clear", "nosuchdb", "MF"}}) {
    SCOPED_TRACE(Joined(args));
    Outcome r = RunCli(args);
    EXPECT_EQ(r.code, kExitFailure);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("company database 'nosuchdb' has no settings"), std::string::npos)
        << r.err;
  }
}

TEST(CliDbTest, InitDbTwiceReportsTheSameVersion) {
  TestCompany company;  // already initialised by the fixture
  const std::string latest = std::to_string(schema::LatestVersion());
  const std::string expected = "company database " + company.name() + " is at schema version " +
                               latest + " (was " + latest + ")\n";
  const int64_t versions = company.Count("PX_SchemaVersion");
  for (int i = 0; i < 2; ++i) {
    Outcome r = RunCli({"initdb", company.name()});
    EXPECT_EQ(r.code, kExitOk) << r.err;
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(company.Count("PX_SchemaVersion"), versions);
  }
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

TEST(CliDbTest, UserAddPrintsOneTokenAndStoresOnlyItsDigest) {
  TestCompany company;
  Outcome r = RunCli({"user", "add", company.name(), "amy", "--name", "Amy Lee", "--lang", "T",
                      "--inner-id", "42"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  ASSERT_TRUE(std::regex_match(r.out, std::regex("[0-9a-f]{64}\n"))) << r.out;
  const std::string token = r.out.substr(0, 64);

  base::Rowset users = company.Query("SELECT LoginName, UserName, InnerID, Lang FROM SM_User",
                                     {{"LoginName", base::FieldType::kText},
                                      {"UserName", base::FieldType::kText},
                                      {"InnerID", base::FieldType::kInt},
                                      {"Lang", base::FieldType::kText}});
  ASSERT_EQ(users.RecordCount(), 1u);
  EXPECT_EQ(users.Row(0), (std::vector<base::Value>{"amy", "Amy Lee", int32_t{42}, "T"}));

  base::Rowset stored = company.Query("SELECT TokenHash, LoginName, Created FROM SM_UserToken",
                                      {{"TokenHash", base::FieldType::kText},
                                       {"LoginName", base::FieldType::kText},
                                       {"Created", base::FieldType::kDate}});
  ASSERT_EQ(stored.RecordCount(), 1u);
  EXPECT_EQ(stored.Row(0)[0].TextOrEmpty(), tokens::TokenHash(token));
  EXPECT_NE(stored.Row(0)[0].TextOrEmpty(), token);
  EXPECT_EQ(stored.Row(0)[1].TextOrEmpty(), "amy");
  ASSERT_FALSE(stored.Row(0)[2].IsNull());
  const int64_t age = base::DateTime::Now().seconds() - stored.Row(0)[2].AsDate()->seconds();
  EXPECT_GE(age, 0);
  EXPECT_LE(age, 120);
}

TEST(CliDbTest, UserAddDefaultsInnerIdAndLang) {
  TestCompany company;
  Outcome r = RunCli({"user", "add", company.name(), "bob", "--name=Bob"});
  ASSERT_EQ(r.code, kExitOk) << r.err;
  base::Rowset users = company.Query(
      "SELECT InnerID, Lang FROM SM_User WHERE LoginName = :l",
      {{"InnerID", base::FieldType::kInt}, {"Lang", base::FieldType::kText}}, {{"l", "bob"}});
  ASSERT_EQ(users.RecordCount(), 1u);
  EXPECT_EQ(users.Row(0), (std::vector<base::Value>{int32_t{0}, ""}));
}

TEST(CliDbTest, DuplicateUserAddChangesNothing) {
  TestCompany company;
  ASSERT_EQ(RunCli({"user", "add", company.name(), "amy", "--name", "Amy"}).code, kExitOk);
  Outcome r = RunCli({"user", "add", company.name(), "amy", "--name", "Other", "--inner-id", "9"});
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("user 'amy' already exists"), std::string::npos) << r.err;
  EXPECT_EQ(company.Count("SM_User"), 1);
  EXPECT_EQ(company.Text("SELECT UserName || '/' || InnerID FROM SM_User"), "Amy/0");
  EXPECT_EQ(company.Count("SM_UserToken"), 1);
}

TEST(CliDbTest, UserTokenIssuesAnotherToken) {
  TestCompany company;
  Outcome added = RunCli({"user", "add", company.name(), "amy", "--name", "Amy"});
  ASSERT_EQ(added.code, kExitOk) << added.err;
  Outcome again = RunCli({"user", "token", company.name(), "amy"});
  ASSERT_EQ(again.code, kExitOk) << again.err;
  ASSERT_TRUE(std::regex_match(again.out, std::regex("[0-9a-f]{64}\n"))) << again.out;
  EXPECT_NE(again.out, added.out);
  for (const std::string& line : {added.out, again.out}) {
    EXPECT_EQ(Rows(company,
                   "SELECT COUNT(*) FROM SM_UserToken WHERE TokenHash = :h AND "
                   "LoginName = 'amy'",
                   {{"h", tokens::TokenHash(line.substr(0, 64))}}),
              1);
  }
  EXPECT_EQ(company.Count("SM_UserToken"), 2);
}

TEST(CliDbTest, UserTokenForUnknownLoginExitsOne) {
  TestCompany company;
  Outcome r = RunCli({"user", "token", company.name(), "ghost"});
  EXPECT_EQ(r.code, kExitFailure);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("there is no user 'ghost'"), std::string::npos) << r.err;
  EXPECT_EQ(company.Count("SM_UserToken"), 0);
}

TEST(CliDbTest, GrantTwiceThenRevoke) {
  TestCompany company;
  company.AddUser("amy", "Amy");
  const std::string db = company.name();
  const std::string rights =
      "SELECT RightCode FROM SM_UserRight WHERE LoginName = 'amy' "
      "ORDER BY RightCode";
  auto codes = [&] {
    std::vector<std::string> out;
    const base::Rowset rs = company.Query(rights, {{"c", base::FieldType::kText}});
    for (const auto& row : rs.rows()) {
      out.push_back(row[0].TextOrEmpty());
    }
    return out;
  };

  Outcome first = RunCli({"user", "grant", db, "amy", "MF01", "MF02"});
  EXPECT_EQ(first.code, kExitOk) << first.err;
  EXPECT_EQ(first.out, "granted MF01 to amy\ngranted MF02 to amy\n");
  Outcome second = RunCli({"user", "grant", db, "amy", "MF01", "MF03", "MF03"});
  EXPECT_EQ(second.code, kExitOk) << second.err;
  EXPECT_EQ(second.out,
            "MF01 was already granted to amy\ngranted MF03 to amy\n"
            "MF03 was already granted to amy\n");
  EXPECT_EQ(codes(), (std::vector<std::string>{"MF01", "MF02", "MF03"}));

  Outcome revoked = RunCli({"user", "revoke", db, "amy", "MF01", "MF09"});
  EXPECT_EQ(revoked.code, kExitOk) << revoked.err;
  EXPECT_EQ(revoked.out, "revoked MF01 from amy\nMF09 was not granted to amy\n");
  EXPECT_EQ(codes(), (std::vector<std::string>{"MF02", "MF03"}));

  for (const char* verb : {"grant", "revoke"}) {
    SCOPED_TRACE(verb);
    Outcome ghost = RunCli({"user", verb, db, "ghost", "MF02"});
    EXPECT_EQ(ghost.code, kExitFailure);
    EXPECT_EQ(ghost.out, "");
    EXPECT_NE(ghost.err.find("there is no user 'ghost'"), std::string::npos) << ghost.err;
  }
  EXPECT_EQ(company.Count("SM_UserRight"), 2);
}

TEST(CliDbTest, ConfigSetTwiceKeepsOneRowWithTheLastValue) {
  TestCompany company;
  const std::string db = company.name();
  Outcome first = RunCli({"config", "set", db, "IDMode", "1"});
  EXPECT_EQ(first.code, kExitOk) << first.err;
  EXPECT_EQ(first.out, "config IDMode set to '1' (was not set)\n");
  Outcome second = RunCli({"config", "set", db, "IDMode", "--", "-2"});
  EXPECT_EQ(second.code, kExitOk) << second.err;
  EXPECT_EQ(second.out, "config IDMode set to '-2' (was '1')\n");
  EXPECT_EQ(company.Count("SM_Config"), 1);
  EXPECT_EQ(company.Text("SELECT Value FROM SM_Config WHERE ID = 'IDMode'"), "-2");
}

TEST(CliDbTest, PeriodSetValidatesAndClearRemoves) {
  TestCompany company;
  const std::string db = company.name();
  const struct {
    const char* period;
    const char* message;
  } bad[] = {
      {"202613", "period '202613' has month 13; months are 01 to 12"},
      {"202600", "period '202600' has month 00; months are 01 to 12"},
      {"20261", "period '20261' is not YYYYMM (six digits)"},
      {"2026121", "period '2026121' is not YYYYMM (six digits)"},
      {"abcdef", "period 'abcdef' is not YYYYMM (six digits)"},
      {"2026 1", "period '2026 1' is not YYYYMM (six digits)"},
      {"", "YYYYMM must not be empty"},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(c.period);
    Outcome r = RunCli({"period", "set", db, "MF", c.period});
    EXPECT_EQ(r.code, kExitUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(std::string("plexavo period set: ") + c.message + "\n", 0), 0u) << r.err;
  }
  EXPECT_EQ(company.Count("SM_Period"), 0);

  Outcome set = RunCli({"period", "set", db, "MF", "202612"});
  EXPECT_EQ(set.code, kExitOk) << set.err;
  EXPECT_EQ(set.out, "period of module MF set to 202612 (was not set)\n");
  Outcome moved = RunCli({"period", "set", db, "MF", "202701"});
  EXPECT_EQ(moved.out, "period of module MF set to 202701 (was '202612')\n");
  EXPECT_EQ(company.Count("SM_Period"), 1);
  EXPECT_EQ(company.Text("SELECT Period FROM SM_Period WHERE Module = 'MF'"), "202701");

  Outcome cleared = RunCli({"period", "clear", db, "MF"});
  EXPECT_EQ(cleared.code, kExitOk) << cleared.err;
  EXPECT_EQ(cleared.out, "period of module MF cleared (was 202701)\n");
  EXPECT_EQ(company.Count("SM_Period"), 0);
  Outcome again = RunCli({"period", "clear", db, "MF"});
  EXPECT_EQ(again.code, kExitOk) << again.err;
  EXPECT_EQ(again.out, "module MF had no period; nothing changed\n");
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
