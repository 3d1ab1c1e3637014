#include "frame/share_bus.h"

#include <gtest/gtest.h>

#include "company/cnn_string.h"
#include "messages/catalogue.h"
#include "tests/probe_object.h"
#include "tests/test_company.h"

namespace frame::share_bus {
namespace {

using testing_support::TestCompany;

class ShareBusTest : public ::testing::Test {
 protected:
  ShareBusTest() {
    testing_support::RegisterProbes(company_.classes());
    company_.AddUser("amy", "Amy", "", {});
  }
  host::Instance Probe(const char* progid = testing_support::kProbeInTx) {
    return host::Host(company_.classes()).CreateObject(progid, "amy").value();
  }
  TestCompany company_;
};

// (A whole conversion, 3 boxes of 12: the reader's DetailInfo test.)
TEST_F(ShareBusTest, StMeasQtyConvertsExactly) {
  company_.Exec(
      "INSERT INTO FD_ArtMeas (ID, MeasID, Num, Den) VALUES (1, 'third', :n1, :n3), "
      "(1, 'zero', :n1, 0)",
      {{"n1", base::Currency::FromInt(1)}, {"n3", base::Currency::FromInt(3)}});
  EXPECT_EQ(StMeasQty(1, "third", base::Currency::FromInt(1), company_.name()).value().ToString(),
            "0.3333");
  auto zero = StMeasQty(1, "zero", base::Currency::FromInt(1), company_.name());
  ASSERT_FALSE(zero.ok());
  EXPECT_EQ(zero.err().number, base::kErrDivisionByZero + company::kRaiseOffset);
}

TEST_F(ShareBusTest, MachineTimeIsOnOnlyForExactlyOne) {
  struct Case {
    const char* value;  // nullptr: NULL
    bool on;
  } cases[] = {{"1", true}, {"0", false}, {" 1", false}, {"", false}, {"11", false}};
  for (const Case& c : cases) {
    company_.Exec("DELETE FROM SM_Config");
    company_.Exec("INSERT INTO SM_Config (ID, Value) VALUES ('MachineTime', :v)", {{"v", c.value}});
    host::Instance probe = Probe();
    bool on = !c.on;
    std::string err;
    ASSERT_TRUE(GetMachineTime(*probe.context(), on, company_.name(), err)) << c.value;
    EXPECT_EQ(on, c.on) << c.value;
  }
  for (bool null_value : {false, true}) {
    company_.Exec("DELETE FROM SM_Config");
    if (null_value) company_.Exec("INSERT INTO SM_Config (ID, Value) VALUES ('MachineTime', NULL)");
    host::Instance probe = Probe();
    bool on = false;
    std::string err;
    EXPECT_FALSE(GetMachineTime(*probe.context(), on, company_.name(), err));
    EXPECT_NE(err.find("-Share_Bus.GetMachineTime"), std::string::npos) << err;
    EXPECT_EQ(probe.context()->vote(), host::Vote::kAbort);
  }
}

TEST_F(ShareBusTest, MakeLogWritesOneRowInsideTheTransaction) {
  {
    host::Instance probe = Probe();
    std::string err;
    ASSERT_TRUE(MakeLog(*probe.context(), "新增生产领料单O'Brien", company_.name(), err)) << err;
    EXPECT_EQ(company_.Count("SM_UseLog"), 0);  // not committed yet
    probe.context()->SetComplete();
  }
  EXPECT_EQ(company_.Rows("SELECT UserName, Component, LogDesc FROM SM_UseLog", "ttt"),
            "amy|生产领料单|新增生产领料单O'Brien");
  base::Rowset when =
      company_.Query("SELECT Date FROM SM_UseLog", {{"Date", base::FieldType::kDate}});
  base::DateTime at = *when.Row(0)[0].AsDate();
  EXPECT_LE(std::abs(at.seconds() - base::DateTime::Now().seconds()), 60);

  host::Instance outside = Probe(testing_support::kProbeNoTx);
  std::string err;
  EXPECT_FALSE(MakeLog(*outside.context(), "x", company_.name(), err));
  EXPECT_EQ(err, messages::kNotInTransaction);
  EXPECT_EQ(company_.Count("SM_UseLog"), 1);
}

}  // namespace
}  // namespace frame::share_bus
