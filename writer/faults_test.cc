// A writer call that fails anywhere leaves the company database as it was
// and tells the caller what failed: every statement the call issues, every
// connection it opens and its commit are failed in turn.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "data/fault_injection.h"
#include "data/session.h"
#include "schema/migrations.h"
#include "schema/schema_model.h"
#include "tests/bill_fixture.h"

namespace writer {
namespace {

using data::DbFailure;
using data::FaultPoint;
using testing_support::BillFixture;
using testing_support::LineSpec;
using testing_support::Plan;

using Op = std::function<bool(MF_OutBillE&, std::string& err)>;

struct Answer {
  bool ok = false;
  std::string err;
  base::Status released;
  int64_t statements = 0;  // issued by the call itself, before its commit
};

// What a caller is told when the database fails under the call: the
// database's description, within the composed text of the operation or of
// the service that met it. A rights look-up that fails counts as a right
// not granted (reader/rights.h), and is answered as such.
bool AnswersTheFailure(const std::string& err) {
  static const std::set<std::string> kRightsRefusals = {
      "没有生产领料单的维护权限！", "没有生产领料单的执行权限！", "没有生产领料单的反执行权限！"};
  return err.find(data::kInjectedFailure) != std::string::npos || kRightsRefusals.count(err) == 1;
}

class WriterFaultTest : public BillFixture {
 protected:
  // Every row of every table, as text, in a stable order.
  std::map<std::string, std::vector<std::string>> Snapshot() {
    static const schema::SchemaModel model = schema::ReadSchemaModel(schema::Migrations()).value();
    std::map<std::string, std::vector<std::string>> rows;
    for (const schema::TableModel& table : model.tables) {
      std::string columns, order;
      std::vector<base::Field> fields;
      for (const schema::ColumnModel& c : table.columns) {
        columns += (columns.empty() ? "" : ", ") + c.name;
        order += (order.empty() ? "" : ", ") + std::to_string(fields.size() + 1);
        fields.push_back({c.name, base::FieldType::kText});
      }
      base::Rowset rs = company_.Query(
          "SELECT " + columns + " FROM " + table.name + " ORDER BY " + order, fields);
      for (const auto& row : rs.rows()) {
        std::string line;
        for (const base::Value& v : row) line += (v.IsNull() ? "<null>" : v.TextOrEmpty()) + "|";
        rows[table.name].push_back(line);
      }
    }
    return rows;
  }

  Answer Call(const Op& op, const data::ScopedFault* counting = nullptr) {
    Answer a;
    host::Instance obj =
        host::Host(company_.classes()).CreateObject("Plexavo.MF_OutBillE", "amy").value();
    a.ok = op(*obj.As<MF_OutBillE>(), a.err);
    if (counting != nullptr) a.statements = counting->seen(FaultPoint::kStatement);
    a.released = obj.Release();
    return a;
  }

  // Fails the commit, then each statement and each opening of a connection
  // the call makes, with `failure`; each time nothing may change. A last,
  // clean run must change something, or the comparisons proved nothing.
  void FailEverywhere(const Op& op, DbFailure failure = DbFailure::kConstraint) {
    const auto before = Snapshot();
    const std::string source = data::ProviderSource(company_.target().backend);
    int64_t statements = 0, openings = 0;
    {
      data::ScopedFault fault({FaultPoint::kCommit, 1, 1, failure});
      const Answer a = Call(op);
      statements = fault.seen(FaultPoint::kStatement);
      openings = fault.seen(FaultPoint::kOpen);
      EXPECT_TRUE(a.ok) << a.err;
      ASSERT_FALSE(a.released.ok());
      EXPECT_EQ(a.released.err().description,
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
        data::ScopedFault fault({point, n, 1, failure});
        const Answer a = Call(op);
        EXPECT_EQ(fault.injected(), 1);
        // The change feed's statements run last, at the commit: failing one
        // fails the commit of a call that itself succeeded.
        if (a.ok) {
          ASSERT_FALSE(a.released.ok());
          EXPECT_NE(a.released.err().description.find("injected failure"), std::string::npos);
        } else {
          EXPECT_TRUE(a.released.ok());
          EXPECT_TRUE(AnswersTheFailure(a.err)) << a.err;
        }
        EXPECT_EQ(Snapshot(), before);
      }
    }
    const Answer clean = Call(op);
    EXPECT_TRUE(clean.ok && clean.released.ok()) << clean.err;
    EXPECT_NE(Snapshot(), before);
  }

