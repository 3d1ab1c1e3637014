#include "frame/op_frame.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/share_bus.h"
#include "messages/catalogue.h"
#include "platform/event_log.h"
#include "services/article_service.h"
#include "services/config_service.h"
#include "services/depot_service.h"
#include "services/item_service.h"
#include "services/order_service.h"
#include "services/user_service.h"
#include "tests/probe_object.h"
#include "tests/test_company.h"

namespace frame {
namespace {

using testing_support::TestCompany;

class OpFrameTest : public ::testing::Test {
 protected:
  OpFrameTest() {
    testing_support::RegisterProbes(company_.classes());
    company_.AddUser("amy", "Amy", "T", {"MF0301"});
    company_.AddUser("sam", "Sam", "", {});
  }

  host::Instance Probe(const std::string& login = "amy") {
    return host::Host(company_.classes()).CreateObject(testing_support::kProbeInTx, login).value();
  }

  std::string FirstRecordLine() {
    auto records = log_.Records();
    if (records.empty()) return "<no record>";
    return records[0].substr(0, records[0].find("\r\n"));
  }

  TestCompany company_;
  platform::EventLogCapture log_;
};

TEST_F(OpFrameTest, WriterOutcomesDecideTextVoteAndResult) {
  struct Case {
    Outcome outcome;
    std::string expect_err;
    host::Vote vote;
    bool result;
    size_t records;
  } cases[] = {
      {Outcome::Ok(), "", host::Vote::kComplete, true, 0},
      {Outcome::Refused("no"), "no", host::Vote::kAbort, false, 0},
      {Outcome::Reported(), "callee's", host::Vote::kAbort, false, 0},
      {Outcome::Fault(base::Err{5, "s", "d"}), "5-d-s-Plexavo.Delete", host::Vote::kAbort, false,
       1},
  };
  for (const Case& c : cases) {
    log_.Clear();
    host::Instance probe = Probe();
    std::string err;
    bool ok = RunWriter(*probe.context(), "Plexavo.Delete", company_.name(), err, [&](Call& call) {
      if (c.outcome.kind() == Outcome::Kind::kReported) call.err() = "callee's";
      return c.outcome;
    });
    EXPECT_EQ(ok, c.result);
    EXPECT_EQ(err, c.expect_err);
    EXPECT_EQ(probe.context()->vote(), c.vote);
    EXPECT_EQ(log_.Records().size(), c.records);
  }
}

TEST_F(OpFrameTest, ThrownFailureIsCaughtAndTheMethodTextIsTheCurrentOne) {
  host::Instance probe = Probe();
  std::string err;
  bool ok = RunWriter(*probe.context(), "Plexavo.AddNew#1", company_.name(), err,
                      [&](Call& call) -> Outcome {
                        call.set_method("Plexavo.AddNew#3.5");
                        throw std::runtime_error("boom");
                      });
  EXPECT_FALSE(ok);
  EXPECT_EQ(err, "51-boom-Plexavo-Plexavo.AddNew#3.5");
  EXPECT_EQ(FirstRecordLine(), "Method: Plexavo.AddNew#3.5");
  EXPECT_EQ(probe.context()->vote(), host::Vote::kAbort);
}

TEST_F(OpFrameTest, ReaderFaultGivesNoRowsetComposedTextAndOneRecord) {
  host::Instance probe = Probe();
  std::string err;
  ReaderGate gate;  // no language, no right: only the connection and the body
  auto rs = RunReader<std::optional<base::Rowset>>(
      *probe.context(), "Plexavo.GetContent", company_.name(), err, std::nullopt, gate,
      [](Call&, std::optional<base::Rowset>& result) {
        result = base::Rowset();  // set, then fail: the caller still gets none
        return Outcome::Fault(base::Err{5, "s", "d"});
      });
  EXPECT_FALSE(rs.has_value());
  EXPECT_EQ(err, "5-d-s-Plexavo.GetContent");
  EXPECT_EQ(log_.Records().size(), 1u);
  EXPECT_EQ(probe.context()->vote(), host::Vote::kAbort);
}

TEST_F(OpFrameTest, ReaderChecksLanguageThenRightThenQueries) {
  auto gate_for = [&](host::ObjectContext& ctx) {
    ReaderGate gate;
    gate.language = [&ctx](std::string& lang, const std::string& db, std::string& err) {
      return share_bus::GetUserLang(ctx, lang, db, err);
    };
    // Of the seeded users only amy may read bills.
    gate.right = [&ctx](const std::string&) { return ctx.CallerLogin() == "amy"; };
    gate.refusal = messages::kMsgNoReadRight;
    return gate;
  };
  auto count_users = [](Call& call, int32_t& result) -> Outcome {
    PLX_ASSIGN_OR_RETURN(base::Rowset rs,
                         call.cnn().Query(data::Sql("SELECT COUNT(*) FROM SM_User"),
                                          {{"n", base::FieldType::kInt}}));
    PLX_ASSIGN_OR_RETURN(result, rs.Row(0)[0].AsInt());
    return Outcome::Ok();
  };
  {
    host::Instance probe = Probe("amy");  // read right, Traditional
    std::string err;
    EXPECT_EQ(RunReader<int32_t>(*probe.context(), "Plexavo.BillList", company_.name(), err, 0,
                                 gate_for(*probe.context()), count_users),
              2);
    EXPECT_EQ(err, "");
    EXPECT_EQ(probe.context()->vote(), host::Vote::kComplete);
  }
  {
    host::Instance probe = Probe("sam");  // no read right, Simplified
    std::string err;
    EXPECT_EQ(RunReader<int32_t>(*probe.context(), "Plexavo.BillList", company_.name(), err, 0,
                                 gate_for(*probe.context()), count_users),
              0);
    EXPECT_EQ(err, "没有生产领料单的读权限！");
    EXPECT_EQ(probe.context()->vote(), host::Vote::kAbort);
  }
  {
    host::Instance probe = Probe("nobody");  // the language look-up fails first
    std::string err;
    EXPECT_EQ(RunReader<int32_t>(*probe.context(), "Plexavo.BillList", company_.name(), err, 0,
                                 gate_for(*probe.context()), count_users),
              0);
    EXPECT_EQ(err, "user 'nobody' is not a user of company database '" + company_.name() + "'");
  }
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(OpFrameTest, MissingOrBrokenCompanyDatabasesAreReportedAlikeEverywhere) {
  company_.WriteSettings(
      "[SoftWare\\Halvaren\\Kelmora\\broken]\nServer=mssql://x\nUserID=\nPWD=\n");
  using Open = std::function<std::string(const std::string& db)>;
  auto service = [this](const char* progid) {
    return host::Host(company_.classes()).CreateObject(progid, "amy").value();
  };
  const struct {
    const char* method;
    Open open;
  } entries[] = {
      {"Plexavo.PrintRst",
       [this](const std::string& db) {
         host::Instance probe = Probe();
         std::string err;
         RunReader<bool>(*probe.context(), "Plexavo.PrintRst", db, err, false, ReaderGate{},
                         [](Call&, bool&) { return Outcome::Ok(); });
         return err;
       }},
      // The classes look the caller's language up first, through the user
      // service, and hand its text on.
      {"Plexavo.UserService.GetLanguage",
       [this](const std::string& db) {
         host::Instance probe = Probe();
         std::string lang, err;
         EXPECT_FALSE(share_bus::GetUserLang(*probe.context(), lang, db, err));
         return err;
       }},
      {"Plexavo.UserService.GetUserName",
       [&](const std::string& db) {
         std::string err;
         service(services::kUserServiceProgId).As<services::UserService>()->GetUserName(db, err);
         return err;
       }},
      {"Plexavo.ConfigService.GetCurPeriod",
       [&](const std::string& db) {
         std::string period, err;
         service(services::kConfigServiceProgId)
             .As<services::ConfigService>()
             ->GetCurPeriod("MF", period, db, err);
         return err;
       }},
      {"Plexavo.ArticleService.GetMeasID",
       [&](const std::string& db) {
         std::string err;
         service(services::kArticleServiceProgId)
             .As<services::ArticleService>()
             ->GetMeasID(1, db, err);
         return err;
       }},
      {"Plexavo.OrderService.CheckOrderLine",
       [&](const std::string& db) {
         std::string dept, err;
         service(services::kOrderServiceProgId)
             .As<services::OrderService>()
             ->CheckOrderLine("MO1", "1", dept, db, err);
         return err;
       }},
      {"Plexavo.DepotService.GetShelfName",
       [&](const std::string& db) {
         std::string err;
         service(services::kDepotServiceProgId)
             .As<services::DepotService>()
             ->GetShelfName("S1", db, err);
         return err;
       }},
      {"Plexavo.ItemService.GetItemName",
       [&](const std::string& db) {
         std::string err;
         service(services::kItemServiceProgId)
             .As<services::ItemService>()
             ->GetItemName("I1", db, err);
         return err;
       }},
  };
  const struct {
    std::string db;
    std::string fault;                          // number-description-source of the failed opening
    std::vector<std::string> settings_records;  // first lines, before the fault's
  } databases[] = {
      {"nodb",
       "-2147467259-[Plexavo.Data] Data Source is empty: the company database has no server "
       "setting-Plexavo.Data",
       {"Method: GetCnnString.RegOpenKeyEx.SoftWare\\Halvaren\\Kelmora\\nodb:<nodb>2"}},
      {"broken",
       "-2147467259-[Plexavo.Data] Data Source 'mssql://x' is neither sqlite:PATH nor "
       "postgresql://HOST[:PORT]-Plexavo.Data",
       {}},
  };
  for (const auto& d : databases) {
    for (const auto& e : entries) {
      SCOPED_TRACE(d.db + " via " + e.method);
      log_.Clear();
      EXPECT_EQ(e.open(d.db), d.fault + "-" + e.method);
      std::vector<std::string> first_lines;
      for (const std::string& r : log_.Records())
        first_lines.push_back(r.substr(0, r.find("\r\n")));
      std::vector<std::string> expected = d.settings_records;
      expected.push_back(std::string("Method: ") + e.method);
      EXPECT_EQ(first_lines, expected);
    }
  }
}

TEST_F(OpFrameTest, ServiceFrameKeepsTheValueOnAReportedFailure) {
  host::Instance probe = Probe();
  std::string err;
  std::string name = RunService<std::string>(*probe.context(), "Plexavo.UserName", company_.name(),
                                             err, "", [](Call& call, std::string& result) {
                                               result = "partial";
                                               call.err() = "service said no";
                                               return Outcome::Reported();
                                             });
  EXPECT_EQ(name, "partial");
  EXPECT_EQ(err, "service said no");
  EXPECT_EQ(probe.context()->vote(), host::Vote::kAbort);
}

TEST_F(OpFrameTest, ShareBusLanguageLookUp) {
  host::Instance probe = Probe("amy");
  std::string lang, err;
  ASSERT_TRUE(share_bus::GetUserLang(*probe.context(), lang, company_.name(), err));
  EXPECT_EQ(lang, "T");
  EXPECT_EQ(probe.context()->vote(), host::Vote::kComplete);

  host::ClassTable bare;
  testing_support::RegisterProbes(bare);
  host::Instance lonely = host::Host(bare).CreateObject(testing_support::kProbeInTx, "amy").value();
  lang.clear();
  EXPECT_FALSE(share_bus::GetUserLang(*lonely.context(), lang, company_.name(), err));
  EXPECT_EQ(err,
            "429-ActiveX component can't create object: Plexavo.UserService-Plexavo-"
            "Share_Bus.GetUserLang");
  EXPECT_EQ(lonely.context()->vote(), host::Vote::kAbort);
}

}  // namespace
}  // namespace frame
