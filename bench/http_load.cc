// http_load: a bounded load client for `plexavo serve` on loopback.
//
//   http_load [--op addnew|curperiod] [--connections N] [--seconds S]
//             [--lines L] [--threads T] [--rss]
//   http_load --op printrst [--bills B] [--lines L] [--memo M] [--calls K]
//
// Makes a scratch company (bench/bench_company.h: SQLite, or the PostgreSQL
// server of PLEXAVO_TEST_*), starts `plexavo serve` ($PLEXAVO_CLI or the
// binary of this build) as a child process on a free loopback port with T
// worker threads, and has N client threads each keep one connection alive
// and send calls back to back for S seconds (after one second of warm-up):
// AddNew of an L-line bill executed at once, or the reader's CurPeriod.
// Prints one line: calls, failed calls, calls per second, median, p99 and
// the slowest call in milliseconds. With --rss it also samples the server's
// resident size every second and prints the first and last sample and the
// highest.
//
// --op printrst measures the memory a large answer costs the server: the
// company holds B bills of L lines each (memos of M more letters; by default
// 20 000 x 10 lines, 64 letters: an answer of about 60 MB), and K calls of
// PrintRst for the whole year are made one after the other. After each it
// prints the answer's size, the call's time and the server's peak resident
// size so far (VmHWM) and its resident size (VmRSS).
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_company.h"
#include "cli/company_admin.h"
#include "server/http.h"
#include "server/json_values.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  std::string op = "addnew";
  int connections = 1;
  int seconds = 10;
  int lines = 10;
  int threads = 8;
  bool rss = false;
  int bills = 20000;
  int memo = 64;
  int calls = 2;
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr,
               "http_load: %s\nusage: http_load [--op addnew|curperiod] [--connections N] "
               "[--seconds S] [--lines L] [--threads T] [--rss]\n",
               why);
  std::exit(2);
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(("missing value for " + a).c_str());
      return argv[++i];
    };
    if (a == "--op") {
      o.op = value();
    } else if (a == "--connections") {
      o.connections = std::atoi(value().c_str());
    } else if (a == "--seconds") {
      o.seconds = std::atoi(value().c_str());
    } else if (a == "--lines") {
      o.lines = std::atoi(value().c_str());
    } else if (a == "--threads") {
      o.threads = std::atoi(value().c_str());
    } else if (a == "--rss") {
      o.rss = true;
    } else if (a == "--bills") {
      o.bills = std::atoi(value().c_str());
    } else if (a == "--memo") {
      o.memo = std::atoi(value().c_str());
    } else if (a == "--calls") {
      o.calls = std::atoi(value().c_str());
    } else {
      Usage(("unknown argument " + a).c_str());
    }
  }
  if (o.op != "addnew" && o.op != "curperiod" && o.op != "printrst") {
    Usage("--op is addnew, curperiod or printrst");
  }
  if (o.bills < 1 || o.bills > 1000000) Usage("--bills is 1 to 1000000");
  if (o.memo < 0 || o.memo > 1000) Usage("--memo is 0 to 1000");
  if (o.calls < 1 || o.calls > 100) Usage("--calls is 1 to 100");
  if (o.connections < 1 || o.connections > 500) Usage("--connections is 1 to 500");
  if (o.seconds < 1 || o.seconds > 600) Usage("--seconds is 1 to 600");
  if (o.lines < 1 || o.lines > 1000) Usage("--lines is 1 to 1000");
  if (o.threads < 1 || o.threads > 256) Usage("--threads is 1 to 256");
  return o;
}

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("http_load: free port");
    std::exit(1);
  }
  close(fd);
  return ntohs(addr.sin_port);
}

