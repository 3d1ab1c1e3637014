// Time of the reader's bill list and print data on a company of 10 000
// bills of 10 lines each, one call per iteration as a caller makes it (a
// fresh reader object, language look-up, read right, query, detached rowset).
//
// The scratch company (bench/bench_company.h) is seeded once per process
// with bulk inserts in one transaction and dropped at exit.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_company.h"
#include "company/cnn_string.h"
#include "data/connection.h"
#include "host/object_context.h"
#include "reader/mf_outbill.h"

namespace {

constexpr int kBills = 10000;
constexpr int kLinesPerBill = 10;
constexpr int kOrders = 100;
constexpr int kShops = 5;
constexpr int kArticles = 50;
constexpr int kShelves = 5;
// Bills are spread over the 365 days of 2026, about 27 a day.
constexpr int kDays = 365;

void Check(const base::Status& s, const std::string& what) {
  if (!s.ok()) {
    std::fprintf(stderr, "reader_bench: %s: %s\n", what.c_str(), s.err().description.c_str());
    std::exit(1);
  }
}

template <typename T>
void Check(const base::Result<T>& r, const std::string& what) {
  if (!r.ok()) {
    std::fprintf(stderr, "reader_bench: %s: %s\n", what.c_str(), r.err().description.c_str());
    std::exit(1);
  }
}

// Day n of 2026 (0 is January 1st).
base::DateTime Day(int n) {
  static const double kStart = base::DateTime::FromParts(2026, 1, 1).value().ToOleDate();
  return base::DateTime::FromOleDate(kStart + n).value();
}

std::string Num(int n, int width) {
  std::string s = std::to_string(n);
  return std::string(width > static_cast<int>(s.size()) ? width - s.size() : 0, '0') + s;
}

std::string BillId(int i) { return "2026" + Num(i, 8); }

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

// Fills the company: users, look-up tables, articles, shelves with
// balances, orders, and the bills with their lines.
void Seed(bench::BenchCompany& company) {
  data::Connection cnn;
  auto cnn_string = company::GetCnnString(company.name());
  Check(cnn_string, "connection string");
  Check(cnn.Open(*cnn_string, nullptr), "open");
  const bool postgres = company.postgres();
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
    for (int i = 1; i <= kBills; ++i) {
      const std::string id = BillId(i);
      const base::DateTime date = Day((i - 1) * kDays / kBills);
      const bool executed = i % 2 == 0;
      const std::string code = Num(i % 10 + 1, 2);
      bills.Add({id, date, "MO" + Num(i % kOrders + 1, 4), "1",
                 i % 4 == 0 ? base::Value() : base::Value("OC" + code), "D1", "P" + code,
                 "I" + code, "bill " + std::to_string(i), "Oscar", i % 3 == 0 ? "Ned" : "Amy",
                 executed ? base::Value(date) : base::Value(),
                 executed ? base::Value("Amy") : base::Value()});
      for (int l = 1; l <= kLinesPerBill; ++l) {
        const int32_t art = (i + l) % kArticles + 1;
        const base::Currency qty = base::Currency::FromScaled(l * 10000);
        lines.Add({id, std::to_string(l), art, "pcs", "S" + std::to_string(l % kShelves + 1), "",
                   l % 5 == 0 ? base::Value(Day(400)) : base::Value(), qty, qty,
                   "line " + std::to_string(l), 0});
      }
    }
  }
  Check(cnn.Execute(data::Sql("COMMIT")), "commit");
  if (postgres) Check(cnn.Execute(data::Sql("ANALYZE")), "analyze");
}

// Created and seeded by main before the first timing, dropped after the last.
std::unique_ptr<bench::BenchCompany> g_company;

bench::BenchCompany& Company() { return *g_company; }

// One reader call on a fresh object, as a caller makes it.
template <typename Op>
size_t ReaderCall(Op&& op) {
  bench::BenchCompany& company = Company();
  host::Instance obj =
      host::Host(company.classes()).CreateObject("Plexavo.MF_OutBill", "amy").value();
  std::string err;
  std::optional<base::Rowset> rs = op(*obj.As<reader::MF_OutBill>(), company.name(), err);
  if (!rs.has_value()) {
    std::fprintf(stderr, "reader_bench: call failed: %s\n", err.c_str());
    std::exit(1);
  }
  (void)obj.Release();
  return rs->RecordCount();
}

void Report(benchmark::State& state, size_t rows) {
  state.counters["rows"] = static_cast<double>(rows);
  state.SetLabel(Company().postgres() ? "postgresql" : "sqlite");
}

void BM_BillList_Year(benchmark::State& state) {
  size_t rows = 0;
  for (auto _ : state) {
    rows = ReaderCall([](reader::MF_OutBill& r, const std::string& db, std::string& err) {
      return r.BillList("", Day(kDays - 1), Day(0), "", 0, "", db, err);
    });
  }
  Report(state, rows);
}
BENCHMARK(BM_BillList_Year)->Unit(benchmark::kMillisecond);

void BM_BillList_MonthShopExecuted(benchmark::State& state) {
  size_t rows = 0;
  for (auto _ : state) {
    rows = ReaderCall([](reader::MF_OutBill& r, const std::string& db, std::string& err) {
      return r.BillList("", Day(151), Day(181), "W2", 2, "Amy", db, err);
    });
  }
  Report(state, rows);
}
BENCHMARK(BM_BillList_MonthShopExecuted)->Unit(benchmark::kMillisecond);

void BM_BillList_OneNumber(benchmark::State& state) {
  size_t rows = 0;
  for (auto _ : state) {
    rows = ReaderCall([](reader::MF_OutBill& r, const std::string& db, std::string& err) {
      return r.BillList(BillId(5000), Day(0), Day(0), "", 0, "", db, err);
    });
  }
  Report(state, rows);
}
BENCHMARK(BM_BillList_OneNumber)->Unit(benchmark::kMillisecond);

void BM_PrintRst_Year(benchmark::State& state) {
  size_t rows = 0;
  for (auto _ : state) {
    rows = ReaderCall([](reader::MF_OutBill& r, const std::string& db, std::string& err) {
      return r.PrintRst("", "", "", 0, Day(0), Day(kDays - 1), db, err);
    });
  }
  Report(state, rows);
}
BENCHMARK(BM_PrintRst_Year)->Unit(benchmark::kMillisecond);

void BM_PrintRst_ExecutedNumberRange(benchmark::State& state) {
  size_t rows = 0;
  for (auto _ : state) {
    rows = ReaderCall([](reader::MF_OutBill& r, const std::string& db, std::string& err) {
      return r.PrintRst("", BillId(4001), BillId(6000), 1, Day(0), Day(kDays - 1), db, err);
    });
  }
  Report(state, rows);
}
BENCHMARK(BM_PrintRst_ExecutedNumberRange)->Unit(benchmark::kMillisecond);

void BM_PrintRst_OneNumber(benchmark::State& state) {
  size_t rows = 0;
  for (auto _ : state) {
    rows = ReaderCall([](reader::MF_OutBill& r, const std::string& db, std::string& err) {
      return r.PrintRst(BillId(5000), "", "", 0, Day(0), Day(0), db, err);
    });
  }
  Report(state, rows);
}
BENCHMARK(BM_PrintRst_OneNumber)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  g_company = std::make_unique<bench::BenchCompany>("reader");
  Seed(*g_company);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_company.reset();
  return 0;
}
