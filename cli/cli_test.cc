#include "cli/cli.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/sign_in_link.h"
#include "data/admin.h"
#include "masterdata/kinds.h"
#include "schema/data_model_doc.h"
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

// What a run said as "CODE OUT|ERR", for comparing with `expected` of that
// form whose ERR is a text the error output holds ("" for none).
std::string Said(const Outcome& r, const std::string& expected) {
  const std::string held = expected.substr(expected.rfind('|') + 1);
  const bool holds = held.empty() ? r.err.empty() : r.err.find(held) != std::string::npos;
  return std::to_string(r.code) + " " + r.out + "|" + (holds ? held : r.err);
}

// ---- Arguments and help ---------------------------------------------------

// Each row: the arguments and how they parse (the positionals and the
// --name option), or the refusal's text.
TEST(CliArgsTest, SplitsPositionalsAndOptionsOrSaysWhatIsWrong) {
  const ArgSpec accepted{.positionals = {"DB", "LOGIN"}, .options = {"--name", "--lang"}};
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"db", "amy"}, "[db][amy] <none>"},
      {{"db", "amy", "--name", "Amy A"}, "[db][amy] Amy A"},
      {{"--name", "Amy", "db", "amy"}, "[db][amy] Amy"},
      {{"db", "--name=Amy=B", "amy"}, "[db][amy] Amy=B"},
      {{"db", "amy", "--name", "--lang"}, "[db][amy] --lang"},
      {{"db", "--", "-amy"}, "[db][-amy] <none>"},
      {{"db", "-"}, "[db][-] <none>"},
      {{}, "missing DB"},
      {{"db"}, "missing LOGIN"},
      {{"db", "amy", "x"}, "unexpected argument 'x'"},
      {{"db", "amy", "--name"}, "option '--name' needs a value"},
      {{"db", "amy", "--nme", "x"}, "unknown option '--nme'"},
      {{"db", "amy", "-n", "x"}, "unknown option '-n'"},
      {{"db", "amy", "--name", "a", "--name=b"}, "option '--name' given twice"},
  };
  for (const auto& [args, expected] : cases) {
    auto parsed = ParseArgs(args, accepted);
    EXPECT_EQ(parsed.ok()
                  ? Joined(parsed->positionals) + " " + parsed->Option("--name").value_or("<none>")
                  : parsed.err().description,
              expected)
        << Joined(args);
  }
}

TEST(CliArgsTest, ParsesInt32Exactly) {
  // "text=value", the value "-" for a refusal.
  for (const std::string c :
       {"0=0", "7=7", "-12=-12", "2147483647=2147483647", "2147483648=-", "-2147483648=-2147483648",
        "-2147483649=-", "=-", "7x=-", " 7=-", "+7=-", "1.5=-"}) {
    const std::string text = c.substr(0, c.rfind('='));
    auto v = ParseInt32(text);
    EXPECT_EQ(text + "=" + (v.ok() ? std::to_string(*v) : "-"), c);
  }
}

