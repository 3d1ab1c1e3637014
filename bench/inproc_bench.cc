// Bills created and executed at once (AddNew with vblnAutoExe) through the
// in-process component, libplexavo.so, loaded with dlopen and driven only
// through its C ABI the way an outside caller drives it: a fresh writer
// object per bill, released (committed) after the call.
//
//   BM_InprocAddNew/L         bills of L lines (1, 10, 100)
//   BM_InprocBusyDay/N        one-line bills on a day that already holds N
//                             bills (daily numbering), N = 10 and 9000
//
// $PLEXAVO_INPROC_LIBRARY overrides the library's path (to measure another
// build of it).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_company.h"
#include "plexavo/plexavo.h"
#include "tests/inproc_library.h"

namespace {

using bench::BenchCompany;

constexpr int32_t kWriterAddNew = 0x60030000;

// The library, or the end of the program when it or an export is missing.
const testing_support::InprocLibrary& Lib() {
  const testing_support::InprocLibrary& lib = testing_support::LoadInproc(PLEXAVO_INPROC_LIBRARY);
  if (!lib.error.empty()) {
    std::fprintf(stderr, "inproc_bench: %s\n", lib.error.c_str());
    std::exit(1);
  }
  return lib;
}

PlxVariant Text(const std::string& s) {
  PlxVariant v{};
  v.vt = PLX_VT_TEXT;
  v.v.text = Lib().PlxTextAlloc(s.c_str());
  return v;
}

PlxVariant Of(int32_t vt) {
  PlxVariant v{};
  v.vt = vt;
  return v;
}

// The bill line set in the library's own rowset type.
PlxRowset* Lines(int lines) {
  const testing_support::InprocLibrary& lib = Lib();
  PlxRowset* rs = lib.PlxRowsetCreate();
  const std::pair<const char*, int32_t> fields[] = {
      {"SortID", PLX_VT_TEXT},  {"ArtID", PLX_VT_I4},      {"MeasID", PLX_VT_TEXT},
      {"ShelfID", PLX_VT_TEXT}, {"SerialNo", PLX_VT_TEXT}, {"ValidDate", PLX_VT_DATE},
      {"Qty", PLX_VT_CY},       {"Memo", PLX_VT_TEXT},     {"OrdBomID", PLX_VT_I4}};
  for (const auto& [name, vt] : fields) (void)lib.PlxRowsetAddField(rs, name, vt);
  for (int i = 1; i <= lines; ++i) {
    PlxVariant row[9] = {
        Text(std::to_string(i)), Of(PLX_VT_I4), Text("pcs"), Text("S1"),   Text(""),
        Of(PLX_VT_EMPTY),        Of(PLX_VT_CY), Text(""),    Of(PLX_VT_I4)};
    row[1].v.i4 = 1 + i % 10;
    row[6].v.cy = 10000;
    row[8].v.i4 = 0;
    (void)lib.PlxRowsetAddRow(rs, row, 9);
    for (PlxVariant& v : row) lib.PlxVariantClear(&v);
  }
  return rs;
}

PlxClassFactory* WriterFactory() {
  void* ppv = nullptr;
  if (Lib().DllGetClassObject(&PLX_CLSID_MF_OutBillE, &PLX_IID_ClassFactory, &ppv) != PLX_S_OK) {
    std::fprintf(stderr, "inproc_bench: no class factory for the writer\n");
    std::exit(1);
  }
  return static_cast<PlxClassFactory*>(ppv);
}

// One AddNew with vblnAutoExe on a fresh writer object; the error text on failure.
std::string AddNewExecuted(PlxClassFactory* factory, PlxRowset* lines, double date,
                           const std::string& db) {
  PlxObject* obj = nullptr;
  if (factory->vtbl->CreateInstance(factory, "amy", &obj) != PLX_S_OK) return "CreateInstance";
  PlxVariant args[13] = {Text(""),  Of(PLX_VT_DATE),   Text(""),        Text("MO1"),
                         Text("1"), Text(""),          Text(""),        Text("Op"),
                         Text(""),  Of(PLX_VT_ROWSET), Of(PLX_VT_BOOL), Text(db),
                         Text("")};
  args[1].v.date = date;
  args[9].v.rowset = lines;  // borrowed: taken out again before the clear
  args[10].v.boolean = PLX_TRUE;
  PlxVariant result{};
  std::string err;
  PLXRESULT hr = obj->vtbl->Invoke(obj, kWriterAddNew, args, 13, &result);
  if (hr != PLX_S_OK) {
    err = "Invoke failed " + std::to_string(hr);
  } else if (result.vt != PLX_VT_BOOL || result.v.boolean != PLX_TRUE) {
    err = args[12].v.text != nullptr ? args[12].v.text : "AddNew answered false";
  }
  if (obj->vtbl->Release(obj) != PLX_S_OK && err.empty()) err = "commit failed";
  args[9] = Of(PLX_VT_EMPTY);
  for (PlxVariant& v : args) Lib().PlxVariantClear(&v);
  Lib().PlxVariantClear(&result);
  return err;
}

// 2026-12-06 as the boundary's day count.
constexpr double kBillDate = 46362.0;

void Run(benchmark::State& state, const BenchCompany& company, int lines) {
  PlxClassFactory* factory = WriterFactory();
  PlxRowset* rs = Lines(lines);
  for (auto _ : state) {
    std::string err = AddNewExecuted(factory, rs, kBillDate, company.name());
    if (!err.empty()) {
      state.SkipWithError(err.c_str());
      break;
    }
  }
  Lib().PlxRowsetFree(rs);
  (void)factory->vtbl->Release(factory);
  state.SetItemsProcessed(state.iterations());
}

void BM_InprocAddNew(benchmark::State& state) {
  static auto* company = [] {
    auto* c = new BenchCompany("inproc");
    bench::SeedWriterCompany(*c);
    return c;
  }();
  Run(state, *company, static_cast<int>(state.range(0)));
  state.counters["lines"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_InprocAddNew)->Arg(1)->Arg(10)->Arg(100)->UseRealTime()->Unit(benchmark::kMillisecond);

// A company per run whose bill day already holds `existing` bills.
void BM_InprocBusyDay(benchmark::State& state) {
  static int run = 0;
  BenchCompany company("busy" + std::to_string(++run));
  bench::SeedWriterCompany(company, /*daily=*/true);
  const int existing = static_cast<int>(state.range(0));
  bench::SeedBillsOfOneDay(company, existing);
  Run(state, company, 1);
  state.counters["existing"] = existing;
}
// A fixed count of bills keeps the day's size close to `existing`.
BENCHMARK(BM_InprocBusyDay)
    ->Arg(10)
    ->Arg(9000)
    ->Iterations(400)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
