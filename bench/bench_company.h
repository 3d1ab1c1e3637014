// A scratch company database for one benchmark process, on SQLite unless
// PLEXAVO_TEST_BACKEND=postgresql (then on the server named by
// PLEXAVO_TEST_PG_HOST / _PORT / _USER). Dropped again at exit.
#ifndef PLEXAVO_BENCH_BENCH_COMPANY_H_
#define PLEXAVO_BENCH_BENCH_COMPANY_H_

#include <initializer_list>
#include <string>
#include <utility>

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

}  // namespace bench

#endif  // PLEXAVO_BENCH_BENCH_COMPANY_H_
