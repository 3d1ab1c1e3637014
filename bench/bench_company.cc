#include "bench/bench_company.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "boundary/classes.h"
#include "data/admin.h"
#include "data/connection.h"
#include "schema/initdb.h"
#include "writer/bill_lines.h"

namespace bench {
namespace {

std::string Env(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? v : fallback;
}

[[noreturn]] void Die(const std::string& what, const base::Err& err) {
  std::fprintf(stderr, "bench: %s: %s\n", what.c_str(), err.description.c_str());
  std::exit(1);
}

}  // namespace

BenchCompany::BenchCompany(const std::string& tag) {
  setenv("PLEXAVO_NO_SYSLOG", "1", 1);
  char tmpl[] = "/tmp/plexavo-bench-XXXXXX";
  dir_ = mkdtemp(tmpl);
  target_.database = "bench_" + tag + "_" + std::to_string(getpid());
  std::string server;
  if (Env("PLEXAVO_TEST_BACKEND", "sqlite") == "postgresql") {
    target_.backend = data::Backend::kPostgres;
    target_.host = Env("PLEXAVO_TEST_PG_HOST", "127.0.0.1");
    target_.port = Env("PLEXAVO_TEST_PG_PORT", "5432");
    target_.user = Env("PLEXAVO_TEST_PG_USER", "postgres");
    server = "postgresql://" + target_.host + ":" + target_.port;
  } else {
    target_.path = dir_ + "/" + target_.database + ".db";
    server = "sqlite:" + target_.path;
  }
  const std::string settings = dir_ + "/settings.ini";
  std::ofstream(settings) << "[SoftWare\\Halvaren\\Kelmora\\" << target_.database
                          << "]\nServer=" << server << "\nUserID=" << target_.user << "\nPWD=\n";
  setenv("PLEXAVO_SETTINGS", settings.c_str(), 1);
  auto report = schema::InitDb(target_);
  if (!report.ok()) Die("initdb", report.err());
  boundary::RegisterAll(classes_);
}

BenchCompany::~BenchCompany() {
  (void)data::DropDatabase(target_);
  std::filesystem::remove_all(dir_);
}

void BenchCompany::Exec(const std::string& sql,
                        std::initializer_list<std::pair<const char*, base::Value>> binds) const {
  data::Enlistment tx;
  data::Connection cnn;
  base::Status opened = cnn.Open(target_, &tx);
  if (!opened.ok()) Die("open", opened.err());
  data::Sql statement(sql);
  for (const auto& [name, value] : binds) statement.Bind(name, value);
  auto done = cnn.Execute(statement);
  if (!done.ok()) Die(sql, done.err());
  cnn.Close();
  base::Status committed = tx.Commit();
  if (!committed.ok()) Die("commit", committed.err());
}

void SeedBillsOfOneDay(const BenchCompany& company, int count) {
  for (int first = 1; first <= count; first += 500) {
    std::string sql = "INSERT INTO MF_OutBill (BillID) VALUES ";
    for (int k = first; k < first + 500 && k <= count; ++k) {
      char id[32];
      std::snprintf(id, sizeof id, "20261206%04d", k);
      sql += std::string(k == first ? "" : ",") + "('" + id + "')";
    }
    company.Exec(sql);
  }
}

void SeedWriterCompany(const BenchCompany& c, bool daily) {
  c.Exec("INSERT INTO SM_User (LoginName, UserName) VALUES ('amy', 'Amy')");
  for (const char* code : {"MF0301", "MF0302", "MF0303", "MF0304"}) {
    c.Exec("INSERT INTO SM_UserRight (LoginName, RightCode) VALUES ('amy', :c)", {{"c", code}});
  }
  c.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', '202612')");
  c.Exec("INSERT INTO SM_Config (ID, Value) VALUES ('MachineTime', '0'), ('IDMode', :mode)",
         {{"mode", daily ? "0" : "1"}});
  c.Exec("INSERT INTO MF_Order (BillID, ShopID) VALUES ('MO1', 'W1')");
  c.Exec("INSERT INTO MF_OrdDetail (BillID, SortID) VALUES ('MO1', '1')");
  for (int art = 1; art <= 10; ++art) {
    c.Exec("INSERT INTO FD_Article (ID, ArtCode, Name) VALUES (:a, :c, 'Part')",
           {{"a", art}, {"c", "A" + std::to_string(art)}});
    c.Exec("INSERT INTO FD_ArtMeas (ID, MeasID, Num, Den) VALUES (:a, 'pcs', :one, :one)",
           {{"a", art}, {"one", base::Currency::FromInt(1)}});
    c.Exec("INSERT INTO ST_ShelfBal (ShelfID, ArtID, SerialNo, Qty) VALUES ('S1', :a, '', :q)",
           {{"a", art}, {"q", base::Currency::FromInt(100000000)}});
    c.Exec("INSERT INTO MF_OrdBom (BillID, SortID, ArtID, Qty) VALUES ('MO1', '1', :a, 0)",
           {{"a", art}});
  }
}

base::Rowset BillLines(int lines) {
  base::Rowset rs(writer::LineSetFields());
  for (int i = 1; i <= lines; ++i) {
    (void)rs.AddRow({base::Value(std::to_string(i)), base::Value(1 + i % 10), base::Value("pcs"),
                     base::Value("S1"), base::Value(""), base::Value(),
                     base::Value(base::Currency::FromInt(1)), base::Value(""), base::Value(0)});
  }
  return rs;
}

}  // namespace bench
