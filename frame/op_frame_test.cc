#include "frame/op_frame.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "frame/share_bus.h"
#include "platform/event_log.h"
#include "tests/probe_object.h"
#include "tests/test_company.h"

namespace frame {
namespace {

using host::Vote;
using testing_support::TestCompany;

class OpFrameTest : public ::testing::Test {
 protected:
  OpFrameTest() {
    testing_support::RegisterProbes(company_.classes());
    company_.AddUser("amy", "Amy", "T", {"MF0301"});
  }

  host::Instance Probe() {
    return host::Host(company_.classes()).CreateObject(testing_support::kProbeInTx, "amy").value();
  }

  // The first line of each event-log record, each ended by ";".
  std::string RecordHeads() {
    std::string heads;
    for (const std::string& r : log_.Records()) heads += r.substr(0, r.find("\r\n")) + ";";
    return heads;
  }

  TestCompany company_;
  platform::EventLogCapture log_;
};

// The body moves the method text on before it ends; a composed text names
// the current one. Anything thrown is an unexpected failure (number 51).
TEST_F(OpFrameTest, WriterOutcomesDecideTextVoteAndResult) {
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
TEST_F(OpFrameTest, FailedReaderAnswersNothingAFailedServiceItsValue) {
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
TEST_F(OpFrameTest, MissingOrBrokenCompanyDatabasesAreReportedAlike) {
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
        EXPECT_FALSE(share_bus::GetUserLang(*probe.context(), lang, d.db, err));
      }
      EXPECT_EQ(err, d.fault + "-" + method);
      std::string expected;
      for (const std::string& r : d.settings_records) expected += r + ";";
      EXPECT_EQ(RecordHeads(), expected + "Method: " + method + ";");
    }
  }
}

TEST_F(OpFrameTest, LanguageLookUpWithoutTheUserService) {
  host::ClassTable bare;
  testing_support::RegisterProbes(bare);
  host::Instance lonely = host::Host(bare).CreateObject(testing_support::kProbeInTx, "amy").value();
  std::string lang, err;
  EXPECT_FALSE(share_bus::GetUserLang(*lonely.context(), lang, company_.name(), err));
  EXPECT_EQ(err,
            "429-ActiveX component can't create object: Plexavo.UserService-Plexavo-"
            "Share_Bus.GetUserLang");
  EXPECT_EQ(lonely.context()->vote(), Vote::kAbort);
}

}  // namespace
}  // namespace frame
