#include "cli/demo_company.h"

#include <sstream>
#include <string>
#include <vector>

#include "cli/company_admin.h"
#include "cli/demo_files.h"
#include "data/connection.h"
#include "masterdata/import.h"
#include "tokens/token_store.h"

namespace cli {
namespace {

using base::Value;

// Runs each statement with its values; stops at the first failure.
class Seeder {
 public:
  explicit Seeder(data::Connection& cnn) : cnn_(cnn) {}

  Seeder& Row(const char* sql, std::vector<std::pair<const char*, Value>> binds) {
    if (!status_.ok()) return *this;
    data::Sql statement(sql);
    for (auto& [name, value] : binds) statement.Bind(name, std::move(value));
    auto done = cnn_.Execute(statement);
    if (!done.ok()) status_ = done.err();
    return *this;
  }
  const base::Status& status() const { return status_; }

 private:
  data::Connection& cnn_;
  base::Status status_;
};

// Loads the master data files through the import, kind by kind in the
// order that puts referenced rows first.
base::Status ImportDemoFiles(const data::Target& target) {
  for (const masterdata::Kind& kind : masterdata::Kinds()) {
    for (const DemoFile& file : DemoFiles()) {
      if (file.kind != std::string(kind.name)) continue;
      std::istringstream in(file.csv);
      PLX_ASSIGN_OR_RETURN(int64_t rows, masterdata::Import(target, kind, in));
      (void)rows;
    }
  }
  return base::OkStatus();
}

// The orders and their bill of materials are dated to the demo's period.
base::Status DateOrders(const data::Target& target, const std::string& period) {
  const std::string day = period.substr(0, 4) + "-" + period.substr(4, 2) + "-01";
  data::Enlistment tx;
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(target, &tx));
  Seeder s(cnn);
  s.Row("UPDATE MF_Order SET Date = :d", {{"d", day}});
  s.Row("UPDATE MF_OrdBom SET UseDate = :d", {{"d", day}});
  PLX_RETURN_IF_ERROR(s.status());
  cnn.Close();
  return tx.Commit();
}

}  // namespace

base::Result<DemoUsers> SeedDemoCompany(const data::Target& target, const std::string& period) {
  PLX_RETURN_IF_ERROR(CheckPeriod(period));
  data::Enlistment tx;
  data::Connection cnn;
  PLX_RETURN_IF_ERROR(cnn.Open(target, &tx));
  Seeder s(cnn);
  s.Row(
      "INSERT INTO SM_Config (ID, Value) VALUES ('MachineTime', '0'), ('IDMode', '0'), "
      "('AutoExe', '0')",
      {});
  s.Row("INSERT INTO SM_Period (Module, Period) VALUES ('MF', :p)", {{"p", period}});
  struct User {
    const char* login;
    const char* name;
    int inner_id;
    std::vector<const char*> rights;
  };
  const User users[] = {
      {"admin", "系统管理员", 1, {"MF0301", "MF0302", "MF0303", "MF0304", "SP0602", "SP0606"}},
      {"wang", "王芳", 2, {"MF0301", "MF0302"}},
      {"li", "李强", 3, {"MF0301", "MF0303", "MF0304"}},
  };
  for (const User& u : users) {
    s.Row("INSERT INTO SM_User (LoginName, UserName, InnerID, Lang) VALUES (:l, :n, :i, '')",
          {{"l", u.login}, {"n", u.name}, {"i", u.inner_id}});
    for (const char* code : u.rights) {
      s.Row("INSERT INTO SM_UserRight (LoginName, RightCode) VALUES (:l, :c)",
            {{"l", u.login}, {"c", code}});
    }
  }
  PLX_RETURN_IF_ERROR(s.status());
  DemoUsers issued;
  PLX_ASSIGN_OR_RETURN(issued.admin_token, tokens::InsertToken(cnn, "admin"));
  PLX_ASSIGN_OR_RETURN(issued.clerk_token, tokens::InsertToken(cnn, "wang"));
  PLX_ASSIGN_OR_RETURN(issued.keeper_token, tokens::InsertToken(cnn, "li"));
  cnn.Close();
  PLX_RETURN_IF_ERROR(tx.Commit());
  // Master data, stock and orders, and the users' rights per depot, from
  // the files: after the users, whom the depot rights name.
  PLX_RETURN_IF_ERROR(ImportDemoFiles(target));
  PLX_RETURN_IF_ERROR(DateOrders(target, period));
  return issued;
}

}  // namespace cli