  std::string id_;
  std::string new_id_;
};

TEST_F(WriterFaultTest, AddNewLeavesNothingBehind) {
  for (bool auto_exe : {false, true}) {
    SCOPED_TRACE(auto_exe ? "executed at once" : "saved only");
    FailEverywhere([&](MF_OutBillE& w, std::string& err) {
      id_ = "";
      return w.AddNew(id_, testing_support::D("2026-12-06"), "", "MO1", "1", "", "", "Oscar",
                      "memo",
                      testing_support::Lines({{.sort_id = "1", .meas = "box", .qty = "3"},
                                              {.sort_id = "2", .art = 3, .qty = "2", .bom = 7}}),
                      auto_exe, company_.name(), err);
    });
  }
}

TEST_F(WriterFaultTest, EditDeleteExecuteAndReverseLeaveNothingBehind) {
  ASSERT_TRUE(AddNew("202612060001", {{.serial = "", .qty = "2"}}).ok);
  ASSERT_TRUE(AddNew("202612060002", {{.qty = "4", .bom = bom_line1_a_}}, true).ok);
  struct Case {
    const char* what;
    Op op;
  } cases[] = {
      {"execute",
       [&](MF_OutBillE& w, std::string& err) {
         return w.ExecBill("202612060001", testing_support::D("2026-12-06"), company_.name(), err);
       }},
      {"reverse",
       [&](MF_OutBillE& w, std::string& err) {
         return w.UnExecBill("202612060002", company_.name(), err);
       }},
      {"edit",
       [&](MF_OutBillE& w, std::string& err) {
         new_id_ = "202612060009";
         return w.Edit("202612060002", new_id_, testing_support::D("2026-12-06"), "OC1", "MO1", "1",
                       "", "ITEM", "Olga", "revised",
                       testing_support::Lines({{.qty = "5"}, {.sort_id = "2", .art = 3}}),
                       company_.name(), err);
       }},
      {"delete", [&](MF_OutBillE& w,
                     std::string& err) { return w.Delete("202612060009", company_.name(), err); }},
  };
  // Each case ends with a clean run, which the next case starts from.
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FailEverywhere(c.op);
  }
}

TEST_F(WriterFaultTest, AddFromOutPlanLeavesNothingBehind) {
  const base::Rowset plan = Plan({{"MO1", "1", nullptr, "1", "2"},
                                  {"MO1", "1", "D9", "2", "3"},
                                  {"MO2", "1", nullptr, "1", "1"}});
  FailEverywhere([&](MF_OutBillE& w, std::string& err) {
    return w.AddFromOutPlan(testing_support::D("2026-12-06"), 2, plan, company_.name(), err);
  });
}

// A failure of another class in the operation's own statements answers
// its own number the same way: here the last statement of an execution,
// the one that writes its use-log row.
TEST_F(WriterFaultTest, TheFailureClassDecidesTheNumber) {
  ASSERT_TRUE(AddNew("202612060001", {{}}).ok);
  const Op exec = [&](MF_OutBillE& w, std::string& err) {
    return w.ExecBill("202612060001", testing_support::D("2026-12-06"), company_.name(), err);
  };
  int64_t last = 0;
  {
    data::ScopedFault counting({FaultPoint::kCommit, 1, 1, DbFailure::kConstraint});
    last = Call(exec, &counting).statements;
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
    const Answer a = Call(exec);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.err,
              std::to_string(c.number) + "-injected failure-" + source + "-Share_Bus.MakeLog");
  }
  EXPECT_EQ(Header("202612060001", "Execer"), "<null>");
}

}  // namespace
}  // namespace writer
