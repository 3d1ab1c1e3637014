// Throughput of the writer: bills created and executed at once (AddNew with
// vblnAutoExe) for bills of 1, 10 and 100 lines, and the cost of drawing a
// bill number with 10, 1 000 and 9 000 bills already numbered that day.
// Each call is a root call as a caller makes it: a fresh writer object in a
// transaction of its own, committed when it is released.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/bench_company.h"
#include "frame/bill_id.h"
#include "writer/mf_outbille.h"

namespace {

using bench::BenchCompany;

BenchCompany& Company() {
  static auto* company = [] {
    auto* c = new BenchCompany("writer");
    bench::SeedWriterCompany(*c);
    return c;
  }();
  return *company;
}

void BM_AddNewExecuted(benchmark::State& state) {
  BenchCompany& company = Company();
  const base::Rowset lines = bench::BillLines(static_cast<int>(state.range(0)));
  const base::DateTime date = base::DateTime::FromParts(2026, 12, 6).value();
  host::Host host(company.classes());
  for (auto _ : state) {
    host::Instance obj = host.CreateObject("Plexavo.MF_OutBillE", "amy").value();
    std::string id, err;
    bool ok = obj.As<writer::MF_OutBillE>()->AddNew(id, date, "", "MO1", "1", "", "", "Op", "",
                                                    lines, true, company.name(), err);
    if (!ok || !obj.Release().ok()) {
      state.SkipWithError(err.c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["lines"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_AddNewExecuted)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Bills numbered on one day (daily numbering) before the number is drawn.
void BM_GetBillID(benchmark::State& state) {
  static int day = 0;
  BenchCompany company("billid" + std::to_string(++day));
  company.Exec("INSERT INTO SM_User (LoginName, UserName) VALUES ('amy', 'Amy')");
  const int existing = static_cast<int>(state.range(0));
  bench::SeedBillsOfOneDay(company, existing);
  const base::DateTime date = base::DateTime::FromParts(2026, 12, 6).value();
  host::Host host(company.classes());
  for (auto _ : state) {
    host::Instance obj = host.CreateObject("Plexavo.MF_OutBillE", "amy").value();
    std::string id, err;
    if (!frame::share_bus::GetBillID(*obj.context(), "MF_OutBill", 1, date, id, company.name(),
                                     err)) {
      state.SkipWithError(err.c_str());
      break;
    }
    benchmark::DoNotOptimize(id);
  }
  state.counters["existing"] = existing;
}
BENCHMARK(BM_GetBillID)
    ->Arg(10)
    ->Arg(1000)
    ->Arg(9000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
