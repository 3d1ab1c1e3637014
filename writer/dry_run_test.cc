#include <gtest/gtest.h>

#include <functional>

#include "platform/event_log.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using testing_support::BillFixture;
using testing_support::C;
using testing_support::CallResult;
using testing_support::Plan;

class DryRunTest : public BillFixture {
 protected:
  // A dry run of `call`: the database is the same before and after.
  CallResult DryRun(const std::function<CallResult()>& call) {
    const std::string before = Snapshot();
    dry_run_ = true;
    CallResult r = call();
    dry_run_ = false;
    EXPECT_EQ(Snapshot(), before);
    return r;
  }
  std::string Bill(bool executed) {
    auto r = AddNew("", {{.qty = "4"}, {.sort_id = "2", .art = 3, .qty = "2"}}, executed);
    EXPECT_TRUE(r.ok) << r.err;
    return r.id;
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
  const std::string open = Bill(false);
  const std::string done = Bill(true);
  const std::vector<Case> cases = {
      {"AddNew", [&] { return AddNew("", {{.qty = "1"}}); }, 0, 0, 0, 1, 1},
      {"AddNew executed", [&] { return AddNew("", {{.qty = "1"}}, true); }, 1, 1, 0, 1, 2},
      {"Edit", [&] { return Edit(open, "", {{.qty = "2"}}); }, 0, 0, 0, 1, 1},
      {"Delete", [&] { return Delete(open); }, 0, 0, 0, 0, 1},
      {"ExecBill", [&] { return ExecBill(open); }, 2, 2, 0, 0, 1},
      {"UnExecBill", [&] { return UnExecBill(done); }, 2, 2, 1, 0, 1},
      {"AddFromOutPlan",
       [&] {
         return AddFromOutPlan(
             2, Plan({{"MO1", "1", nullptr, "1", "3"}, {"MO1", "2", nullptr, "1", "3"}}));
       },
       2, 2, 1, 2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    effects_ = {};
    CallResult r = DryRun(c.call);
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(effects_.stock.size(), c.stock);
    EXPECT_EQ(effects_.bom.size(), c.bom);
    EXPECT_EQ(effects_.orders.size(), c.orders);
    EXPECT_EQ(effects_.numbers.size(), c.numbers);
    EXPECT_EQ(effects_.use_log.size(), c.use_log);
    EXPECT_TRUE(effects_.shortages.empty());
  }
  // The executed bill's movements, with the balances around them.
  effects_ = {};
  ASSERT_TRUE(DryRun([&] { return ExecBill(open); }).ok);
  ASSERT_EQ(effects_.stock.size(), 2u);
  const auto& m = effects_.stock[0];
  EXPECT_EQ(m.bill + "/" + m.line + "/" + m.shelf, open + "/1/S1");
  EXPECT_EQ(m.art, 1);
  EXPECT_EQ(m.qty, C("-4"));
  EXPECT_EQ(m.before, C("996"));  // `done` took 4
  EXPECT_EQ(m.after, C("992"));
  EXPECT_EQ(effects_.bom[0].bom_id, bom_line1_a_);
  EXPECT_EQ(effects_.bom[0].qty, C("4"));
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
  CallResult dry = DryRun([&] { return ExecBill(id); });
  CallResult real = ExecBill(id);
  EXPECT_FALSE(dry.ok);
  EXPECT_FALSE(real.ok);
  EXPECT_EQ(dry.err, real.err);
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