// Help goes to the output with exit 0; a usage error exits 2 with a
// message that begins as given and points to --help. Each row: the
// arguments, the exit code, how the text begins, what it holds and lacks.
TEST(CliHelpTest, HelpAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string begins;
    std::vector<const char*> has = {}, lacks = {};
  };
  // Periods are refused before any database is opened.
  const std::string bad_form = "is not YYYYMM (six digits)";
  auto period = [](const std::string& yyyymm, const std::string& refusal) {
    return Case{{"period", "set", "db", "MF", yyyymm},
                kExitUsage,
                "plexavo period set: period '" + yyyymm + "' " + refusal + "\n"};
  };
  const Case cases[] = {
      {{"--help"}, 0, "usage: plexavo COMMAND", {"\n  user add ", "\n  serve"}},
      {{"-h"}, 0, "usage: plexavo COMMAND", {"\n  initdb DB\n"}},
      {{"help"}, 0, "usage: plexavo COMMAND", {"\n  config set "}},
      {{"user", "--help"}, 0, "", {"user add", "user revoke"}, {"config set", "initdb"}},
      {{"user", "add", "--help"}, 0, "usage: plexavo user add DB LOGIN", {}, {"config set"}},
      {{}, 2, "plexavo: no command given"},
      {{"frobnicate"}, 2, "plexavo: unknown command 'frobnicate'"},
      {{"--frobnicate"}, 2, "plexavo: unknown option '--frobnicate'"},
      {{"help", "frobnicate"}, 2, "plexavo: no help for unknown command 'frobnicate'"},
      {{"user"}, 2, "plexavo: 'user' needs a subcommand"},
      {{"user", "frob", "db"}, 2, "plexavo: unknown command 'user frob'"},
      {{"initdb"}, 2, "plexavo initdb: missing DB"},
      {{"initdb", "bad;name"}, 2, "plexavo initdb: company database name 'bad;name' must be"},
      {{"user", "add", "db", "amy"}, 2, "plexavo user add: --name NAME is required"},
      {{"user", "add", "db", "amy", "--name", ""}, 2, "plexavo user add: --name NAME is required"},
      {{"user", "add", "db", "", "--name", "A"}, 2, "plexavo user add: LOGIN must not be empty"},
      {{"user", "add", "db", "amy", "--name", "A", "--inner-id", "x"},
       2,
       "plexavo user add: --inner-id: 'x' is not a 32-bit integer"},
      {{"user", "token", "db"}, 2, "plexavo user token: missing LOGIN"},
      {{"user", "grant", "db", "amy"}, 2, "plexavo user grant: missing CODE"},
      {{"user", "revoke", "db", "amy", "A", ""}, 2, "plexavo user revoke: CODE must not be empty"},
      {{"config", "set", "db", "k"}, 2, "plexavo config set: missing VALUE"},
      {{"config", "set", "db", "", "v"}, 2, "plexavo config set: KEY must not be empty"},
      {{"period", "clear", "db"}, 2, "plexavo period clear: missing MODULE"},
      {{"selfcheck", "extra"}, 2, "plexavo selfcheck: unexpected argument 'extra'"},
      period("202613", "has month 13; months are 01 to 12"),
      period("202600", "has month 00; months are 01 to 12"),
      period("20261", bad_form),
      period("2026121", bad_form),
      period("abcdef", bad_form),
      period("2026 1", bad_form),
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    Outcome r = RunCli(c.args);
    const std::string& text = c.code == kExitOk ? r.out : r.err;
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(c.code == kExitOk ? r.err : r.out, "");
    EXPECT_TRUE(text.starts_with(c.begins)) << text;
    EXPECT_TRUE(c.code != kExitUsage || text.find("--help") != std::string::npos) << text;
    for (const char* t : c.has) EXPECT_NE(text.find(t), std::string::npos) << t;
    for (const char* t : c.lacks) EXPECT_EQ(text.find(t), std::string::npos) << t;
  }
  // "help COMMAND" prints what "COMMAND --help" does.
  EXPECT_EQ(RunCli({"help", "period", "set"}).out, RunCli({"period", "set", "--help"}).out);
}

// ---- Commands on a company database ---------------------------------------

