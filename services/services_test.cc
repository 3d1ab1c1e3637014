#include <gtest/gtest.h>

#include <functional>

#include "platform/event_log.h"
#include "services/article_service.h"
#include "services/config_service.h"
#include "services/depot_service.h"
#include "services/item_service.h"
#include "services/order_service.h"
#include "services/user_service.h"
#include "tests/test_company.h"

namespace services {
namespace {

using In = host::Instance&;
using Db = const std::string&;

std::string B(bool answer) { return answer ? "1" : "0"; }

class ServicesTest : public ::testing::Test {
 protected:
  ServicesTest() { company_.AddUser("amy", "Amy Wong"); }

  template <typename T>
  T* Create(const char* progid, const std::string& login) {
    held_ = host::Host(company_.classes()).CreateObject(progid, login).value();
    return held_.As<T>();
  }

  testing_support::TestCompany company_;
  const std::string db_ = company_.name();
  host::Instance held_;
};

// The user's login, inner id, language, name, rights and list, and the
// current period, are answered through the reader's operations (reader,
// demo and server tests).
TEST_F(ServicesTest, FailuresFillTheErrorText) {
  std::string err, lang = "unchanged";
  EXPECT_EQ(Create<UserService>(kUserServiceProgId, "")->GetLoginName(err), "");
  EXPECT_EQ(err, "the call carries no login name");
  err.clear();
  EXPECT_FALSE(Create<UserService>(kUserServiceProgId, "zed")->GetLanguage(lang, db_, err));
  EXPECT_EQ(lang + "|" + err,
            "unchanged|user 'zed' is not a user of company database '" + db_ + "'");
  EXPECT_EQ(held_.context()->vote(), host::Vote::kAbort);
}

TEST_F(ServicesTest, ConfigServiceJoinsValuesAndAnswersPeriodAndUser) {
  company_.Exec("INSERT INTO SM_Config (ID, Value) VALUES ('MachineTime', '1'), ('AutoExe', '0')");
  company_.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', '202612')");
  ConfigService* config = Create<ConfigService>(kConfigServiceProgId, "amy");
  std::string values, period, user, err;
  ASSERT_TRUE(config->GetSettings("MachineTime,AutoExe", values, "MF", period, user, db_, err));
  EXPECT_EQ(values + "|" + period + "|" + user, "1;0|202612|Amy Wong");
  ASSERT_TRUE(config->GetSettings("Missing,MachineTime,", values, "ST", period, user, db_, err));
  EXPECT_EQ(values + "|" + period, ";1;|");  // module ST not started
  EXPECT_EQ(err, "");
}

// What the depot and article services answer beyond what the reader passes
// on: the stock-in direction of a depot right, and the name of an article's
// default shelf.
TEST_F(ServicesTest, DepotDirectionAndTheDefaultShelfsName) {
  for (const char* sql : {
           "INSERT INTO ST_Depot (ID, Name) VALUES ('D1', 'Main'), ('D2', 'Side')",
           "INSERT INTO ST_Shelf (ID, Name, DepotID) VALUES ('S1', 'Shelf one', 'D1'), "
           "('S2', 'Shelf two', 'D2')",
           "INSERT INTO ST_DepotRight (LoginName, DepotID, Direction) VALUES ('amy', 'D1', 1)",
           "INSERT INTO FD_Article (ID, ArtCode, Name, ShelfID) VALUES (1, 'A-001', 'Bolt', 'S1'), "
           "(4, 'D-004', 'Pin', 'S7')",
       }) {
    company_.Exec(sql);
  }
  DepotService* depot = Create<DepotService>(kDepotServiceProgId, "amy");
  std::string err;
  for (auto [shelf, direction, expected] :
       {std::tuple{"S1", kDirectionStockIn, true}, std::tuple{"S1", kDirectionStockOut, false},
        std::tuple{"S2", kDirectionStockIn, false}}) {
    bool allowed = !expected;
    EXPECT_TRUE(depot->CheckRight(shelf, direction, allowed, db_, err));
    EXPECT_EQ(allowed, expected) << shelf << " " << direction;
    EXPECT_EQ(held_.context()->vote(), host::Vote::kComplete);
  }
  ArticleService* articles = Create<ArticleService>(kArticleServiceProgId, "amy");
  int32_t id = 0, serial = 0, keep = 0;
  std::string name, meas, shelf, shelf_name = "keep";
  EXPECT_TRUE(articles->GetArticleByCode("A-001", id, name, meas, serial, keep, shelf, shelf_name,
                                         db_, err));
  EXPECT_EQ(shelf_name, "Shelf one");
  EXPECT_TRUE(articles->GetArticleByCode("D-004", id, name, meas, serial, keep, shelf, shelf_name,
                                         db_, err));
  EXPECT_EQ(shelf, "S7");
  EXPECT_EQ(shelf_name, "");  // no such shelf
  EXPECT_EQ(err, "");
}

// Every outside service reports a missing or broken company database the
// way the component's own classes do: the data layer's text, its record in
// the event log, then the service's method.
TEST_F(ServicesTest, MissingOrBrokenCompanyDatabasesAreReportedAlike) {
  platform::EventLogCapture log;
  std::string s, err;
  const struct {
    const char* progid;
    const char* method;
    std::function<std::string(In svc, Db db)> ask;
  } entries[] = {
      {kUserServiceProgId, "Plexavo.UserService.GetUserName",
       [&](In o, Db d) { return o.As<UserService>()->GetUserName(d, err); }},
      {kUserServiceProgId, "Plexavo.UserService.GetUserList",
       [&](In o, Db d) { return B(o.As<UserService>()->GetUserList(d, err).has_value()); }},
      {kConfigServiceProgId, "Plexavo.ConfigService.GetSettings",
       [&](In o, Db d) { return B(o.As<ConfigService>()->GetSettings("", s, "", s, s, d, err)); }},
      {kConfigServiceProgId, "Plexavo.ConfigService.GetCurPeriod",
       [&](In o, Db d) { return B(o.As<ConfigService>()->GetCurPeriod("MF", s, d, err)); }},
      {kArticleServiceProgId, "Plexavo.ArticleService.GetMeasID",
       [&](In o, Db d) { return o.As<ArticleService>()->GetMeasID(1, d, err); }},
      {kOrderServiceProgId, "Plexavo.OrderService.CheckOrderLine",
       [&](In o, Db d) { return B(o.As<OrderService>()->CheckOrderLine("MO1", "1", s, d, err)); }},
      {kDepotServiceProgId, "Plexavo.DepotService.GetShelfName",
       [&](In o, Db d) { return o.As<DepotService>()->GetShelfName("S1", d, err); }},
      {kItemServiceProgId, "Plexavo.ItemService.GetItemName",
       [&](In o, Db d) { return o.As<ItemService>()->GetItemName("I1", d, err); }},
  };
  for (const auto& d : testing_support::UnusableDbs(company_)) {
    for (const auto& e : entries) {
      SCOPED_TRACE(d.db + " via " + e.method);
      log.Clear();
      err.clear();
      host::Instance svc = host::Host(company_.classes()).CreateObject(e.progid, "amy").value();
      const std::string answer = e.ask(svc, d.db);
      EXPECT_TRUE(answer == "" || answer == "0") << answer;  // the initial value
      EXPECT_EQ(svc.context()->vote(), host::Vote::kAbort);
      EXPECT_EQ(err, d.fault + "-" + e.method);
      std::vector<std::string> first_lines;
      for (const std::string& r : log.Records()) first_lines.push_back(r.substr(0, r.find("\r\n")));
      std::vector<std::string> expected = d.settings_records;
      expected.push_back(std::string("Method: ") + e.method);
      EXPECT_EQ(first_lines, expected);
    }
  }
}

}  // namespace
}  // namespace services
