// What runs inside the operation frame, on one company: the frame's own
// runs (texts, votes, results, records), the share bus calls, and the bill
// numbers drawn for new bills.
#include "frame/op_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>

#include "company/cnn_string.h"
#include "frame/bill_id.h"
#include "frame/share_bus.h"
#include "messages/catalogue.h"
#include "platform/event_log.h"
#include "tests/probe_object.h"
#include "tests/test_company.h"

namespace frame::share_bus {
namespace {

using host::Vote;
using testing_support::TestCompany;

class FrameTest : public ::testing::Test {
 protected:
  FrameTest() {
    testing_support::RegisterProbes(company_.classes());
    company_.AddUser("amy", "Amy", "", {});
  }

  host::Instance Probe(const char* progid = testing_support::kProbeInTx) {
    return host::Host(company_.classes()).CreateObject(progid, "amy").value();
  }

  // The first line of each event-log record, each ended by ";".
  std::string RecordHeads() {
    std::string heads;
    for (const std::string& r : log_.Records()) heads += r.substr(0, r.find("\r\n")) + ";";
    return heads;
  }

  // Makes `value` the only setting, under `id`.
  void Setting(const char* id, base::Value value) {
    company_.Exec("DELETE FROM SM_Config");
    company_.Exec("INSERT INTO SM_Config (ID, Value) VALUES (:id, :v)", {{"id", id}, {"v", value}});
  }

  // GetBillID's numbers for MF_OutBill on `date`, or "refused: " and
  // its error text; the vote follows the answer.
  std::string Get(int count, const char* date = "2026-12-06") {
    host::Instance probe = Probe();
    std::string ids, err;
    const bool ok = GetBillID(*probe.context(), "MF_OutBill", count,
                              base::DateTime::Parse(date).value(), ids, company_.name(), err);
    EXPECT_EQ(probe.context()->vote(), ok ? Vote::kComplete : Vote::kAbort);
    return ok ? ids : "refused: " + err;
  }

