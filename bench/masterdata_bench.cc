// Loading stock balances from CSV: rows per second, and how far the
// process's resident memory rises during the load, for files of 50 000 and
// 200 000 rows (100 shelves × up to 2 000 articles), and of a million
// (100 shelves × 10 000 articles). The file is generated
// as it is read, so the figures are the import's alone; a flat memory rise
// across sizes shows that the file is streamed, not held.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <streambuf>
#include <string>

#include "bench/bench_company.h"
#include "company/company_db.h"
#include "masterdata/import.h"

namespace {

using bench::BenchCompany;

constexpr int kShelves = 100;
constexpr int kArticles = 10000;

// "ShelfID,ArtID,SerialNo,Qty" and then `rows` rows, made on demand.
class BalanceFile : public std::streambuf {
 public:
  explicit BalanceFile(int64_t rows) : rows_(rows) {}

 protected:
  int_type underflow() override {
    if (next_ > rows_) return traits_type::eof();
    char row[64];
    int n = 0;
    if (next_ == 0) {
      n = std::snprintf(row, sizeof row, "ShelfID,ArtID,SerialNo,Qty\n");
    } else {
      const int64_t i = next_ - 1;
      n = std::snprintf(row, sizeof row, "S%03d,%d,,%d.%04d\n", static_cast<int>(i % kShelves),
                        static_cast<int>(1 + i / kShelves), static_cast<int>(i % 997),
                        static_cast<int>(i % 10000));
    }
    ++next_;
    line_.assign(row, static_cast<size_t>(n));
    setg(line_.data(), line_.data(), line_.data() + line_.size());
    return traits_type::to_int_type(line_[0]);
  }

 private:
  int64_t rows_;
  int64_t next_ = 0;
  std::string line_;
};

int64_t ResidentKb() {
  long pages = 0;
  long resident = 0;
  std::ifstream statm("/proc/self/statm");
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

BenchCompany& Company() {
  static auto* company = [] {
    auto* c = new BenchCompany("masterdata");
    for (int s = 0; s < kShelves; ++s) {
      char id[8];
      std::snprintf(id, sizeof id, "S%03d", s);
      c->Exec("INSERT INTO ST_Shelf (ID, Name) VALUES (:id, :id)", {{"id", std::string(id)}});
    }
    c->Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            std::to_string(kArticles) +
            ") INSERT INTO FD_Article (ID, ArtCode) SELECT i, 'A' || i FROM n");
    // One small load first: what the first import in a process sets up
    // (session, caches) is not part of any file size's figure.
    BalanceFile warm_up(5000);
    std::istream in(&warm_up);
    const data::Target target = company::CompanyTarget(c->name()).value();
    auto done = masterdata::Import(target, *masterdata::FindKind("balances"), in);
    if (!done.ok()) std::fprintf(stderr, "warm-up: %s\n", done.err().description.c_str());
    return c;
  }();
  return *company;
}

void BM_ImportBalances(benchmark::State& state) {
  BenchCompany& company = Company();
  const data::Target target = company::CompanyTarget(company.name()).value();
  const masterdata::Kind& kind = *masterdata::FindKind("balances");
  const int64_t rows = state.range(0);
  int64_t rise_kb = 0;
  for (auto _ : state) {
    state.PauseTiming();
    company.Exec("DELETE FROM ST_ShelfBal");
    const int64_t before = ResidentKb();
    int64_t peak = before;
    state.ResumeTiming();
    BalanceFile file(rows);
    std::istream in(&file);
    auto done =
        masterdata::Import(target, kind, in, [&](int64_t) { peak = std::max(peak, ResidentKb()); });
    if (!done.ok() || *done != rows) {
      state.SkipWithError(done.ok() ? "row count" : done.err().description.c_str());
      break;
    }
    rise_kb = std::max(rise_kb, peak - before);
  }
  state.SetItemsProcessed(state.iterations() * rows);
  state.counters["rss_rise_kb"] = static_cast<double>(rise_kb);
}
BENCHMARK(BM_ImportBalances)
    ->Arg(50000)
    ->Arg(200000)
    ->Arg(1000000)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
