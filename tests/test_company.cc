#include "tests/test_company.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "data/admin.h"
#include "schema/initdb.h"
#include "schema/migrations.h"
#include "schema/schema_model.h"
#include "services/registration.h"
#include "tokens/token_store.h"

namespace testing_support {
namespace {

std::string Env(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : fallback;
}

std::atomic<int> g_counter{0};

// `sql` with `binds` bound.
data::Sql Bound(const std::string& sql, Binds binds) {
  data::Sql statement(sql);
  for (const auto& [name, value] : binds) statement.Bind(name, value);
  return statement;
}

// The field type a letter of Rows' `types` names.
base::FieldType TypeOf(char t) {
  using enum base::FieldType;
  return t == 'i' ? kInt : t == 'c' ? kCurrency : t == 'd' ? kDate : kText;
}

std::string Shown(const base::Value& v) { return v.IsNull() ? "<null>" : v.TextOrEmpty(); }

}  // namespace

bool UsingPostgres() { return Env("PLEXAVO_TEST_BACKEND", "sqlite") == "postgresql"; }

TestCompany::TestCompany() {
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
  if (!report.ok()) ADD_FAILURE() << "initdb failed: " << report.err().description;
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
  std::ofstream(settings_path_, std::ios::trunc) << SettingsSection() << extra;
  setenv("PLEXAVO_SETTINGS", settings_path_.c_str(), 1);
}

void TestCompany::Exec(const std::string& sql, Binds binds) const {
  data::Connection cnn;
  base::Status opened = cnn.Open(target_, nullptr);
  ASSERT_TRUE(opened.ok()) << opened.err().description;
  auto done = cnn.Execute(Bound(sql, binds));
  ASSERT_TRUE(done.ok()) << sql << ": " << done.err().description;
}

base::Rowset TestCompany::Query(const std::string& sql, const std::vector<base::Field>& fields,
                                Binds binds) const {
  data::Connection cnn;
  base::Status opened = cnn.Open(target_, nullptr);
  EXPECT_TRUE(opened.ok()) << opened.err().description;
  auto rs = cnn.Query(Bound(sql, binds), fields);
  EXPECT_TRUE(rs.ok()) << sql << ": " << (rs.ok() ? "" : rs.err().description);
  return rs.ok() ? std::move(rs).value() : base::Rowset(fields);
}

std::string TestCompany::Rows(const std::string& sql, const std::string& types, Binds binds) const {
  std::vector<base::Field> fields;
  for (char t : types) fields.push_back({"c" + std::to_string(fields.size()), TypeOf(t)});
  const base::Rowset rs = Query(sql, fields, binds);
  std::string out;
  for (const auto& row : rs.rows()) {
    for (size_t i = 0; i < row.size(); ++i) {
      out += (i > 0 ? "|" : out.empty() ? "" : ";") + Shown(row[i]);
    }
  }
  return out;
}

std::string TestCompany::Text(const std::string& sql) const {
  base::Rowset rs = Query(sql, {{"v", base::FieldType::kText}});
  return rs.RecordCount() == 0 ? "<none>" : Shown(rs.Row(0)[0]);
}

std::string TestCompany::Dump() const {
  static const schema::SchemaModel model = schema::ReadSchemaModel(schema::Migrations()).value();
  std::string out;
  for (const schema::TableModel& table : model.tables) {
    std::string columns;
    for (const auto& column : table.columns) columns += (columns.empty() ? "" : ", ") + column.name;
    out += table.name + ": " +
           Rows("SELECT " + columns + " FROM " + table.name + " ORDER BY " + columns,
                std::string(table.columns.size(), 't')) +
           "\n";
  }
  return out;
}

int64_t TestCompany::Count(const std::string& table) const {
  const std::string n = Rows("SELECT COUNT(*) FROM " + table, "i");
  return n.empty() ? -1 : std::stoll(n);
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
