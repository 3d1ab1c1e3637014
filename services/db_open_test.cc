// Every outside service reports a missing or broken company database the
// way the component's own classes do: the data layer's text, its record in
// the event log, then the service's method.
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

using testing_support::TestCompany;
using Ask = std::function<std::string(host::Instance& svc, const std::string& db)>;

TEST(ServiceDbOpenTest, MissingOrBrokenCompanyDatabasesAreReportedAlike) {
  TestCompany company;
  platform::EventLogCapture log;
  company.AddUser("amy", "Amy", "", {});
  std::string s, err;
  const struct {
    const char* progid;
    const char* method;
    Ask ask;
  } entries[] = {
      {kUserServiceProgId, "Plexavo.UserService.GetUserName",
       [&](host::Instance& o, const std::string& db) {
         return o.As<UserService>()->GetUserName(db, err);
       }},
      {kConfigServiceProgId, "Plexavo.ConfigService.GetCurPeriod",
       [&](host::Instance& o, const std::string& db) {
         return std::to_string(o.As<ConfigService>()->GetCurPeriod("MF", s, db, err));
       }},
      {kArticleServiceProgId, "Plexavo.ArticleService.GetMeasID",
       [&](host::Instance& o, const std::string& db) {
         return o.As<ArticleService>()->GetMeasID(1, db, err);
       }},
      {kOrderServiceProgId, "Plexavo.OrderService.CheckOrderLine",
       [&](host::Instance& o, const std::string& db) {
         return std::to_string(o.As<OrderService>()->CheckOrderLine("MO1", "1", s, db, err));
       }},
      {kDepotServiceProgId, "Plexavo.DepotService.GetShelfName",
       [&](host::Instance& o, const std::string& db) {
         return o.As<DepotService>()->GetShelfName("S1", db, err);
       }},
      {kItemServiceProgId, "Plexavo.ItemService.GetItemName",
       [&](host::Instance& o, const std::string& db) {
         return o.As<ItemService>()->GetItemName("I1", db, err);
       }},
  };
  for (const auto& d : testing_support::UnusableDbs(company)) {
    for (const auto& e : entries) {
      SCOPED_TRACE(d.db + " via " + e.method);
      log.Clear();
      err.clear();
      host::Instance svc = host::Host(company.classes()).CreateObject(e.progid, "amy").value();
      const std::string answer = e.ask(svc, d.db);
      EXPECT_TRUE(answer == "" || answer == "0") << answer;  // the initial value
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
