#include "reader/rights.h"

#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/probe_object.h"
#include "tests/test_company.h"

namespace reader {
namespace {

using testing_support::TestCompany;

TEST(RightsFromAnswerTest, ReadIsAPreconditionOfTheOthers) {
  struct Case {
    const char* answer;
    bool read, edit, exec, unexec;
  } cases[] = {
      {"1111", true, true, true, true},   {"0111", false, false, false, false},
      {"11", true, true, false, false},   {"1", true, false, false, false},
      {"", false, false, false, false},   {"1011", true, false, true, true},
      {"1x1 ", true, false, true, false}, {"11111", true, true, true, true},
  };
  for (const Case& c : cases) {
    BillRights r = RightsFromAnswer(c.answer);
    EXPECT_EQ(r.read, c.read) << c.answer;
    EXPECT_EQ(r.edit, c.edit) << c.answer;
    EXPECT_EQ(r.exec, c.exec) << c.answer;
    EXPECT_EQ(r.unexec, c.unexec) << c.answer;
  }
}

TEST(SingleRightGrantedTest, OnlyTheExactAnswerOneGrants) {
  EXPECT_TRUE(SingleRightGranted("1"));
  for (const char* no : {"11", " 1", "", "0", "1 "}) EXPECT_FALSE(SingleRightGranted(no)) << no;
}

class RightsTest : public ::testing::Test {
 protected:
  RightsTest() { testing_support::RegisterProbes(company_.classes()); }

  host::Instance Probe(const std::string& login) {
    return host::Host(company_.classes()).CreateObject(testing_support::kProbeInTx, login).value();
  }

  TestCompany company_;
  platform::EventLogCapture log_;
};

TEST_F(RightsTest, CheckRightAnswersFromTheUsersGrants) {
  company_.AddUser("amy", "Amy", "", {"MF0301", "MF0303"});
  company_.AddUser("bob", "Bob", "", {"MF0302", "MF0303", "MF0304"});
  {
    host::Instance probe = Probe("amy");
    Rights rights(*probe.context());
    bool read = false, edit = true, exec = false, unexec = true;
    std::string err;
    ASSERT_TRUE(rights.CheckRight(read, edit, exec, unexec, company_.name(), err));
    EXPECT_TRUE(read);
    EXPECT_FALSE(edit);
    EXPECT_TRUE(exec);
    EXPECT_FALSE(unexec);
    EXPECT_EQ(err, "");
    EXPECT_EQ(probe.context()->vote(), host::Vote::kComplete);
    EXPECT_TRUE(rights.ReadRight(company_.name()));
    EXPECT_FALSE(rights.EditRight(company_.name()));
    EXPECT_TRUE(rights.ExecRight(company_.name()));
    EXPECT_FALSE(rights.UnExecRight(company_.name()));
  }
  {
    // Answer "0111": without read nothing is granted.
    host::Instance probe = Probe("bob");
    Rights rights(*probe.context());
    bool read = true, edit = true, exec = true, unexec = true;
    std::string err;
    ASSERT_TRUE(rights.CheckRight(read, edit, exec, unexec, company_.name(), err));
    EXPECT_FALSE(read || edit || exec || unexec);
    EXPECT_FALSE(rights.EditRight(company_.name()));
  }
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(RightsTest, ServiceFailureLeavesFlagsAndGivesItsTextOrABareFalse) {
  host::Instance probe = Probe("stranger");
  Rights rights(*probe.context());
  bool read = true, edit = true, exec = true, unexec = true;
  std::string err;
  EXPECT_FALSE(rights.CheckRight(read, edit, exec, unexec, company_.name(), err));
  EXPECT_TRUE(read && edit && exec && unexec);
  EXPECT_EQ(err, "user 'stranger' is not a user of company database '" + company_.name() + "'");
  EXPECT_EQ(probe.context()->vote(), host::Vote::kAbort);
  EXPECT_FALSE(rights.EditRight(company_.name()));
  EXPECT_TRUE(log_.Records().empty());  // a reported failure is no unexpected one
}

TEST_F(RightsTest, SingleRightsForOthersBills) {
  company_.AddUser("amy", "Amy", "", {"MF0301", "SP0602"});
  bool allowed = false;
  std::string err;
  {
    // One call's transaction at a time: each holds the database's write lock.
    host::Instance probe = Probe("amy");
    Rights rights(*probe.context());
    ASSERT_TRUE(rights.AllowEditRight(allowed, company_.name(), err));
    EXPECT_TRUE(allowed);
    allowed = true;
    ASSERT_TRUE(rights.AllowUnExeRight(allowed, company_.name(), err));
    EXPECT_FALSE(allowed);
    EXPECT_EQ(err, "");
  }

  host::Instance other = Probe("stranger");
  Rights none(*other.context());
  allowed = true;
  EXPECT_FALSE(none.AllowEditRight(allowed, company_.name(), err));
  EXPECT_TRUE(allowed);  // untouched
  EXPECT_EQ(err, "user 'stranger' is not a user of company database '" + company_.name() + "'");
}

TEST_F(RightsTest, ServiceThatCannotBeCreatedIsAnUnexpectedFailure) {
  host::ClassTable bare;  // no user service registered
  testing_support::RegisterProbes(bare);
  host::Instance probe = host::Host(bare).CreateObject(testing_support::kProbeInTx, "amy").value();
  Rights rights(*probe.context());
  bool read = false, edit = false, exec = false, unexec = false;
  std::string err;
  EXPECT_FALSE(rights.CheckRight(read, edit, exec, unexec, company_.name(), err));
  EXPECT_EQ(err,
            "429-ActiveX component can't create object: Plexavo.UserService-Plexavo-"
            "Plexavo.CheckRight");
  EXPECT_EQ(probe.context()->vote(), host::Vote::kAbort);
  log_.Clear();
  EXPECT_FALSE(rights.ExecRight(company_.name()));
  auto records = log_.Records();
  ASSERT_EQ(records.size(), 1u);  // CheckRight's own record; ExecRight adds none
  EXPECT_EQ(records[0].substr(0, records[0].find("\r\n")), "Method: Plexavo.CheckRight");
  bool allowed = false;
  EXPECT_FALSE(rights.AllowUnExeRight(allowed, company_.name(), err));
  EXPECT_NE(err.find("-Plexavo.AllowUnExeRight"), std::string::npos);
}

}  // namespace
}  // namespace reader
