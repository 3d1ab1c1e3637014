#include "bench/bench_company.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "boundary/classes.h"
#include "company/cnn_string.h"
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

constexpr int kOrders = 100;
constexpr int kShops = 5;
constexpr int kArticles = 50;
constexpr int kShelves = 5;

void Check(const base::Status& s, const std::string& what) {
  if (!s.ok()) {
    std::fprintf(stderr, "bench: %s: %s\n", what.c_str(), s.err().description.c_str());
    std::exit(1);
  }
}

template <typename T>
void Check(const base::Result<T>& r, const std::string& what) {
  if (!r.ok()) {
    std::fprintf(stderr, "bench: %s: %s\n", what.c_str(), r.err().description.c_str());
    std::exit(1);
  }
}

std::string Num(int n, int width) {
  std::string s = std::to_string(n);
  return std::string(width > static_cast<int>(s.size()) ? width - s.size() : 0, '0') + s;
}

// Inserts rows of `columns` in chunks of one multi-row statement each, every
// value bound.
class BulkInsert {
 public:
  BulkInsert(data::Connection& cnn, std::string table, std::vector<std::string> columns)
      : cnn_(cnn), table_(std::move(table)), columns_(std::move(columns)) {}
  ~BulkInsert() { Flush(); }

  void Add(std::vector<base::Value> row) {
    rows_.push_back(std::move(row));
    if (rows_.size() == kChunk) Flush();
  }

  void Flush() {
    if (rows_.empty()) return;
    std::string text = "INSERT INTO " + table_ + " (";
    for (size_t c = 0; c < columns_.size(); ++c) text += (c ? ", " : "") + columns_[c];
    text += ") VALUES ";
    data::Sql sql("");
    for (size_t r = 0; r < rows_.size(); ++r) {
      text += r ? ", (" : "(";
      for (size_t c = 0; c < columns_.size(); ++c) {
        const std::string name = "v" + std::to_string(r) + "_" + std::to_string(c);
        text += (c ? ", :" : ":") + name;
        sql.Bind(name, rows_[r][c]);
      }
      text += ")";
    }
    sql.text = text;
    Check(cnn_.Execute(sql), "insert into " + table_);
    rows_.clear();
  }

 private:
  static constexpr size_t kChunk = 200;
  data::Connection& cnn_;
  std::string table_;
  std::vector<std::string> columns_;
  std::vector<std::vector<base::Value>> rows_;
};

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

base::DateTime DayOf2026(int n) {
  static const double kStart = base::DateTime::FromParts(2026, 1, 1).value().ToOleDate();
  return base::DateTime::FromOleDate(kStart + n).value();
}

std::string ReaderBillId(int i) { return "2026" + Num(i, 8); }

// Fills the company: users, look-up tables, articles, shelves with
// balances, orders, and the bills with their lines.
void SeedReaderCompany(const BenchCompany& company, const ReaderSeed& seed) {
  data::Connection cnn;
  auto cnn_string = company::GetCnnString(company.name());
  Check(cnn_string, "connection string");
  Check(cnn.Open(*cnn_string, nullptr), "open");
  const bool postgres = company.postgres();
  const std::string memo_tail(seed.memo_bytes, 'm');
  Check(cnn.Execute(data::Sql(cnn.dialect().BeginTransaction())), "begin");
  {
    BulkInsert users(cnn, "SM_User", {"LoginName", "UserName"});
    users.Add({"amy", "Amy"});
    users.Add({"ned", "Ned"});
    BulkInsert rights(cnn, "SM_UserRight", {"LoginName", "RightCode"});
    for (const char* code : {"MF0301", "MF0302", "MF0303", "MF0304"}) rights.Add({"amy", code});
    BulkInsert cates(cnn, "FD_OpCate", {"ID", "Name"});
    BulkInsert projects(cnn, "FD_Project", {"ID", "Name"});
    BulkInsert items(cnn, "FD_Item", {"ID", "Name"});
    for (int i = 1; i <= 10; ++i) {
      cates.Add({"OC" + Num(i, 2), "Category " + std::to_string(i)});
      projects.Add({"P" + Num(i, 2), "Project " + std::to_string(i)});
      items.Add({"I" + Num(i, 2), "Item " + std::to_string(i)});
    }
    BulkInsert articles(cnn, "FD_Article", {"ID", "ArtCode", "Name"});
    BulkInsert stores(cnn, "FD_ArtStore", {"ID", "KeepDay"});
    for (int32_t a = 1; a <= kArticles; ++a) {
      articles.Add({a, "A-" + Num(a, 3), "Article " + std::to_string(a)});
      stores.Add({a, a % 3 == 0 ? 30 : 0});
    }
    BulkInsert shelves(cnn, "ST_Shelf", {"ID", "Name"});
    BulkInsert balances(cnn, "ST_ShelfBal", {"ShelfID", "ArtID", "SerialNo", "Qty"});
    for (int s = 1; s <= kShelves; ++s) {
      shelves.Add({"S" + std::to_string(s), "Shelf " + std::to_string(s)});
      // Every other article has a balance row on each shelf.
      for (int32_t a = 1; a <= kArticles; a += 2) {
        balances.Add({"S" + std::to_string(s), a, "", base::Currency::FromScaled(a * 10000)});
      }
    }
    BulkInsert orders(cnn, "MF_Order", {"BillID", "ShopID"});
    for (int o = 1; o <= kOrders; ++o) {
      orders.Add({"MO" + Num(o, 4), "W" + std::to_string(o % kShops + 1)});
    }
  }
  {
    BulkInsert bills(cnn, "MF_OutBill",
                     {"BillID", "Date", "OrdBill", "OrdSortID", "OpCateID", "DeptID", "ProjID",
                      "ItemID", "Notes", "Operator", "Maker", "ExeDate", "Execer"});
    BulkInsert lines(cnn, "MF_OutDetail",
                     {"BillID", "SortID", "ArtID", "MeasID", "ShelfID", "SerialNo", "ValidDate",
                      "Qty", "StQty", "Memo", "OrdBomID"});
    for (int i = 1; i <= seed.bills; ++i) {
      const std::string id = ReaderBillId(i);
      const base::DateTime date = DayOf2026((i - 1) * kReaderDays / seed.bills);
      const bool executed = i % 2 == 0;
      const std::string code = Num(i % 10 + 1, 2);
      bills.Add({id, date, "MO" + Num(i % kOrders + 1, 4), "1",
                 i % 4 == 0 ? base::Value() : base::Value("OC" + code), "D1", "P" + code,
                 "I" + code, "bill " + std::to_string(i), "Oscar", i % 3 == 0 ? "Ned" : "Amy",
                 executed ? base::Value(date) : base::Value(),
                 executed ? base::Value("Amy") : base::Value()});
      for (int l = 1; l <= seed.lines_per_bill; ++l) {
        const int32_t art = (i + l) % kArticles + 1;
        const base::Currency qty = base::Currency::FromScaled(l * 10000);
        lines.Add({id, std::to_string(l), art, "pcs", "S" + std::to_string(l % kShelves + 1), "",
                   l % 5 == 0 ? base::Value(DayOf2026(400)) : base::Value(), qty, qty,
                   "line " + std::to_string(l) + memo_tail, 0});
      }
    }
  }
  Check(cnn.Execute(data::Sql("COMMIT")), "commit");
  if (postgres) Check(cnn.Execute(data::Sql("ANALYZE")), "analyze");
}

}  // namespace bench
