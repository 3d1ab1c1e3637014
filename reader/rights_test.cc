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

// Each user's rights, asked all at once and one by one. A user the service
// does not know: the service's text, the flags left alone, no right. Without
// the user service every call fails, each with its own method's text and
// record (a single flag runs CheckRight and adds nothing of its own).
TEST(RightsTest, CheckRightAnswersFromTheUsersGrants) {
  TestCompany company;
  testing_support::RegisterProbes(company.classes());
  company.AddUser("amy", "Amy", "", {"MF0301", "MF0303", "SP0602"});
  platform::EventLogCapture log;
  host::ClassTable bare;  // no user service registered
  testing_support::RegisterProbes(bare);
  const std::string stranger =
      "user 'stranger' is not a user of company database '" + company.name() + "'";
  const std::string none =
      "429-ActiveX component can't create object: Plexavo.UserService-Plexavo-";
  const std::string check = "Method: Plexavo.CheckRight;";
  const std::string records = check + check + check + check + check +
                              "Method: Plexavo.AllowEditRight;Method: Plexavo.AllowUnExeRight;";
  const struct {
    const char* login;
    host::ClassTable& classes;
    bool ok;
    std::string flags, one_by_one, others, err, others_err, records = "";
  } cases[] = {
      // others: edit, reverse others' bills
      {"amy", company.classes(), true, "1010", "1010", "10", "", ""},
      {"stranger", company.classes(), false, "1111", "0000", "11", stranger, stranger},
      {"amy", bare, false, "1111", "0000", "11", none + "Plexavo.CheckRight",
       none + "Plexavo.AllowUnExeRight", records},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.login + std::string(c.records.empty() ? "" : " without the user service"));
    log.Clear();
    host::Instance probe =
        host::Host(c.classes).CreateObject(testing_support::kProbeInTx, c.login).value();
    Rights rights(*probe.context());
    bool read = true, edit = true, exec = true, unexec = true, allow_edit = true,
         allow_unexec = true;
    std::string err;
    EXPECT_EQ(rights.CheckRight(read, edit, exec, unexec, company.name(), err), c.ok);
    EXPECT_EQ(Flags(read, edit, exec, unexec), c.flags);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(probe.context()->vote(), c.ok ? host::Vote::kComplete : host::Vote::kAbort);
    const std::string& db = company.name();
    EXPECT_EQ(Flags(rights.ReadRight(db), rights.EditRight(db), rights.ExecRight(db),
                    rights.UnExecRight(db)),
              c.one_by_one);
    err.clear();
    EXPECT_EQ(rights.AllowEditRight(allow_edit, db, err), c.ok);
    EXPECT_EQ(rights.AllowUnExeRight(allow_unexec, db, err), c.ok);
    EXPECT_EQ(std::to_string(allow_edit) + std::to_string(allow_unexec), c.others);
    EXPECT_EQ(err, c.others_err);
    std::string heads;  // a reported failure is no unexpected one
    for (const std::string& r : log.Records()) heads += r.substr(0, r.find("\r\n")) + ";";
    EXPECT_EQ(heads, c.records);
  }
}

}  // namespace
}  // namespace reader
