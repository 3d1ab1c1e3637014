// Writer calls that keep nothing: a call that fails anywhere leaves the
// company database as it was and tells the caller what failed (every
// statement the call issues, every connection it opens and its commit are
// failed in turn); a dry run keeps nothing and tells what it did.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "data/fault_injection.h"
#include "data/session.h"
#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using data::DbFailure;
using data::FaultPoint;
using testing_support::CallResult;
using testing_support::Plan;

// What a caller is told when the database fails under the call: the
// database's description, within the composed text of the operation or of
// the service that met it. A rights look-up that fails counts as a right
// not granted (reader/rights.h), and is answered as such.
bool AnswersTheFailure(const std::string& err) {
  static const std::set<std::string> kRightsRefusals = {
      "没有生产领料单的维护权限！", "没有生产领料单的执行权限！", "没有生产领料单的反执行权限！"};
  return err.find(data::kInjectedFailure) != std::string::npos || kRightsRefusals.count(err) == 1;
}

class WriterFaultTest : public testing_support::BillFixture {
 protected:
  WriterFaultTest() { commit_may_fail_ = true; }

  // Fails the commit, then each statement and each opening of a connection
  // the call makes (counted while the commit failed); each time nothing may
  // change. A last, clean run must change something, or the comparisons
  // proved nothing.
  void FailEverywhere(const std::function<CallResult()>& call) {
    const std::string before = company_.Dump();
    std::map<FaultPoint, int64_t> count = {{FaultPoint::kCommit, 1}};
    for (FaultPoint point : {FaultPoint::kCommit, FaultPoint::kStatement, FaultPoint::kOpen}) {
      for (int64_t n = 1; n <= count[point]; ++n) {
        SCOPED_TRACE(testing::Message()
                     << "point " << int(point) << ", " << n << " of " << count[point]);
        data::ScopedFault fault({point, n, 1, DbFailure::kConstraint});
        const CallResult r = call();
        EXPECT_EQ(fault.injected(), 1);
        if (point == FaultPoint::kCommit) {
          count[FaultPoint::kStatement] = fault.seen(FaultPoint::kStatement);
          count[FaultPoint::kOpen] = fault.seen(FaultPoint::kOpen);
          EXPECT_TRUE(r.ok) << r.err;
        }
        // The change feed's statements run last, at the commit: failing one
        // fails the commit of a call that itself succeeded.
        if (r.ok) {
          ASSERT_FALSE(r.released.ok());
          EXPECT_EQ(r.released.err().description,
                    "The transaction could not be committed: injected failure");
        } else {
          EXPECT_TRUE(r.released.ok());
          EXPECT_TRUE(AnswersTheFailure(r.err)) << r.err;
        }
        EXPECT_EQ(company_.Dump(), before);
      }
    }
    EXPECT_GT(count[FaultPoint::kStatement], 0);
    const CallResult clean = call();
    EXPECT_TRUE(clean.ok && clean.released.ok()) << clean.err;
    EXPECT_NE(company_.Dump(), before);
  }
};

TEST_F(WriterFaultTest, EveryWriterOperationLeavesNothingBehind) {
  ASSERT_TRUE(AddNew("202612060001", {{.serial = "", .qty = "2"}}).ok);
  ASSERT_TRUE(AddNew("202612060002", {{.qty = "4", .bom = bom_line1_a_}}, true).ok);
  const std::vector<testing_support::LineSpec> lines = {
      {.sort_id = "1", .meas = "box", .qty = "3"},
      {.sort_id = "2", .art = 3, .qty = "2", .bom = 7}};
  const base::Rowset plan = Plan({{"MO1", "1", nullptr, "1", "2"},
                                  {"MO1", "1", "D9", "2", "3"},
                                  {"MO2", "1", nullptr, "1", "1"}});
  const std::pair<const char*, std::function<CallResult()>> cases[] = {
      {"save", [&] { return AddNew("", lines); }},
      {"save and execute", [&] { return AddNew("", lines, true); }},
      {"execute", [&] { return ExecBill("202612060001"); }},
      {"reverse", [&] { return UnExecBill("202612060002"); }},
      {"revise", [&] { return Edit("202612060002", "202612060009", lines); }},
      {"delete", [&] { return Delete("202612060009"); }},
      {"from a plan", [&] { return AddFromOutPlan(2, plan); }},
  };
  // Each case ends with a clean run, which the next case starts from.
  for (const auto& [what, call] : cases) {
    SCOPED_TRACE(what);
    FailEverywhere(call);
  }
}

// A failure of another class in the operation's own statements answers
// its own number the same way: here the last statement of an execution,
// the one that writes its use-log row.
TEST_F(WriterFaultTest, TheFailureClassDecidesTheNumber) {
  ASSERT_TRUE(AddNew("202612060001", {{}}).ok);
  int64_t last = 0;
  {
    data::ScopedFault counting({FaultPoint::kCommit, 1, 1, DbFailure::kConstraint});
    Writer("amy", [&](MF_OutBillE& w, CallResult& r) {
      const bool ok =
          w.ExecBill("202612060001", testing_support::D("2026-12-06"), company_.name(), r.err);
      last = counting.seen(FaultPoint::kStatement);  // before the commit's own statements
      return ok;
    });
  }
  const std::string source = data::ProviderSource(company_.target().backend);
  // The failure and the number it answers.
  const std::pair<DbFailure, int32_t> cases[] = {
      {DbFailure::kConstraint, data::kDbIntegrityViolation},
      {DbFailure::kInvalidStatement, data::kDbInvalidStatement},
      {DbFailure::kNoPrivilege, data::kDbNoPrivilege},
      {DbFailure::kConnectionLost, data::kDbGeneralError},
  };
  for (const auto& [failure, number] : cases) {
    data::ScopedFault fault({FaultPoint::kStatement, last, 1, failure});
    EXPECT_EQ(testing_support::Refusal(ExecBill("202612060001")),
              std::to_string(number) + "-injected failure-" + source + "-Share_Bus.MakeLog");
  }
  EXPECT_EQ(Header("202612060001", "Execer"), "<null>");
}

