#include "server/metrics.h"

#include <cstdio>

#include "data/session_pool.h"
#include "data/stats.h"

namespace server {
namespace {

constexpr const char* kOutcomeNames[] = {"success", "refusal", "conflict", "failure"};

// A label value with backslash, quote and line feed escaped.
std::string Label(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  return buf;
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
  out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

void Metrics::CallDone(const std::string& cls, const std::string& op, CallOutcome outcome,
                       double seconds) {
  std::lock_guard<std::mutex> lock(mu_);
  PerOperation& p = ops_[{cls, op}];
  ++p.outcomes[static_cast<size_t>(outcome)];
  ++p.count;
  p.sum += seconds;
  for (size_t i = 0; i < kBuckets.size(); ++i) {
    if (seconds <= kBuckets[i]) {
      ++p.buckets[i];
      break;
    }
  }
}

void Metrics::ConflictRetried(const std::string& cls, const std::string& op) {
  std::lock_guard<std::mutex> lock(mu_);
  ++ops_[{cls, op}].retries;
}

std::string Metrics::Render() const {
  std::string out;
  std::map<std::pair<std::string, std::string>, PerOperation> ops;
  {
    std::lock_guard<std::mutex> lock(mu_);
    ops = ops_;
  }
  Family(out, "plexavo_calls_total", "counter", "Calls answered, by class, operation and outcome.");
  for (const auto& [key, p] : ops) {
    for (size_t o = 0; o < p.outcomes.size(); ++o) {
      out += "plexavo_calls_total{class=\"" + Label(key.first) + "\",operation=\"" +
             Label(key.second) + "\",outcome=\"" + kOutcomeNames[o] + "\"} " +
             std::to_string(p.outcomes[o]) + "\n";
    }
  }
  Family(out, "plexavo_call_conflict_retries_total", "counter",
         "Calls run again because their transaction lost a race with another.");
  for (const auto& [key, p] : ops) {
    out += "plexavo_call_conflict_retries_total{class=\"" + Label(key.first) + "\",operation=\"" +
           Label(key.second) + "\"} " + std::to_string(p.retries) + "\n";
  }
  Family(out, "plexavo_call_duration_seconds", "histogram",
         "Time from a call's request to its answer.");
  for (const auto& [key, p] : ops) {
    const std::string labels =
        "class=\"" + Label(key.first) + "\",operation=\"" + Label(key.second) + "\"";
    uint64_t cumulative = 0;
    for (size_t i = 0; i < kBuckets.size(); ++i) {
      cumulative += p.buckets[i];
      out += "plexavo_call_duration_seconds_bucket{" + labels + ",le=\"" + Number(kBuckets[i]) +
             "\"} " + std::to_string(cumulative) + "\n";
    }
    out += "plexavo_call_duration_seconds_bucket{" + labels + ",le=\"+Inf\"} " +
           std::to_string(p.count) + "\n";
    out += "plexavo_call_duration_seconds_sum{" + labels + "} " + Number(p.sum) + "\n";
    out += "plexavo_call_duration_seconds_count{" + labels + "} " + std::to_string(p.count) + "\n";
  }

  const data::DbCounters& db = data::Counters();
  Family(out, "plexavo_db_statements_total", "counter", "Database statements run.");
  out += "plexavo_db_statements_total " + std::to_string(db.statements.load()) + "\n";
  Family(out, "plexavo_db_wait_seconds_total", "counter",
         "Time calls spent waiting for database statements.");
  out += "plexavo_db_wait_seconds_total " + Number(db.statement_ns.load() / 1e9) + "\n";
  Family(out, "plexavo_db_commits_total", "counter", "Transactions committed.");
  out += "plexavo_db_commits_total " + std::to_string(db.commits.load()) + "\n";
  Family(out, "plexavo_db_rollbacks_total", "counter", "Transactions rolled back.");
  out += "plexavo_db_rollbacks_total " + std::to_string(db.rollbacks.load()) + "\n";

  Family(out, "plexavo_db_sessions", "gauge",
         "Open database sessions per company database: idle in the pool, or in use by a call.");
  for (const auto& [name, open] : data::SessionPool::Instance().OpenSessions()) {
    out += "plexavo_db_sessions{database=\"" + Label(name) + "\",state=\"idle\"} " +
           std::to_string(open.idle) + "\n";
    out += "plexavo_db_sessions{database=\"" + Label(name) + "\",state=\"in_use\"} " +
           std::to_string(open.in_use) + "\n";
  }

  Family(out, "plexavo_build_info", "gauge", "The build that serves: compiler and C++ standard.");
  out += "plexavo_build_info{compiler=\"" + Label(__VERSION__) + "\",cplusplus=\"" +
         std::to_string(__cplusplus) + "\"} 1\n";
  return out;
}

}  // namespace server
