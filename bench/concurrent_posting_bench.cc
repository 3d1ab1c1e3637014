// Postings from several clients at once through the HTTP server, one server
// or two servers on the same company database, each call on a new
// connection as a remote client makes it:
//   hot     every client's bills draw on the same order line, article and
//           shelf on the same day;
//   spread  each client has an order and an article of its own.
// Operations: ten-line bills created and executed at once (AddNew with
// vblnAutoExe), and executions of ten-line bills made beforehand (ExecBill).
// Reported: calls per second, median and 99th-percentile latency, the calls
// that failed (anything but 200 with result true) and the attempts repeated
// after a lost race.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "bench/bench_company.h"
#include "cli/company_admin.h"
#include "host/conflict_retry.h"
#include "server/http.h"
#include "server/json_values.h"
#include "server/server.h"
#include "writer/bill_lines.h"
#include "writer/mf_outbille.h"

namespace {

using bench::BenchCompany;
using server::Json;

constexpr int kClients = 8;
constexpr int kCallsPerClient = 20;
constexpr int kServerThreads = 4;
constexpr int kLines = 10;

enum Op { kAddNewExecuted = 0, kExecBill = 1 };

base::Rowset LineSet(int article) {
  base::Rowset rs(writer::LineSetFields());
  for (int i = 1; i <= kLines; ++i) {
    (void)rs.AddRow({base::Value(std::to_string(i)), base::Value(article), base::Value("pcs"),
                     base::Value("S1"), base::Value(""), base::Value(),
                     base::Value(base::Currency::FromInt(1)), base::Value(""), base::Value(0)});
  }
  return rs;
}

// Orders MO1..MO8, each with line 1 and a BOM row of article 1..8; plenty
// of every article on shelf S1.
void Seed(BenchCompany& c) {
  c.Exec("INSERT INTO SM_User (LoginName, UserName) VALUES ('amy', 'Amy')");
  for (const char* code : {"MF0301", "MF0302", "MF0303", "MF0304"}) {
    c.Exec("INSERT INTO SM_UserRight (LoginName, RightCode) VALUES ('amy', :c)", {{"c", code}});
  }
  c.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', '202612')");
  c.Exec("INSERT INTO SM_Config (ID, Value) VALUES ('MachineTime', '0')");
  for (int k = 1; k <= kClients; ++k) {
    const std::string order = "MO" + std::to_string(k);
    c.Exec("INSERT INTO MF_Order (BillID, ShopID) VALUES (:o, 'W1')", {{"o", order}});
    c.Exec("INSERT INTO MF_OrdDetail (BillID, SortID) VALUES (:o, '1')", {{"o", order}});
    c.Exec("INSERT INTO FD_Article (ID, ArtCode, Name) VALUES (:a, :c, 'Part')",
           {{"a", k}, {"c", "A" + std::to_string(k)}});
    c.Exec("INSERT INTO FD_ArtMeas (ID, MeasID, Num, Den) VALUES (:a, 'pcs', :one, :one)",
           {{"a", k}, {"one", base::Currency::FromInt(1)}});
    c.Exec("INSERT INTO ST_ShelfBal (ShelfID, ArtID, SerialNo, Qty) VALUES ('S1', :a, '', :q)",
           {{"a", k}, {"q", base::Currency::FromInt(100000000)}});
    c.Exec("INSERT INTO MF_OrdBom (BillID, SortID, ArtID, Qty) VALUES (:o, '1', :a, 0)",
           {{"o", order}, {"a", k}});
  }
}

struct Work {
  std::string order;
  int article;
};

Work WorkOf(int client, bool spread) {
  const int k = spread ? 1 + client % kClients : 1;
  return {"MO" + std::to_string(k), k};
}

Json AddNewArgs(const Work& w, bool auto_exe) {
  return {{"vstrID", ""},           {"vdtmDate", "2026-12-06"},
          {"vstrOpCate", ""},       {"vstrOrdBill", w.order},
          {"vstrOrdSortID", "1"},   {"vstrProject", ""},
          {"vstrItem", ""},         {"vstrOperator", "Op"},
          {"vstrMemo", ""},         {"vrstDetail", server::RowsetToJson(LineSet(w.article))},
          {"vblnAutoExe", auto_exe}};
}

// Bills made beforehand for ExecBill, through the host: per client, its calls' bills.
std::vector<std::vector<std::string>> MakeBills(BenchCompany& company, bool spread) {
  std::vector<std::vector<std::string>> bills(kClients);
  const base::DateTime date = base::DateTime::FromParts(2026, 12, 6).value();
  host::Host host(company.classes());
  for (int c = 0; c < kClients; ++c) {
    const Work w = WorkOf(c, spread);
    for (int k = 0; k < kCallsPerClient; ++k) {
      host::Instance obj = host.CreateObject("Plexavo.MF_OutBillE", "amy").value();
      std::string id, err;
      if (!obj.As<writer::MF_OutBillE>()->AddNew(id, date, "", w.order, "1", "", "", "Op", "",
                                                 LineSet(w.article), false, company.name(), err) ||
          !obj.Release().ok()) {
        std::fprintf(stderr, "bench: AddNew: %s\n", err.c_str());
        std::exit(1);
      }
      bills[c].push_back(id);
    }
  }
  return bills;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

void BM_Posting(benchmark::State& state) {
  const int servers = static_cast<int>(state.range(0));
  const bool spread = state.range(1) == 1;
  const Op op = static_cast<Op>(state.range(2));
  static int run = 0;
  BenchCompany company("posting" + std::to_string(++run));
  Seed(company);
  const std::string token = cli::IssueUserToken(company.target(), "amy").value();
  const auto bills =
      op == kExecBill ? MakeBills(company, spread) : std::vector<std::vector<std::string>>();
  std::ostringstream log;
  std::vector<std::unique_ptr<server::Server>> running;
  for (int i = 0; i < servers; ++i) {
    server::ServeOptions options;
    options.port = 0;
    options.threads = kServerThreads;
    running.push_back(std::make_unique<server::Server>(options, log));
    if (!running.back()->Start().ok()) {
      state.SkipWithError("server did not start");
      return;
    }
  }
  for (auto _ : state) {
    std::vector<std::vector<double>> latencies(kClients);
    std::atomic<int> failed{0};
    const uint64_t retries_before = host::ConflictRetries();
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
      clients.emplace_back([&, c] {
        const Work w = WorkOf(c, spread);
        const int port = running[c % running.size()]->port();
        for (int k = 0; k < kCallsPerClient; ++k) {
          Json args = op == kExecBill ? Json{{"vstrID", bills[c][k]}, {"vdtmExeDate", "2026-12-06"}}
                                      : AddNewArgs(w, true);
          args["vstrDB"] = company.name();
          args["vstrErr"] = "";
          Json request = {{"progid", "Plexavo.MF_OutBillE"},
                          {"method", op == kExecBill ? "ExecBill" : "AddNew"},
                          {"args", args}};
          const auto t0 = std::chrono::steady_clock::now();
          httplib::Client client("127.0.0.1", port);
          client.set_read_timeout(300, 0);
          auto res = client.Post("/v1/call", {{"Authorization", "Bearer " + token}},
                                 server::Dump(request), "application/json");
          latencies[c].push_back(
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                  .count());
          auto body = res ? server::ParseJson(res->body) : base::Result<Json>(base::Err{});
          if (!res || res->status != 200 || !body.ok() || (*body)["result"] != true) {
            failed.fetch_add(1);
          }
        }
      });
    }
    for (auto& t : clients) t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    std::vector<double> all;
    for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
    state.counters["calls_per_s"] = static_cast<double>(all.size()) / seconds;
    state.counters["p50_ms"] = Percentile(all, 0.50);
    state.counters["p99_ms"] = Percentile(all, 0.99);
    state.counters["failed"] = failed.load();
    state.counters["retries"] = static_cast<double>(host::ConflictRetries() - retries_before);
  }
  for (auto& s : running) s->Stop();
  state.SetLabel(std::string(servers == 1 ? "1 server" : "2 servers") +
                 (spread ? ", spread" : ", hot") +
                 (op == kExecBill ? ", ExecBill" : ", AddNew+exec"));
}
BENCHMARK(BM_Posting)
    ->ArgNames({"servers", "spread", "op"})
    ->ArgsProduct({{1, 2}, {0, 1}, {kAddNewExecuted, kExecBill}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