class DryRunTest : public testing_support::BillFixture {
 protected:
  // A dry run of `call`: the database is the same before and after.
  CallResult DryRun(const std::function<CallResult()>& call) {
    const std::string before = company_.Dump();
    dry_run_ = true;
    CallResult r = call();
    dry_run_ = false;
    EXPECT_EQ(company_.Dump(), before);
    return r;
  }
  platform::EventLogCapture log_;
};

// What each writer operation's dry run writes down: counts of stock
// movements, BOM changes, order-line marks, numbers and use-log lines.
TEST_F(DryRunTest, EachOperationKeepsNothingAndTellsWhatItDid) {
  struct Case {
    const char* name;
    std::function<CallResult()> call;
    size_t stock, bom, orders, numbers, use_log;
  };
  const std::vector<testing_support::LineSpec> two = {{.qty = "4"},
                                                      {.sort_id = "2", .art = 3, .qty = "2"}};
  const std::string open = AddNew("", two).id, done = AddNew("", two, true).id;
  ASSERT_EQ(Count("MF_OutBill"), 2);
  const base::Rowset plan =
      Plan({{"MO1", "1", nullptr, "1", "3"}, {"MO1", "2", nullptr, "1", "3"}});
  const std::vector<Case> cases = {
      {"AddNew", [&] { return AddNew("", {{.qty = "1"}}); }, 0, 0, 0, 1, 1},
      {"AddNew executed", [&] { return AddNew("", {{.qty = "1"}}, true); }, 1, 1, 0, 1, 2},
      {"Edit", [&] { return Edit(open, "", {{.qty = "2"}}); }, 0, 0, 0, 1, 1},
      {"Delete", [&] { return Delete(open); }, 0, 0, 0, 0, 1},
      {"UnExecBill", [&] { return UnExecBill(done); }, 2, 2, 1, 0, 1},
      {"AddFromOutPlan", [&] { return AddFromOutPlan(2, plan); }, 2, 2, 1, 2, 3},
      {"ExecBill", [&] { return ExecBill(open); }, 2, 2, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    effects_ = {};
    CallResult r = DryRun(c.call);
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(
        (std::vector{effects_.stock.size(), effects_.bom.size(), effects_.orders.size(),
                     effects_.numbers.size(), effects_.use_log.size(), effects_.shortages.size()}),
        (std::vector<size_t>{c.stock, c.bom, c.orders, c.numbers, c.use_log, 0}));
  }
  // The executed bill's movements, with the balances around them (`done`
  // took 4 before).
  ASSERT_EQ(effects_.stock.size(), 2u);
  const auto& m = effects_.stock[0];
  EXPECT_EQ(m.bill + "/" + m.line + "/" + m.shelf + "/" + std::to_string(m.art) + " " +
                m.qty.ToPlainString() + " " + m.before.ToPlainString() + ">" +
                m.after.ToPlainString(),
            open + "/1/S1/1 -4 996>992");
  EXPECT_EQ(effects_.bom[0].bom_id, bom_line1_a_);
  EXPECT_EQ(effects_.bom[0].qty, testing_support::C("4"));
  EXPECT_TRUE(effects_.orders.empty());  // order line 1 was started by `done`
  EXPECT_EQ(effects_.use_log[0], "执行生产领料单" + open + "！");
}

TEST_F(DryRunTest, ShortStockListsEveryShortLineAndRefusesAsTheRealCall) {
  // Lines 1, 3 and 4 are short: 8 of 5, 60 of 50, and an article the shelf
  // has no balance of.
  const std::vector<testing_support::LineSpec> lines = {
      {.sort_id = "1", .shelf = "S2", .qty = "8"},
      {.sort_id = "2", .qty = "1"},
      {.sort_id = "3", .art = 3, .qty = "60"},
      {.sort_id = "4", .art = 3, .shelf = "S2", .qty = "1"}};
  const std::string id = AddNew("", lines).id;
  const CallResult dry = DryRun([&] { return ExecBill(id); });
  EXPECT_FALSE(dry.ok);
  EXPECT_EQ(dry.err, testing_support::Refusal(ExecBill(id)));
  std::string got;
  for (const auto& s : effects_.shortages) {
    got += s.line + ":" + s.shelf + "/" + std::to_string(s.art) + " " + s.needed.ToPlainString() +
           "-" + s.available.ToPlainString() + "=" + s.shortfall.ToPlainString() + ";";
  }
  EXPECT_EQ(got, "1:S2/1 8-5=3;3:S1/3 60-50=10;4:S2/3 1-0=1;");
  EXPECT_TRUE(effects_.stock.empty());
  // Created and executed at once: the same shortages, the same refusal.
  effects_ = {};
  CallResult at_once = DryRun([&] { return AddNew("", lines, true); });
  EXPECT_EQ(at_once.err, AddNew("", lines, true).err);
  EXPECT_EQ(effects_.shortages.size(), 3u);
}

}  // namespace
}  // namespace writer