// The administration and master data commands in turn on one company
// database: what each prints and exits with, then what they left in it.
TEST(CliDbTest, CommandsChangeTheDatabaseAndSayWhatTheyDid) {
  TestCompany company;  // already initialised by the fixture
  const std::string db = company.name();
  const std::string ghost = "|there is no user 'ghost'";
  const std::string no_db = "1 |company database 'nosuchdb' has no settings";
  const std::string dir = company.dir();
  std::ofstream(dir + "/depots.csv") << "ID,Name\nWH-9,\"Yard, east\"\n";
  std::ofstream(dir + "/shelves.csv") << "ID,DepotID\nS1,nowhere\n";
  // The arguments, then the exit code, the output (<token>: one new token)
  // and after '|' a text the error output holds ("" for none; no progress
  // line off a terminal).
  const std::pair<std::vector<std::string>, std::string> steps[] = {
      {{"user", "add", db, "amy", "--name", "Amy Lee", "--lang", "T", "--inner-id", "42"},
       "0 <token>|added user amy to company database " + db + "; its sign-in token"},
      {{"user", "add", db, "bob", "--name=Bob"}, "0 <token>|added user bob"},
      {{"user", "add", db, "amy", "--name", "Other", "--inner-id", "9"},
       "1 |user 'amy' already exists"},
      {{"user", "token", db, "amy"},
       "0 <token>|issued a sign-in token for user amy in company database " + db},
      {{"user", "token", db, "ghost"}, "1 " + ghost},
      {{"user", "grant", db, "amy", "MF01", "MF02"},
       "0 granted MF01 to amy\ngranted MF02 to amy\n|"},
      {{"user", "grant", db, "amy", "MF01", "MF03", "MF03"},
       "0 MF01 was already granted to amy\ngranted MF03 to amy\nMF03 was already granted to "
       "amy\n|"},
      {{"user", "revoke", db, "amy", "MF01", "MF09"},
       "0 revoked MF01 from amy\nMF09 was not granted to amy\n|"},
      {{"user", "grant", db, "ghost", "MF02"}, "1 " + ghost},
      {{"user", "revoke", db, "ghost", "MF02"}, "1 " + ghost},
      {{"config", "set", db, "IDMode", "1"}, "0 config IDMode set to '1' (was not set)\n|"},
      {{"config", "set", db, "IDMode", "--", "-2"}, "0 config IDMode set to '-2' (was '1')\n|"},
      {{"period", "set", db, "MF", "202612"},
       "0 period of module MF set to 202612 (was not set)\n|"},
      {{"period", "set", db, "MF", "202701"},
       "0 period of module MF set to 202701 (was '202612')\n|"},
      {{"period", "clear", db, "MF"}, "0 period of module MF cleared (was 202701)\n|"},
      {{"period", "clear", db, "MF"}, "0 module MF had no period; nothing changed\n|"},
      {{"initdb", "nosuchdb"}, no_db},
      {{"user", "add", "nosuchdb", "amy", "--name", "Amy"}, no_db},
      {{"config", "set", "nosuchdb", "k", "v"}, no_db},
      {{"period", "clear", "nosuchdb", "MF"}, no_db},
      {{"import", db, "depots", dir + "/depots.csv"},
       "0 imported 1 depots rows into company database " + db + "\n|"},
      {{"export", db, "depots"}, "0 ID,Name\r\nWH-9,\"Yard, east\"\r\n|"},
      {{"import", db, "shelves", dir + "/shelves.csv"},
       "1 |plexavo import: 1 problem in the shelves file; nothing was written:\n"
       "line 2, column DepotID: no depot 'nowhere'\n"},
      {{"import", db, "shelves", dir + "/none.csv"}, "1 |cannot open"},
      {{"export", db, "widgets"}, "2 |unknown kind 'widgets'; kinds: " + masterdata::KindNames()},
      {{"schema", "doc"}, "0 " + schema::RenderDataModel().value() + "|"},
  };
  std::vector<std::string> issued;
  const base::DateTime started = base::DateTime::Now();
  for (const auto& [args, said] : steps) {
    Outcome r = RunCli(args);
    if (std::regex_match(r.out, std::regex("[0-9a-f]{64}\n"))) {
      issued.push_back(r.out.substr(0, 64));
      r.out = "<token>";
    }
    EXPECT_EQ(Said(r, said), said) << Joined(args);
  }
  // Users as added (the refused second amy changed nothing), with defaults.
  EXPECT_EQ(
      company.Rows("SELECT LoginName, UserName, InnerID, Lang FROM SM_User ORDER BY LoginName",
                   "ttit"),
      "amy|Amy Lee|42|T;bob|Bob|0|");
  // Only the digest of each token is stored (in the order issued), under
  // its user, dated now.
  ASSERT_EQ(issued.size(), 3u);
  EXPECT_EQ(
      company.Rows("SELECT CASE TokenHash WHEN :t0 THEN 0 WHEN :t1 THEN 1 WHEN :t2 THEN 2 END, "
                   "LoginName, CASE WHEN Created BETWEEN :a AND :b THEN 'now' END FROM "
                   "SM_UserToken ORDER BY 1",
                   "itt",
                   {{"t0", tokens::TokenHash(issued[0])},
                    {"t1", tokens::TokenHash(issued[1])},
                    {"t2", tokens::TokenHash(issued[2])},
                    {"a", started},
                    {"b", base::DateTime::Now()}}),
      "0|amy|now;1|bob|now;2|amy|now");
  // amy holds MF02 and MF03, IDMode is the one setting, no period is set.
  EXPECT_EQ(company.Rows("SELECT LoginName, RightCode FROM SM_UserRight ORDER BY RightCode", "tt"),
            "amy|MF02;amy|MF03");
  EXPECT_EQ(company.Rows("SELECT ID, Value FROM SM_Config", "tt"), "IDMode|-2");
  EXPECT_EQ(company.Count("SM_Period"), 0);
}