  TestCompany company_;
  platform::EventLogCapture log_;
};

// The body moves the method text on before it ends; a composed text names
// the current one. Anything thrown is an unexpected failure (number 51).
TEST_F(FrameTest, WriterOutcomesDecideTextVoteAndResult) {
  const std::string record = "Method: Plexavo.AddNew#3.5;";
  const struct {
    std::optional<Outcome> outcome;  // none: the body throws
    std::string err;
    Vote vote;
    std::string records = "";
  } cases[] = {
      {Outcome::Ok(), "", Vote::kComplete},
      {Outcome::Refused("no"), "no", Vote::kAbort},
      {Outcome::Reported(), "callee's", Vote::kAbort},
      {Outcome::Fault(base::Err{5, "s", "d"}), "5-d-s-Plexavo.AddNew#3.5", Vote::kAbort, record},
      {std::nullopt, "51-boom-Plexavo-Plexavo.AddNew#3.5", Vote::kAbort, record},
  };
  for (const auto& c : cases) {
    log_.Clear();
    host::Instance probe = Probe();
    std::string err;
    bool ok = RunWriter(*probe.context(), "Plexavo.AddNew#1", company_.name(), err,
                        [&](Call& call) -> Outcome {
                          call.set_method("Plexavo.AddNew#3.5");
                          if (!c.outcome) throw std::runtime_error("boom");
                          if (c.outcome->kind() == Outcome::Kind::kReported)
                            call.err() = "callee's";
                          return *c.outcome;
                        });
    EXPECT_EQ(ok, c.vote == Vote::kComplete);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(probe.context()->vote(), c.vote);
    EXPECT_EQ(RecordHeads(), c.records);
  }
}

// A reader that fails answers no rowset even when its body set one; a
// service that reports a failure keeps the value its body set.
TEST_F(FrameTest, FailedReaderAnswersNothingAFailedServiceItsValue) {
  host::Instance reader = Probe();
  std::string err;
  auto faulty = [](Call&, std::optional<base::Rowset>& result) {
    result = base::Rowset();
    return Outcome::Fault(base::Err{5, "s", "d"});
  };
  // No language, no right: only the connection and the body.
  EXPECT_FALSE(RunReader<std::optional<base::Rowset>>(*reader.context(), "Plexavo.GetContent",
                                                      company_.name(), err, std::nullopt,
                                                      ReaderGate{}, faulty));
  EXPECT_EQ(err, "5-d-s-Plexavo.GetContent");
  EXPECT_EQ(RecordHeads(), "Method: Plexavo.GetContent;");
  EXPECT_EQ(reader.context()->vote(), Vote::kAbort);
  (void)reader.Release();
  host::Instance service = Probe();
  auto reported = [](Call& call, std::string& result) {
    result = "partial";
    call.err() = "service said no";
    return Outcome::Reported();
  };
  EXPECT_EQ(RunService<std::string>(*service.context(), "Plexavo.UserName", company_.name(), err,
                                    "", reported),
            "partial");
  EXPECT_EQ(err, "service said no");
  EXPECT_EQ(service.context()->vote(), Vote::kAbort);
}

// The frame reports a missing or broken company database with the data
// layer's text and record; so does the caller's language look-up, which
// hands on the user service's text. (Each outside service: services/.)
TEST_F(FrameTest, MissingOrBrokenCompanyDatabasesAreReportedAlike) {
  for (const auto& d : testing_support::UnusableDbs(company_)) {
    for (const std::string method : {"Plexavo.PrintRst", "Plexavo.UserService.GetLanguage"}) {
      SCOPED_TRACE(d.db + " via " + method);
      log_.Clear();
      host::Instance probe = Probe();
      std::string lang, err;
      if (method == "Plexavo.PrintRst") {
        RunReader<bool>(*probe.context(), method, d.db, err, false, ReaderGate{},
                        [](Call&, bool&) { return Outcome::Ok(); });
      } else {
        EXPECT_FALSE(GetUserLang(*probe.context(), lang, d.db, err));
      }
      EXPECT_EQ(err, d.fault + "-" + method);
      std::string expected;
      for (const std::string& r : d.settings_records) expected += r + ";";
      EXPECT_EQ(RecordHeads(), expected + "Method: " + method + ";");
    }
  }
}

TEST_F(FrameTest, LanguageLookUpWithoutTheUserService) {
  host::ClassTable bare;
  testing_support::RegisterProbes(bare);
  host::Instance lonely = host::Host(bare).CreateObject(testing_support::kProbeInTx, "amy").value();
  std::string lang, err;
  EXPECT_FALSE(GetUserLang(*lonely.context(), lang, company_.name(), err));
  EXPECT_EQ(err,
            "429-ActiveX component can't create object: Plexavo.UserService-Plexavo-"
            "Share_Bus.GetUserLang");
  EXPECT_EQ(lonely.context()->vote(), Vote::kAbort);
}

// (A whole conversion, 3 boxes of 12: the reader's DetailInfo test.)
TEST_F(FrameTest, StMeasQtyConvertsExactly) {
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

// On for exactly "1"; without the setting, or with a NULL, the call fails.
TEST_F(FrameTest, MachineTimeIsOnOnlyForExactlyOne) {
  const std::string eof =
      "3021-Either BOF or EOF is True, or the current record has been deleted.-Plexavo-"
      "Share_Bus.GetMachineTime";
  const struct {
    base::Value value;
    std::string answer;  // "1" on, "0" off, or the error text
    bool row = true;
  } cases[] = {
      {"1", "1"},       {"0", "0"},
      {" 1", "0"},      {"", "0"},
      {"11", "0"},      {base::Value(), "94-Invalid use of Null-Plexavo-Share_Bus.GetMachineTime"},
      {"1", eof, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Setting("MachineTime", c.value);
    if (!c.row) company_.Exec("DELETE FROM SM_Config");
    host::Instance probe = Probe();
    bool on = c.answer != "1";
    std::string err;
    const bool ok = GetMachineTime(*probe.context(), on, company_.name(), err);
    EXPECT_EQ(ok ? std::to_string(on) : err, c.answer);
    EXPECT_EQ(probe.context()->vote(), ok ? Vote::kComplete : Vote::kAbort);
  }
}

TEST_F(FrameTest, MakeLogWritesOneRowInsideTheTransaction) {
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

std::vector<std::string> Ids(const Numbering& n, std::vector<int> counters, bool descending) {
  std::sort(counters.begin(), counters.end());
  if (descending) std::reverse(counters.begin(), counters.end());
  std::vector<std::string> ids;
  for (int c : counters) ids.push_back(n.Format(c));
  return ids;
}

std::string Joined(const std::vector<std::string>& ids) {
  std::string s;
  for (const auto& id : ids) s += (s.empty() ? "" : ",") + id;
  return s;
}

// The numbers picked, joined by ",", or "<refused>".
std::string Picked(const Numbering& n, const std::vector<std::string>& in_use, int count) {
  auto picked = PickNumbers(n, in_use, count);
  return picked.ok() ? Joined(*picked) : "<refused>";
}

TEST(PickNumbersTest, WorkedExamples) {
  const Numbering n = NumberingFor(false, base::DateTime::Parse("2026-12-06").value());
  ASSERT_EQ(n.prefix, "20261206");
  struct Case {
    std::vector<int> in_use;
    int count;
    std::vector<int> expect;
  } cases[] = {
      {{}, 1, {1}},        {{}, 2, {1, 2}},     {{1, 2}, 1, {3}},          {{2, 3}, 1, {1}},
      {{1, 2, 4}, 1, {3}}, {{1, 5}, 1, {2}},    {{1, 2, 4}, 3, {3, 5, 6}}, {{1, 2, 4, 5}, 1, {3}},
      {{3}, 2, {1, 2}},    {{2}, 3, {1, 3, 4}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Picked(n, Ids(n, c.in_use, c.count == 1), c.count), Joined(Ids(n, c.expect, false)))
        << "count " << c.count;
  }
}

TEST(PickNumbersTest, AFullPeriodIsRefusedInsteadOfALongerNumber) {
  const Numbering n = NumberingFor(false, base::DateTime::Parse("2026-12-06").value());
  std::vector<int> all(9999);
  for (int i = 0; i < 9999; ++i) all[i] = i + 1;
  auto one = PickNumbers(n, Ids(n, all, true), 1);
  ASSERT_FALSE(one.ok());
  EXPECT_NE(one.err().description.find("20261206"), std::string::npos);
  EXPECT_EQ(Picked(n, Ids(n, all, false), 2), "<refused>");
  all.erase(all.begin() + 99);  // counter 100 free again
  EXPECT_EQ(Picked(n, Ids(n, all, true), 1), "202612060100");
  EXPECT_EQ(Picked(n, Ids(n, all, false), 2), "<refused>");  // only one is left
  EXPECT_EQ(PickNumbers(n, Ids(n, {1, 2}, false), 9997).value().back(), "202612069999");
}

// Any IDMode that is a non-zero number numbers by month. A count below one
// is refused before anything is read, without a record; a mode that is no
// number is an unexpected failure with one.
TEST_F(FrameTest, GetBillIdModesAndRefusals) {
  const std::string monthly = "202612000001", daily = "202612060001";
  const struct {
    const char* mode;
    const std::string& answer;
  } cases[] = {{"1", monthly},   {"2", monthly}, {" 1", monthly}, {"-3", monthly},
               {"0.6", monthly}, {"0", daily},   {"0.5", daily},  {"-0.5", daily}};
  for (const auto& c : cases) {
    Setting("IDMode", c.mode);
    EXPECT_EQ(Get(1), c.answer) << c.mode;
  }
  EXPECT_EQ(Get(1, "2026-11-30"), "202611300001");  // the given day's, not today's
  EXPECT_EQ(Get(0), "refused: " + std::string(messages::kBillCountError));
  EXPECT_EQ(RecordHeads(), "");
  Setting("IDMode", "monthly");
  EXPECT_EQ(Get(1),
            "refused: 13-Type mismatch: IDMode 'monthly'-Plexavo-Share_Bus.GetBillID of "
            "MF_OutBill");
  EXPECT_EQ(RecordHeads(), "Method: Share_Bus.GetBillID of MF_OutBill;");
}

// The numbers of the period in use, read from every row of the table and
// chosen here: numeric, the prefix's, above its all-zero counter.
std::vector<std::string> InUse(const TestCompany& company, const Numbering& n, bool descending) {
  base::Rowset rs =
      company.Query("SELECT BillID FROM MF_OutBill", {{"BillID", base::FieldType::kText}});
  std::vector<std::string> ids;
  for (const auto& row : rs.rows()) {
    const std::string id = row[0].TextOrEmpty();
    const bool numeric = !id.empty() && id.find_first_not_of("0123456789") == std::string::npos;
    if (numeric && id.rfind(n.prefix, 0) == 0 && id > n.prefix + std::string(n.width, '0')) {
      ids.push_back(id);
    }
  }
  std::sort(ids.begin(), ids.end());
  if (descending) std::reverse(ids.begin(), ids.end());
  return ids;
}

// Rows written straight into the table by anyone (inserts of one or many
// rows, deletions, renumbering, foreign and odd numbers) leave the drawn
// numbers exactly what a walk over the table's rows gives, in both modes.
TEST_F(FrameTest, NumbersStayExactWhateverWritesTheTable) {
  const base::DateTime day = base::DateTime::Parse("2026-12-06").value();
  const char* steps[] = {
      "INSERT INTO MF_OutBill (BillID) VALUES ('202612060001'), ('202612060002'), "
      "('202612060003'), ('202612060004'), ('202612060005')",
      "DELETE FROM MF_OutBill WHERE BillID = '202612060005'",
      "DELETE FROM MF_OutBill WHERE BillID = '202612060002'",
      "UPDATE MF_OutBill SET BillID = '202612060002' WHERE BillID = '202612060004'",
      "UPDATE MF_OutBill SET BillID = '202612060004' WHERE BillID = '202612060003'",
      // Foreign rows: not numeric, the all-zero counter, another day, a bare prefix.
      "INSERT INTO MF_OutBill (BillID) VALUES ('20261206000X'), ('202612060000'), "
      "('202612070001'), ('20261206'), ('202612')",
      "INSERT INTO MF_OutBill (BillID) VALUES ('202612060003')",
      // A number longer than its counter, inside the day's range.
      "INSERT INTO MF_OutBill (BillID) VALUES ('2026120600005')",
      "INSERT INTO MF_OutBill (BillID) SELECT '20261206' || BillID FROM MF_Order",
      "DELETE FROM MF_OutBill WHERE BillID = '2026120600005'",
      "DELETE FROM MF_OutBill WHERE BillID LIKE '2026120600%'",
      "INSERT INTO MF_OutBill (BillID) VALUES ('202612060001'), ('202612060002')",
      "DELETE FROM MF_OutBill",
  };
  company_.Exec("INSERT INTO MF_Order (BillID) VALUES ('0006'), ('0007')");
  for (const char* step : steps) {
    company_.Exec(step);
    for (bool monthly : {false, true}) {
      Setting("IDMode", monthly ? "1" : "0");
      const Numbering n = NumberingFor(monthly, day);
      for (int count : {1, 2, 3}) {
        EXPECT_EQ(Get(count), Picked(n, InUse(company_, n, count == 1), count))
            << step << " (" << (monthly ? "monthly" : "daily") << ", " << count << ")";
      }
    }
  }
}

// The counts the database keeps equal what counting the rows gives.
TEST_F(FrameTest, KeptCountsMatchTheRows) {
  for (const char* id : {"202612060001", "202612060003", "2026120600009", "202612060000",
                         "20261206000X", "202612010001", "202611300001"}) {
    company_.Exec("INSERT INTO MF_OutBill (BillID) VALUES (:id)", {{"id", id}});
  }
  company_.Exec("UPDATE MF_OutBill SET BillID = '202612060002' WHERE BillID = '202612060003'");
  company_.Exec("DELETE FROM MF_OutBill WHERE BillID = '202612010001'");
  EXPECT_EQ(company_.Rows("SELECT Prefix, Used, Odd FROM MF_BillIDCount WHERE Used <> 0 "
                          "ORDER BY Prefix",
                          "tii"),
            "202611|1|0;20261130|1|0;202612|4|1;20261206|3|1");
}

}  // namespace
}  // namespace frame::share_bus
