// Time of the reader's bill list and print data on a company of 10 000
// bills of 10 lines each, one call per iteration as a caller makes it (a
// fresh reader object, language look-up, read right, query, detached rowset).
//
// The scratch company (bench/bench_company.h, SeedReaderCompany) is seeded
// once per process and dropped at exit.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_company.h"
#include "host/object_context.h"
#include "reader/mf_outbill.h"

namespace {

// Bills are spread over the 365 days of 2026, about 27 a day.
constexpr int kDays = bench::kReaderDays;

// Day n of 2026 (0 is January 1st).
base::DateTime Day(int n) { return bench::DayOf2026(n); }

std::string BillId(int i) { return bench::ReaderBillId(i); }

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
  bench::SeedReaderCompany(*g_company, {});
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  g_company.reset();
  return 0;
}