pid_t StartServer(int port, int threads) {
  const char* env = std::getenv("PLEXAVO_CLI");
  const std::string cli = env != nullptr && *env != '\0' ? env : PLEXAVO_CLI;
  pid_t pid = fork();
  if (pid == 0) {
    if (freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
    const std::string listen = "127.0.0.1:" + std::to_string(port);
    const std::string n = std::to_string(threads);
    execl(cli.c_str(), cli.c_str(), "serve", "--listen", listen.c_str(), "--threads", n.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  httplib::Client probe("127.0.0.1", port);
  for (int i = 0; i < 200; ++i) {
    if (auto res = probe.Get("/v1/health"); res && res->status == 200) return pid;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::fprintf(stderr, "http_load: the server did not start (%s)\n", cli.c_str());
  kill(pid, SIGKILL);
  std::exit(1);
}

// A size line of /proc/PID/status ("VmRSS", "VmHWM") in kB.
long StatusKb(pid_t pid, const std::string& name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(name + ":", 0) == 0) return std::atol(line.c_str() + name.size() + 1);
  }
  return -1;
}

long ResidentKb(pid_t pid) { return StatusKb(pid, "VmRSS"); }

std::string CallBody(const Options& o, const std::string& db) {
  server::Json body;
  if (o.op == "printrst") {
    body["progid"] = "Plexavo.MF_OutBill";
    body["method"] = "PrintRst";
    body["args"] = {
        {"vstrBillID", ""},        {"vstrBegID", ""},         {"vstrEndID", ""}, {"vlngFlag", 0},
        {"vdtmBeg", "2026-01-01"}, {"vdtmEnd", "2026-12-31"}, {"vstrDB", db},    {"vstrErr", ""}};
    return server::Dump(body);
  }
  body["progid"] = o.op == "addnew" ? "Plexavo.MF_OutBillE" : "Plexavo.MF_OutBill";
  if (o.op == "curperiod") {
    body["method"] = "CurPeriod";
    body["args"] = {{"vstrDB", db}, {"vstrErr", ""}};
    return server::Dump(body);
  }
  body["method"] = "AddNew";
  body["args"] = {
      {"vstrID", ""},         {"vdtmDate", "2026-12-06"},
      {"vstrOpCate", ""},     {"vstrOrdBill", "MO1"},
      {"vstrOrdSortID", "1"}, {"vstrProject", ""},
      {"vstrItem", ""},       {"vstrOperator", "Op"},
      {"vstrMemo", ""},       {"vrstDetail", server::RowsetToJson(bench::BillLines(o.lines))},
      {"vblnAutoExe", true},  {"vstrDB", db},
      {"vstrErr", ""}};
  return server::Dump(body);
}

// A call succeeded: 200 and a result other than false or the empty text.
bool Succeeded(const httplib::Result& res) {
  if (!res || res->status != 200) return false;
  auto answer = server::ParseJson(res->body);
  if (!answer.ok() || !answer->contains("result")) return false;
  const server::Json& r = (*answer)["result"];
  return !(r.is_boolean() && !r.get<bool>()) && !(r.is_string() && r.get<std::string>().empty());
}

struct Worker {
  std::vector<double> ms;
  long failed = 0;
  std::string first_failure;
};

void Drive(int port, const std::string& token, const std::string& body,
           const std::atomic<bool>& measuring, const std::atomic<bool>& stop, Worker& w) {
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  // A request goes out at once, as a browser's or curl's does.
  client.set_tcp_nodelay(true);
  client.set_read_timeout(60, 0);
  const httplib::Headers headers = {{"Authorization", "Bearer " + token}};
  while (!stop.load()) {
    const bool counted = measuring.load();
    const auto start = Clock::now();
    auto res = client.Post("/v1/call", headers, body, "application/json");
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!counted) continue;
    w.ms.push_back(ms);
    if (!Succeeded(res)) {
      if (w.failed++ == 0) {
        w.first_failure = res ? std::to_string(res->status) + " " + res->body.substr(0, 300)
                              : httplib::to_string(res.error());
      }
    }
  }
}

// The server started on a free port, amy's token on the seeded company, and
// the body of the call to measure; the end of the program when the token
// cannot be issued.
struct Served {
  int port;
  pid_t server;
  std::string token;
  std::string body;
};

Served Serve(const Options& o, const bench::BenchCompany& company) {
  auto token = cli::IssueUserToken(company.target(), "amy");
  if (!token.ok()) {
    std::fprintf(stderr, "http_load: token: %s\n", token.err().description.c_str());
    std::exit(1);
  }
  const int port = FreePort();
  return {port, StartServer(port, o.threads), *token, CallBody(o, company.name())};
}

double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  size_t i = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[std::min(i, sorted.size() - 1)];
}

