#include "tests/test_company.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "company/company_db.h"
#include "data/admin.h"
#include "schema/initdb.h"
#include "services/registration.h"
#include "tokens/token_store.h"

namespace testing_support {
namespace {

std::string Env(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : fallback;
}

std::atomic<int> g_counter{0};

}  // namespace

bool UsingPostgres() { return Env("PLEXAVO_TEST_BACKEND", "sqlite") == "postgresql"; }

TestCompany::TestCompany() {
  setenv("PLEXAVO_NO_SYSLOG", "1", 1);
  char tmpl[] = "/tmp/plexavo-test-XXXXXX";
  dir_ = mkdtemp(tmpl);
  name_ = "t" + std::to_string(getpid()) + "_" + std::to_string(g_counter++);
  settings_path_ = dir_ + "/settings.ini";
  target_.database = name_;
  if (UsingPostgres()) {
    target_.backend = data::Backend::kPostgres;
    target_.host = Env("PLEXAVO_TEST_PG_HOST", "127.0.0.1");
    target_.port = Env("PLEXAVO_TEST_PG_PORT", "5432");
    target_.user = Env("PLEXAVO_TEST_PG_USER", "postgres");
  } else {
    target_.backend = data::Backend::kSqlite;
    target_.path = dir_ + "/" + name_ + ".db";
  }
  WriteSettings();
  auto report = schema::InitDb(target_);
  if (!report.ok()) {
    ADD_FAILURE() << "initdb failed: " << report.err().description;
  }
  services::RegisterServices(classes_);
}

TestCompany::~TestCompany() {
  (void)data::DropDatabase(target_);
  std::filesystem::remove_all(dir_);
  unsetenv("PLEXAVO_SETTINGS");
}

std::string TestCompany::ServerValue() const {
  if (target_.backend == data::Backend::kSqlite) return "sqlite:" + target_.path;
  return "postgresql://" + target_.host + ":" + target_.port;
}

std::string TestCompany::SettingsSection() const {
  return "[SoftWare\\Halvaren\\Kelmora\\" + name_ + "]\nServer=" + ServerValue() +
         "\nUserID=" + target_.user + "\nPWD=" + target_.password + "\n";
}

void TestCompany::WriteSettings(const std::string& extra) const {
  std::ofstream out(settings_path_, std::ios::trunc);
  out << SettingsSection() << extra;
  out.close();
  setenv("PLEXAVO_SETTINGS", settings_path_.c_str(), 1);
}

void TestCompany::Exec(const std::string& sql,
                       std::initializer_list<std::pair<const char*, base::Value>> binds) const {
  data::Connection cnn;
  base::Status opened = cnn.Open(target_, nullptr);
  ASSERT_TRUE(opened.ok()) << opened.err().description;
  data::Sql statement(sql);
  for (const auto& [name, value] : binds) statement.Bind(name, value);
  auto done = cnn.Execute(statement);
  ASSERT_TRUE(done.ok()) << sql << ": " << done.err().description;
}

base::Rowset TestCompany::Query(
    const std::string& sql, const std::vector<base::Field>& fields,
    std::initializer_list<std::pair<const char*, base::Value>> binds) const {
  data::Connection cnn;
  base::Status opened = cnn.Open(target_, nullptr);
  EXPECT_TRUE(opened.ok()) << opened.err().description;
  data::Sql statement(sql);
  for (const auto& [name, value] : binds) statement.Bind(name, value);
  auto rs = cnn.Query(statement, fields);
  EXPECT_TRUE(rs.ok()) << sql << ": " << (rs.ok() ? "" : rs.err().description);
  return rs.ok() ? std::move(rs).value() : base::Rowset(fields);
}

std::string TestCompany::Rows(
    const std::string& sql, const std::string& types,
    std::initializer_list<std::pair<const char*, base::Value>> binds) const {
  std::vector<base::Field> fields;
  for (char t : types) {
    fields.push_back({"c" + std::to_string(fields.size()), t == 'i'   ? base::FieldType::kInt
                                                           : t == 'c' ? base::FieldType::kCurrency
                                                           : t == 'd' ? base::FieldType::kDate
                                                                      : base::FieldType::kText});
  }
  const base::Rowset rs = Query(sql, fields, binds);
  std::string out;
  for (const auto& row : rs.rows()) {
    if (!out.empty()) out += ";";
    for (size_t i = 0; i < row.size(); ++i) {
      out += (i == 0 ? "" : "|") + (row[i].IsNull() ? "<null>" : row[i].TextOrEmpty());
    }
  }
  return out;
}

std::string TestCompany::Text(const std::string& sql) const {
  base::Rowset rs = Query(sql, {{"v", base::FieldType::kText}});
  if (rs.RecordCount() == 0) return "<none>";
  return rs.Row(0)[0].IsNull() ? "<null>" : rs.Row(0)[0].TextOrEmpty();
}

std::string TestCompany::Dump() const {
  const std::string command =
      UsingPostgres()
          ? "PGPASSWORD='" + target_.password + "' pg_dump --data-only -h " + target_.host +
                " -p " + target_.port + " -U " + target_.user + " " + target_.database
          : "sqlite3 '" + target_.path + "' .dump";
  FILE* pipe = popen(command.c_str(), "r");
  EXPECT_NE(pipe, nullptr) << command;
  if (pipe == nullptr) return "";
  std::string dump, line;
  char buf[4096];
  while (fgets(buf, sizeof buf, pipe) != nullptr) {
    line += buf;
    if (line.empty() || line.back() != '\n') continue;
    // Key counters, and the random key pg_dump fences its output with.
    const bool varies = line.rfind("SELECT pg_catalog.setval(", 0) == 0 ||
                        line.rfind("\\restrict ", 0) == 0 || line.rfind("\\unrestrict ", 0) == 0;
    if (!varies) dump += line;
    line.clear();
  }
  dump += line;
  EXPECT_EQ(pclose(pipe), 0) << command;
  return dump;
}

int64_t TestCompany::Count(const std::string& table) const {
  base::Rowset rs = Query("SELECT COUNT(*) FROM " + table, {{"n", base::FieldType::kInt}});
  return rs.RecordCount() == 0 ? -1 : *rs.Row(0)[0].AsInt();
}

void TestCompany::AddUser(const std::string& login, const std::string& name,
                          const std::string& lang, std::vector<std::string> rights,
                          int inner_id) const {
  Exec("INSERT INTO SM_User (LoginName, UserName, InnerID, Lang) VALUES (:l, :n, :i, :g)",
       {{"l", login}, {"n", name}, {"i", inner_id}, {"g", lang}});
  for (const std::string& code : rights) {
    Exec("INSERT INTO SM_UserRight (LoginName, RightCode) VALUES (:l, :c)",
         {{"l", login}, {"c", code}});
  }
}

base::Result<data::Target> CompanyTargetOf(const std::string& db) {
  return company::CompanyTarget(db);
}

base::Result<std::string> TestCompany::IssueToken(const std::string& login,
                                                  std::optional<base::DateTime> expires) const {
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(target_, nullptr));
  return tokens::InsertToken(cnn, login, expires);
}

std::vector<UnusableDb> UnusableDbs(const TestCompany& company) {
  company.WriteSettings("[SoftWare\\Halvaren\\Kelmora\\broken]\nServer=mssql://x\nUserID=\nPWD=\n");
  const std::string head = "-2147467259-[Plexavo.Data] Data Source ";
  return {{"nodb",
           head + "is empty: the company database has no server setting-Plexavo.Data",
           {"Method: GetCnnString.RegOpenKeyEx.SoftWare\\Halvaren\\Kelmora\\nodb:<nodb>2"}},
          {"broken",
           head + "'mssql://x' is neither sqlite:PATH nor postgresql://HOST[:PORT]-Plexavo.Data",
           {}}};
}

}  // namespace testing_support
