// A scratch company database for one benchmark process, on SQLite unless
// PLEXAVO_TEST_BACKEND=postgresql (then on the server named by
// PLEXAVO_TEST_PG_HOST / _PORT / _USER). Dropped again at exit.
#ifndef PLEXAVO_BENCH_BENCH_COMPANY_H_
#define PLEXAVO_BENCH_BENCH_COMPANY_H_

#include <initializer_list>
#include <string>
#include <utility>

#include "base/rowset.h"
#include "base/value.h"
#include "data/target.h"
#include "host/object_context.h"

namespace bench {

class BenchCompany {
 public:
  explicit BenchCompany(const std::string& tag);
  ~BenchCompany();
  BenchCompany(const BenchCompany&) = delete;
  BenchCompany& operator=(const BenchCompany&) = delete;

  const std::string& name() const { return target_.database; }
  const data::Target& target() const { return target_; }
  bool postgres() const { return target_.backend == data::Backend::kPostgres; }
  // Runs a statement in its own transaction; exits the process on failure.
  void Exec(const std::string& sql,
            std::initializer_list<std::pair<const char*, base::Value>> binds = {}) const;
  host::ClassTable& classes() { return classes_; }

 private:
  std::string dir_;
  data::Target target_;
  host::ClassTable classes_;
};

// The writer benchmarks' company: user "amy" with the four bill rights,
// period 202612 of module MF, ten articles with a stock balance on shelf S1
// and BOM rows of order MO1 line 1. IDMode 1 (monthly) unless `daily`.
void SeedWriterCompany(const BenchCompany& company, bool daily = false);

// Bills 202612060001 up to number `count` of 2026-12-06 (headers only), one
// multi-row insert per 500 bills, which keeps seeding quick on both backends.
void SeedBillsOfOneDay(const BenchCompany& company, int count);
// The reader benchmarks' company: users amy (the four bill rights) and ned,
// look-up tables, 50 articles, 5 shelves with balances, 100 orders over 5
// workshops, and `bills` bills spread over 2026 (every other one executed)
// of `lines_per_bill` lines each, whose memos are "line N" followed by
// `memo_bytes` letters. Bulk inserts in one transaction.
struct ReaderSeed {
  int bills = 10000;
  int lines_per_bill = 10;
  size_t memo_bytes = 0;
};
void SeedReaderCompany(const BenchCompany& company, const ReaderSeed& seed);
inline constexpr int kReaderDays = 365;
// Day n of 2026 (0 is January 1st), and the number of the reader
// company's bill i.
base::DateTime DayOf2026(int n);
std::string ReaderBillId(int i);

// A bill line set of `lines` lines, one piece each of articles 1 to 10.
base::Rowset BillLines(int lines);

}  // namespace bench

#endif  // PLEXAVO_BENCH_BENCH_COMPANY_H_