// --op printrst: the calls one after the other, the server's memory after
// each.
int LargeAnswers(const Options& o) {
  bench::BenchCompany company("answer");
  bench::SeedReaderCompany(company, {o.bills, o.lines, static_cast<size_t>(o.memo)});
  const Served served = Serve(o, company);
  const int port = served.port;
  const pid_t server = served.server;
  const std::string& body = served.body;
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(600, 0);
  int failed = 0;
  std::printf("op=printrst bills=%d lines=%d memo=%d start vmhwm_kb=%ld vmrss_kb=%ld\n", o.bills,
              o.lines, o.memo, StatusKb(server, "VmHWM"), StatusKb(server, "VmRSS"));
  for (int call = 1; call <= o.calls; ++call) {
    const auto start = Clock::now();
    size_t bytes = 0;
    auto res = client.Post("/v1/call", {{"Authorization", "Bearer " + served.token}}, body,
                           "application/json");
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (res && res->status == 200) {
      bytes = res->body.size();
    } else {
      ++failed;
    }
    std::printf("call=%d status=%d answer_bytes=%zu ms=%.0f vmhwm_kb=%ld vmrss_kb=%ld\n", call,
                res ? res->status : 0, bytes, ms, StatusKb(server, "VmHWM"),
                StatusKb(server, "VmRSS"));
    std::fflush(stdout);
  }
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  return failed > 0 ? 3 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  if (o.op == "printrst") return LargeAnswers(o);
  bench::BenchCompany company("http");
  bench::SeedWriterCompany(company);
  const Served served = Serve(o, company);
  const int port = served.port;
  const pid_t server = served.server;
  const std::string& body = served.body;

  std::atomic<bool> measuring{false}, stop{false};
  std::vector<Worker> workers(static_cast<size_t>(o.connections));
  std::vector<std::thread> threads;
  for (Worker& w : workers) {
    threads.emplace_back(Drive, port, served.token, std::cref(body), std::cref(measuring),
                         std::cref(stop), std::ref(w));
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  measuring = true;
  const auto start = Clock::now();
  std::vector<long> rss;
  for (int s = 0; s < o.seconds; ++s) {
    std::this_thread::sleep_for(start + std::chrono::seconds(s + 1) - Clock::now());
    if (o.rss) rss.push_back(ResidentKb(server));
  }
  measuring = false;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  stop = true;
  for (std::thread& t : threads) t.join();
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);

  std::vector<double> all;
  long failed = 0;
  std::string failure;
  for (const Worker& w : workers) {
    all.insert(all.end(), w.ms.begin(), w.ms.end());
    failed += w.failed;
    if (failure.empty()) failure = w.first_failure;
  }
  std::sort(all.begin(), all.end());
  std::printf(
      "op=%s lines=%d connections=%d calls=%zu failed=%ld rate=%.1f/s median=%.2fms "
      "p99=%.2fms max=%.2fms\n",
      o.op.c_str(), o.op == "addnew" ? o.lines : 0, o.connections, all.size(), failed,
      static_cast<double>(all.size()) / elapsed, Percentile(all, 0.5), Percentile(all, 0.99),
      all.empty() ? 0.0 : all.back());
  if (o.rss && !rss.empty()) {
    std::printf("rss_kb first=%ld last=%ld max=%ld samples=%zu\n", rss.front(), rss.back(),
                *std::max_element(rss.begin(), rss.end()), rss.size());
  }
  if (failed > 0) std::printf("first failure: %s\n", failure.c_str());
  return failed > 0 ? 3 : 0;
}
