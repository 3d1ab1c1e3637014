// A company with what issue bills need: users with rights, the current
// period of module MF, articles with units and stock settings, shelves
// with balances, and production orders with lines and a bill of materials.
// Calls go through the host as a caller's would: one fresh object per call,
// its transaction settled when it is released.
#ifndef PLEXAVO_TESTS_BILL_FIXTURE_H_
#define PLEXAVO_TESTS_BILL_FIXTURE_H_

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/rowset.h"
#include "boundary/classes.h"
#include "reader/mf_outbill.h"
#include "tests/test_company.h"
#include "writer/mf_outbille.h"

namespace testing_support {

// One line of a bill as callers pass it.
struct LineSpec {
  std::string sort_id = "1";
  int32_t art = 1;
  std::string meas = "pcs";
  std::string shelf = "S1";
  std::string serial = "";
  std::string qty = "1";
  std::string memo = "";
  int32_t bom = 0;
  std::string valid = "";  // "" for NULL
};

base::Rowset Lines(const std::vector<LineSpec>& specs);

// One row of an issue plan (AddFromOutPlan): article 1 in boxes from S1.
struct PlanRow {
  const char* order;  // nullptr: NULL
  const char* line;
  const char* dept;
  const char* sort_id = "1";
  const char* qty = "1";
};

base::Rowset Plan(const std::vector<PlanRow>& rows);

base::DateTime D(const char* text);

// "<no rowset>", or the fields as "Name:type ..." followed by one line per
// row, "v1|v2|...", NULL shown as "<null>".
std::string Dump(const std::optional<base::Rowset>& rs);
base::Currency C(const char* text);

struct CallResult {
  bool ok = false;
  std::string err;
  std::string id;
  base::Status released;  // settling the call's transaction
};

// A call's error text, or "<ok>" for a call that succeeded.
inline std::string Refusal(const CallResult& r) { return r.ok ? "<ok>" : r.err; }

class BillFixture : public ::testing::Test {
 protected:
  BillFixture();

  // Writer calls as user `login`, each a root call of its own.
  CallResult AddNew(const std::string& id, const std::vector<LineSpec>& lines,
                    bool auto_exe = false, const std::string& login = "amy",
                    const std::string& date = "2026-12-06", const std::string& ord_bill = "MO1",
                    const std::string& ord_line = "1", const std::string& memo = "memo");
  CallResult ExecBill(const std::string& id, const std::string& date = "2026-12-06",
                      const std::string& login = "amy");
  CallResult UnExecBill(const std::string& id, const std::string& login = "amy");
  CallResult Delete(const std::string& id, const std::string& login = "amy");
  // Revises `old_id` into `new_id` with the given lines, as `login`.
  CallResult Edit(const std::string& old_id, const std::string& new_id,
                  const std::vector<LineSpec>& lines, const std::string& login = "amy",
                  const std::string& date = "2026-12-06", const std::string& memo = "revised",
                  const std::string& ord_line = "1");
  CallResult AddFromOutPlan(int32_t count, const base::Rowset& plan,
                            const std::string& date = "2026-12-06",
                            const std::string& login = "amy");

  // Runs `body` on a fresh writer object of `login` as a root call.
  template <typename Body>
  CallResult Writer(const std::string& login, Body&& body) {
    CallResult r;
    host::Instance obj =
        host::Host(company_.classes()).CreateObject("Plexavo.MF_OutBillE", login).value();
    if (dry_run_) obj.SetDryRun();
    r.ok = body(*obj.As<writer::MF_OutBillE>(), r);
    r.released = obj.Release();
    EXPECT_TRUE(commit_may_fail_ || r.released.ok());
    if (const host::Effects* done = obj.effects()) effects_ = *done;
    return r;
  }

  // Runs `body` on a fresh reader object of `login` as a root call; the
  // object's vote lands in read_vote_.
  template <typename Body>
  auto Read(const std::string& login, Body&& body) {
    host::Instance obj =
        host::Host(company_.classes()).CreateObject("Plexavo.MF_OutBill", login).value();
    auto result = body(*obj.As<reader::MF_OutBill>());
    read_vote_ = obj.context()->vote();
    EXPECT_TRUE(obj.Release().ok());
    return result;
  }

  // One call of a table and what it must leave: its error text ("" for a
  // success) and the rows the table's state query answers afterwards ("":
  // the same rows as before the call).
  struct Step {
    std::string what;
    std::function<CallResult()> call;
    std::string err;
    std::string rows = "";
  };
  // Runs the steps in order, judging each by `state`; last_id_ is the
  // bill number the last successful step answered.
  void RunSteps(const std::vector<Step>& steps, const std::function<std::string()>& state);
  std::string last_id_;

  // The rows each query answers, its columns read as `types` says (see
  // TestCompany::Rows), one line per query.
  std::string QueryRows(const std::vector<std::pair<std::string, std::string>>& queries);

  // Stored values, read as text ("<none>" / "<null>").
  std::string Header(const std::string& id, const std::string& column);
  base::Currency Balance(const std::string& shelf, int32_t art, const std::string& serial = "");
  base::Currency BomOut(int32_t bom_id);
  int64_t Count(const std::string& table) { return company_.Count(table); }

  TestCompany company_;
  bool dry_run_ = false;          // writer calls run as dry runs; their effects land in effects_
  bool commit_may_fail_ = false;  // a writer call's transaction may fail to settle
  host::Effects effects_;
  host::Vote read_vote_ = host::Vote::kNone;
  int32_t bom_line1_a_ = 0;     // MO1 line 1, article 1, the lower ID
  int32_t bom_line1_b_ = 0;     // MO1 line 1, article 1, the higher ID
  int32_t bom_line1_art2_ = 0;  // MO1 line 1, article 3
  int32_t bom_whole_ = 0;       // MO1 as a whole, article 1
};

}  // namespace testing_support

#endif  // PLEXAVO_TESTS_BILL_FIXTURE_H_