// A fresh database on the suite's backend. The versions initdb reports, on
// a fresh database and run again, are checked by the selfcheck
// (CliSelfcheckTest).
TEST(CliDbTest, InitDbCreatesAFreshDatabase) {
  TestCompany company;
  data::Target fresh = company.target();
  fresh.database = company.name() + "_new";
  if (fresh.backend == data::Backend::kSqlite) fresh.path = company.dir() + "/new.db";
  std::string server =
      fresh.backend == data::Backend::kSqlite ? "sqlite:" + fresh.path : company.ServerValue();
  company.WriteSettings("[SoftWare\\Halvaren\\Kelmora\\" + fresh.database + "]\nServer=" + server +
                        "\nUserID=" + fresh.user + "\nPWD=\n");
  Outcome first = RunCli({"initdb", fresh.database});
  (void)data::DropDatabase(fresh);
  EXPECT_EQ(first.code, kExitOk) << first.err;
  EXPECT_EQ(first.out.rfind("applying schema version 1: ", 0), 0u) << first.out;
}

TEST(CliSelfcheckTest, PassesCleansUpAndRestoresTheSettingsPath) {
  char tmpl[] = "/tmp/plexavo-clitest-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string tmp = tmpl;
  const char* old_tmpdir = getenv("TMPDIR");
  const std::string saved_tmpdir = old_tmpdir != nullptr ? old_tmpdir : "";
  setenv("TMPDIR", tmp.c_str(), 1);
  setenv("PLEXAVO_SETTINGS", "/nonexistent/settings.ini", 1);
  Outcome r = RunCli({"selfcheck"});
  const bool left_empty = std::filesystem::is_empty(tmp);
  std::filesystem::remove_all(tmp);
  saved_tmpdir.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", saved_tmpdir.c_str(), 1);
  const char* settings = getenv("PLEXAVO_SETTINGS");
  EXPECT_STREQ(settings, "/nonexistent/settings.ini");
  unsetenv("PLEXAVO_SETTINGS");
  EXPECT_EQ(r.code, kExitOk) << r.err;
  EXPECT_TRUE(r.out.ends_with("selfcheck ok\n")) << r.out;
  EXPECT_NE(r.out.find("ok: plexavo user add selfcheck"), std::string::npos) << r.out;
  EXPECT_TRUE(left_empty) << "selfcheck left files in " << tmp;
}

TEST(SignInLinkTest, PutsDatabaseAndTokenInTheFragment) {
  const struct {
    std::string url, db, token, link;
  } cases[] = {
      {"http://127.0.0.1:8080", "demo", "ab12", "http://127.0.0.1:8080/#signin?db=demo&token=ab12"},
      {"https://erp.example:8443//", "acme_pg", "ff",
       "https://erp.example:8443/#signin?db=acme_pg&token=ff"},
      {"http://h", "a&b=c d", "t#1", "http://h/#signin?db=a%26b%3Dc%20d&token=t%231"},
  };
  for (const auto& c : cases) EXPECT_EQ(SignInLink(c.url, c.db, c.token), c.link) << c.db;
}

}  // namespace
}  // namespace cli
