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

base::Rowset LineSet(int lines) {
  using base::FieldType;
  base::Rowset rs({{"SortID", FieldType::kText},
                   {"ArtID", FieldType::kInt},
                   {"MeasID", FieldType::kText},
                   {"ShelfID", FieldType::kText},
                   {"SerialNo", FieldType::kText},
                   {"ValidDate", FieldType::kDate},
                   {"Qty", FieldType::kCurrency},
                   {"Memo", FieldType::kText},
                   {"OrdBomID", FieldType::kInt}});
  for (int i = 1; i <= lines; ++i) {
    (void)rs.AddRow({base::Value(std::to_string(i)), base::Value(1 + i % 10), base::Value("pcs"),
                     base::Value("S1"), base::Value(""), base::Value(),
                     base::Value(base::Currency::FromInt(1)), base::Value(""), base::Value(0)});
  }
  return rs;
}

BenchCompany& Company() {
  static auto* company = [] {
    auto* c = new BenchCompany("writer");
    c->Exec("INSERT INTO SM_User (LoginName, UserName) VALUES ('amy', 'Amy')");
    for (const char* code : {"MF0301", "MF0302", "MF0303", "MF0304"}) {
      c->Exec("INSERT INTO SM_UserRight (LoginName, RightCode) VALUES ('amy', :c)", {{"c", code}});
    }
    c->Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', '202612')");
    c->Exec("INSERT INTO SM_Config (ID, Value) VALUES ('MachineTime', '0'), ('IDMode', '1')");
    c->Exec("INSERT INTO MF_Order (BillID, ShopID) VALUES ('MO1', 'W1')");
    c->Exec("INSERT INTO MF_OrdDetail (BillID, SortID) VALUES ('MO1', '1')");
    for (int art = 1; art <= 10; ++art) {
      c->Exec("INSERT INTO FD_Article (ID, ArtCode, Name) VALUES (:a, :c, 'Part')",
              {{"a", art}, {"c", "A" + std::to_string(art)}});
      c->Exec("INSERT INTO FD_ArtMeas (ID, MeasID, Num, Den) VALUES (:a, 'pcs', :one, :one)",
              {{"a", art}, {"one", base::Currency::FromInt(1)}});
      c->Exec("INSERT INTO ST_ShelfBal (ShelfID, ArtID, SerialNo, Qty) VALUES ('S1', :a, '', :q)",
              {{"a", art}, {"q", base::Currency::FromInt(100000000)}});
      c->Exec("INSERT INTO MF_OrdBom (BillID, SortID, ArtID, Qty) VALUES ('MO1', '1', :a, 0)",
              {{"a", art}});
    }
    return c;
  }();
  return *company;
}

void BM_AddNewExecuted(benchmark::State& state) {
  BenchCompany& company = Company();
  const base::Rowset lines = LineSet(static_cast<int>(state.range(0)));
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
BENCHMARK(BM_AddNewExecuted)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// Bills numbered on one day (daily numbering) before the number is drawn.
void BM_GetBillID(benchmark::State& state) {
  static int day = 0;
  BenchCompany company("billid" + std::to_string(++day));
  company.Exec("INSERT INTO SM_User (LoginName, UserName) VALUES ('amy', 'Amy')");
  const int existing = static_cast<int>(state.range(0));
  // One multi-row insert per 500 bills keeps seeding quick on both backends.
  for (int first = 1; first <= existing; first += 500) {
    std::string sql = "INSERT INTO MF_OutBill (BillID) VALUES ";
    for (int k = first; k < first + 500 && k <= existing; ++k) {
      char id[32];
      std::snprintf(id, sizeof id, "20261206%04d", k);
      sql += std::string(k == first ? "" : ",") + "('" + id + "')";
    }
    company.Exec(sql);
  }
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
BENCHMARK(BM_GetBillID)->Arg(10)->Arg(1000)->Arg(9000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
