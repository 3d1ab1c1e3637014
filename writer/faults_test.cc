// A writer call that fails anywhere leaves the company database as it was
// and tells the caller what failed: every statement the call issues, every
// connection it opens and its commit are failed in turn.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "data/fault_injection.h"
#include "data/session.h"
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
  // the call makes; each time nothing may change. A last, clean run must
  // change something, or the comparisons proved nothing.
  void FailEverywhere(const std::function<CallResult()>& call) {
    const std::string before = Snapshot();
    int64_t statements = 0, openings = 0;
    {
      data::ScopedFault fault({FaultPoint::kCommit, 1, 1, DbFailure::kConstraint});
      const CallResult r = call();
      statements = fault.seen(FaultPoint::kStatement);
      openings = fault.seen(FaultPoint::kOpen);
      EXPECT_TRUE(r.ok) << r.err;
      ASSERT_FALSE(r.released.ok());
      EXPECT_EQ(r.released.err().description,
                "The transaction could not be committed: injected failure");
      EXPECT_EQ(fault.injected(), 1);
    }
    EXPECT_EQ(Snapshot(), before) << "after a failed commit";
    ASSERT_GT(statements, 0);
    for (FaultPoint point : {FaultPoint::kStatement, FaultPoint::kOpen}) {
      const int64_t count = point == FaultPoint::kStatement ? statements : openings;
      for (int64_t n = 1; n <= count; ++n) {
        SCOPED_TRACE(testing::Message() << (point == FaultPoint::kOpen ? "opening " : "statement ")
                                        << n << " of " << count);
        data::ScopedFault fault({point, n, 1, DbFailure::kConstraint});
        const CallResult r = call();
        EXPECT_EQ(fault.injected(), 1);
        // The change feed's statements run last, at the commit: failing one
        // fails the commit of a call that itself succeeded.
        if (r.ok) {
          ASSERT_FALSE(r.released.ok());
          EXPECT_NE(r.released.err().description.find("injected failure"), std::string::npos);
        } else {
          EXPECT_TRUE(r.released.ok());
          EXPECT_TRUE(AnswersTheFailure(r.err)) << r.err;
        }
        EXPECT_EQ(Snapshot(), before);
      }
    }
    const CallResult clean = call();
    EXPECT_TRUE(clean.ok && clean.released.ok()) << clean.err;
    EXPECT_NE(Snapshot(), before);
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
  const struct {
    const char* what;
    std::function<CallResult()> call;
  } cases[] = {
      {"save", [&] { return AddNew("", lines); }},
      {"save and execute", [&] { return AddNew("", lines, true); }},
      {"execute", [&] { return ExecBill("202612060001"); }},
      {"reverse", [&] { return UnExecBill("202612060002"); }},
      {"revise",
       [&] {
         return Edit("202612060002", "202612060009", {{.qty = "5"}, {.sort_id = "2", .art = 3}});
       }},
      {"delete", [&] { return Delete("202612060009"); }},
      {"from a plan", [&] { return AddFromOutPlan(2, plan); }},
  };
  // Each case ends with a clean run, which the next case starts from.
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FailEverywhere(c.call);
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
  struct Case {
    DbFailure failure;
    int32_t number;
  } cases[] = {
      {DbFailure::kConstraint, data::kDbIntegrityViolation},
      {DbFailure::kInvalidStatement, data::kDbInvalidStatement},
      {DbFailure::kNoPrivilege, data::kDbNoPrivilege},
      {DbFailure::kConnectionLost, data::kDbGeneralError},
  };
  for (const Case& c : cases) {
    data::ScopedFault fault({FaultPoint::kStatement, last, 1, c.failure});
    const CallResult r = ExecBill("202612060001");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.err,
              std::to_string(c.number) + "-injected failure-" + source + "-Share_Bus.MakeLog");
  }
  EXPECT_EQ(Header("202612060001", "Execer"), "<null>");
}

}  // namespace
}  // namespace writer
