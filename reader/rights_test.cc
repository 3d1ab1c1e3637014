#include "reader/rights.h"

#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "tests/probe_object.h"
#include "tests/test_company.h"

namespace reader {
namespace {

using testing_support::TestCompany;

// Flags as "read edit exec unexec", 1 for granted.
std::string Flags(bool read, bool edit, bool exec, bool unexec) {
  return std::to_string(read) + std::to_string(edit) + std::to_string(exec) +
         std::to_string(unexec);
}

// Read is a precondition of the others; a single right needs exactly "1".
TEST(RightsFromAnswerTest, ReadIsAPreconditionOfTheOthers) {
  const struct {
    const char *answer, *flags;
  } cases[] = {{"1111", "1111"}, {"0111", "0000"}, {"11", "1100"},   {"1", "1000"},
               {"", "0000"},     {"1011", "1011"}, {"1x1 ", "1010"}, {"11111", "1111"}};
  for (const auto& c : cases) {
    BillRights r = RightsFromAnswer(c.answer);
    EXPECT_EQ(Flags(r.read, r.edit, r.exec, r.unexec), c.flags) << c.answer;
    EXPECT_EQ(SingleRightGranted(c.answer), std::string(c.answer) == "1") << c.answer;
  }
  for (const char* no : {" 1", "0", "1 "}) EXPECT_FALSE(SingleRightGranted(no)) << no;
}

class RightsTest : public ::testing::Test {
 protected:
  RightsTest() {
    testing_support::RegisterProbes(company_.classes());
    company_.AddUser("amy", "Amy", "", {"MF0301", "MF0303", "SP0602"});
    company_.AddUser("bob", "Bob", "", {"MF0302", "MF0303", "MF0304"});
  }

  host::Instance Probe(const std::string& login) {
    return host::Host(company_.classes()).CreateObject(testing_support::kProbeInTx, login).value();
  }

  TestCompany company_;
  platform::EventLogCapture log_;
};

// Each user's rights, asked all at once and one by one. A user the service
// does not know: the service's text, the flags left alone, no right.
TEST_F(RightsTest, CheckRightAnswersFromTheUsersGrants) {
  const std::string stranger =
      "user 'stranger' is not a user of company database '" + company_.name() + "'";
  const struct {
    const char* login;
    bool ok;
    std::string flags, one_by_one, others, err;  // others: edit, reverse others' bills
  } cases[] = {
      {"amy", true, "1010", "1010", "10", ""},
      {"bob", true, "0000", "0000", "00", ""},  // answer "0111": without read nothing
      {"stranger", false, "1111", "0000", "11", stranger},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.login);
    host::Instance probe = Probe(c.login);
    Rights rights(*probe.context());
    bool read = true, edit = true, exec = true, unexec = true, allow_edit = true,
         allow_unexec = true;
    std::string err;
    EXPECT_EQ(rights.CheckRight(read, edit, exec, unexec, company_.name(), err), c.ok);
    EXPECT_EQ(Flags(read, edit, exec, unexec), c.flags);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(probe.context()->vote(), c.ok ? host::Vote::kComplete : host::Vote::kAbort);
    const std::string& db = company_.name();
    EXPECT_EQ(Flags(rights.ReadRight(db), rights.EditRight(db), rights.ExecRight(db),
                    rights.UnExecRight(db)),
              c.one_by_one);
    err.clear();
    EXPECT_EQ(rights.AllowEditRight(allow_edit, db, err), c.ok);
    EXPECT_EQ(rights.AllowUnExeRight(allow_unexec, db, err), c.ok);
    EXPECT_EQ(std::to_string(allow_edit) + std::to_string(allow_unexec), c.others);
    EXPECT_EQ(err, c.err);
  }
  EXPECT_TRUE(log_.Records().empty());  // a reported failure is no unexpected one
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
