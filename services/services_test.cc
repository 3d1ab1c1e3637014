#include <gtest/gtest.h>

#include "services/config_service.h"
#include "services/user_service.h"
#include "tests/probe_object.h"
#include "tests/test_company.h"

namespace services {
namespace {

using testing_support::TestCompany;

class ServicesTest : public ::testing::Test {
 protected:
  ServicesTest() {
    company_.AddUser("amy", "Amy Wong", "T", {"MF0301", "MF0303"}, 42);
    company_.AddUser("bob", "Bob", "", {});
  }

  template <typename T>
  T* Create(const char* progid, const std::string& login) {
    held_ = host::Host(company_.classes()).CreateObject(progid, login).value();
    return held_.As<T>();
  }

  TestCompany company_;
  host::Instance held_;
};

TEST_F(ServicesTest, UserServiceAnswersForTheCallingLogin) {
  UserService* users = Create<UserService>(kUserServiceProgId, "amy");
  std::string err;
  EXPECT_EQ(users->GetLoginName(err), "amy");
  EXPECT_EQ(users->GetUserName(company_.name(), err), "Amy Wong");
  EXPECT_EQ(users->GetUserInnerID(company_.name(), err), 42);
  std::string lang, answer;
  EXPECT_TRUE(users->GetLanguage(lang, company_.name(), err));
  EXPECT_EQ(lang, "T");
  EXPECT_TRUE(users->GetRights("MF0301,MF0302,MF0303,MF0304", answer, company_.name(), err));
  EXPECT_EQ(answer, "1010");
  EXPECT_TRUE(users->GetRights("SP0602", answer, company_.name(), err));
  EXPECT_EQ(answer, "0");
  EXPECT_EQ(err, "");
  auto list = users->GetUserList(company_.name(), err);
  ASSERT_TRUE(list.has_value());
  ASSERT_EQ(list->RecordCount(), 2u);
  EXPECT_EQ(list->Row(0)[0], base::Value("amy"));
  EXPECT_EQ(list->Row(1)[1], base::Value("Bob"));
}

TEST_F(ServicesTest, UserServiceFailuresFillTheErrorText) {
  UserService* users = Create<UserService>(kUserServiceProgId, "zed");
  std::string err;
  EXPECT_EQ(users->GetUserName(company_.name(), err), "");
  EXPECT_EQ(err, "user 'zed' is not a user of company database '" + company_.name() + "'");
  err.clear();
  std::string lang = "unchanged";
  EXPECT_FALSE(users->GetLanguage(lang, company_.name(), err));
  EXPECT_EQ(lang, "unchanged");
  err.clear();
  EXPECT_FALSE(users->GetUserList("no-such-db", err).has_value());
  EXPECT_EQ(err,
            "-2147467259-[Plexavo.Data] Data Source is empty: the company database has no server "
            "setting-Plexavo.Data-Plexavo.UserService.GetUserList");

  UserService* anonymous = Create<UserService>(kUserServiceProgId, "");
  err.clear();
  EXPECT_EQ(anonymous->GetLoginName(err), "");
  EXPECT_EQ(err, "the call carries no login name");
}

TEST_F(ServicesTest, ConfigServiceJoinsValuesAndAnswersPeriodAndUser) {
  company_.Exec("INSERT INTO SM_Config (ID, Value) VALUES ('MachineTime', '1'), ('AutoExe', '0')");
  company_.Exec("INSERT INTO SM_Period (Module, Period) VALUES ('MF', '202612')");
  ConfigService* config = Create<ConfigService>(kConfigServiceProgId, "amy");
  std::string values, period, user, err;
  ASSERT_TRUE(
      config->GetSettings("MachineTime,AutoExe", values, "MF", period, user, company_.name(), err));
  EXPECT_EQ(values, "1;0");
  EXPECT_EQ(period, "202612");
  EXPECT_EQ(user, "Amy Wong");
  ASSERT_TRUE(config->GetSettings("Missing,MachineTime,", values, "ST", period, user,
                                  company_.name(), err));
  EXPECT_EQ(values, ";1;");
  EXPECT_EQ(period, "");  // module not started
  ASSERT_TRUE(config->GetCurPeriod("MF", period, company_.name(), err));
  EXPECT_EQ(period, "202612");
  EXPECT_EQ(err, "");
}

TEST_F(ServicesTest, ConfigServiceRefusesAnUnknownUser) {
  ConfigService* config = Create<ConfigService>(kConfigServiceProgId, "zed");
  std::string values, period, user, err;
  EXPECT_FALSE(
      config->GetSettings("MachineTime", values, "MF", period, user, company_.name(), err));
  EXPECT_EQ(err, "user 'zed' is not a user of company database '" + company_.name() + "'");
  EXPECT_EQ(held_.context()->vote(), host::Vote::kAbort);
}

}  // namespace
}  // namespace services
