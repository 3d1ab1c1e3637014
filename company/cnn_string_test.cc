#include "company/cnn_string.h"

#include <gtest/gtest.h>

#include "messages/format_err.h"
#include "platform/event_log.h"
#include "platform/registry.h"
#include "tests/test_company.h"

namespace company {
namespace {

using testing_support::TestCompany;

std::string FirstLine(const std::string& record) { return record.substr(0, record.find("\r\n")); }

class CnnStringTest : public ::testing::Test {
 protected:
  // Writes a settings file holding one extra section besides the company's.
  void WithSection(const std::string& name, const std::string& body) {
    company_.WriteSettings("[SoftWare\\Halvaren\\Kelmora\\" + name + "]\n" + body);
  }
  TestCompany company_;
  platform::EventLogCapture log_;
};

TEST_F(CnnStringTest, MissingKeyTriesTwiceLogsOnceAndComposesEmptyParts) {
  uint64_t before = platform::RegistryOpenAttempts();
  auto cnn = GetCnnString("nokey");
  ASSERT_TRUE(cnn.ok());
  EXPECT_EQ(platform::RegistryOpenAttempts() - before, 2u);
  EXPECT_EQ(*cnn,
            "Provider=SQLOLEDB.1;Password=;Persist Security Info=False;  User ID=;"
            "Initial Catalog=nokey ;Data Source=");
  auto records = log_.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(FirstLine(records[0]),
            "Method: GetCnnString.RegOpenKeyEx.SoftWare\\Halvaren\\Kelmora\\nokey:<nokey>2");
  EXPECT_NE(records[0].find("\r\n Err.Number: 0\r\n"), std::string::npos);
}

TEST_F(CnnStringTest, AllValuesComposeTheConnectionString) {
  WithSection("acme", "Server=sqlite:/x.db\nUserID=sa\nPWD=s3cret\n");
  uint64_t before = platform::RegistryOpenAttempts();
  EXPECT_EQ(GetCnnString("acme").value(),
            "Provider=SQLOLEDB.1;Password=s3cret;Persist Security Info=False;  User ID=sa;"
            "Initial Catalog=acme ;Data Source=sqlite:/x.db");
  EXPECT_EQ(platform::RegistryOpenAttempts() - before, 1u);
  EXPECT_TRUE(log_.Records().empty());
}

TEST_F(CnnStringTest, MissingValuesAreLoggedEachWithItsOwnText) {
  struct Case {
    const char* body;
    const char* first_line;
    const char* expect;
  } cases[] = {
      {"Server=srv\nUserID=u\n", "Method: GetCnnString.RequeryValueEx.PWD:<acme>2",
       "Provider=SQLOLEDB.1;Password=;Persist Security Info=False;  User ID=u;"
       "Initial Catalog=acme ;Data Source=srv"},
      {"UserID=u\nPWD=p\n", "Method: GetCnnString.RegQueryValueEx.Server:<acme>2",
       "Provider=SQLOLEDB.1;Password=p;Persist Security Info=False;  User ID=u;"
       "Initial Catalog=acme ;Data Source="},
      {"Server=srv\nPWD=p\n", "Method: GetCnnString.RegQueryValueEx.UserID:<acme>2",
       "Provider=SQLOLEDB.1;Password=p;Persist Security Info=False;  User ID=;"
       "Initial Catalog=acme ;Data Source=srv"},
  };
  for (const Case& c : cases) {
    log_.Clear();
    WithSection("acme", c.body);
    EXPECT_EQ(GetCnnString("acme").value(), c.expect) << c.body;
    auto records = log_.Records();
    ASSERT_EQ(records.size(), 1u) << c.body;
    EXPECT_EQ(FirstLine(records[0]), c.first_line);
  }
}

TEST_F(CnnStringTest, ZeroLengthPasswordIsEmptyButZeroLengthServerIsAFault) {
  WithSection("acme", "Server=srv\nUserID=u\nPWD\n");
  EXPECT_EQ(GetCnnString("acme").value(),
            "Provider=SQLOLEDB.1;Password=;Persist Security Info=False;  User ID=u;"
            "Initial Catalog=acme ;Data Source=srv");
  EXPECT_TRUE(log_.Records().empty());

  for (const char* body : {"Server\nUserID=u\nPWD=p\n", "Server=srv\nUserID\nPWD=p\n"}) {
    WithSection("acme", body);
    auto fault = GetCnnString("acme");
    ASSERT_FALSE(fault.ok()) << body;
    EXPECT_EQ(fault.err().number, 5 + kRaiseOffset);
    EXPECT_EQ(fault.err().number, -2147221499);
    EXPECT_EQ(fault.err().source, "GetCnnString: Plexavo");
    EXPECT_EQ(fault.err().description, "Invalid procedure call or argument");
  }
}

TEST_F(CnnStringTest, ValuesMustFitTheBufferWithTheirTerminator) {
  std::string fits(254, 'p');
  WithSection("acme", "Server=srv\nUserID=u\nPWD=" + fits + "\n");
  EXPECT_NE(GetCnnString("acme").value().find("Password=" + fits + ";"), std::string::npos);
  EXPECT_TRUE(log_.Records().empty());

  WithSection("acme", "Server=srv\nUserID=u\nPWD=" + std::string(255, 'p') + "\n");
  EXPECT_NE(GetCnnString("acme").value().find("Password=;"), std::string::npos);
  auto records = log_.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(FirstLine(records[0]), "Method: GetCnnString.RequeryValueEx.PWD:<acme>234");
}

TEST_F(CnnStringTest, KeyPathIsCaseInsensitiveAndReadAfreshEachCall) {
  company_.WriteSettings("[software\\halvaren\\kelmora\\ACME]\nServer=one\nUserID=\nPWD=\n");
  EXPECT_NE(GetCnnString("acme").value().find("Data Source=one"), std::string::npos);
  company_.WriteSettings("[software\\halvaren\\kelmora\\ACME]\nServer=two\nUserID=\nPWD=\n");
  EXPECT_NE(GetCnnString("acme").value().find("Data Source=two"), std::string::npos);
}

TEST(RaiseAgainTest, WrapsWithinThirtyTwoBits) {
  EXPECT_EQ(RaiseAgain(base::Err{13, "src", "d"}, "P: ").number, 13 + kRaiseOffset);
  // A negative provider number leaves the 32-bit range and wraps.
  base::Err wrapped = RaiseAgain(base::Err{-2147467259, "src", "d"}, "P: ");
  EXPECT_EQ(wrapped.number, static_cast<int32_t>(0x80004005u + 0x80040000u));
  EXPECT_EQ(wrapped.source, "P: src");
  EXPECT_EQ(wrapped.description, "d");
}

TEST(FormatErrTest, WritesTheFiveLineRecordAndComposesTheText) {
  platform::EventLogCapture log;
  std::string text = messages::FormatErr("Plexavo.GetContent", base::Err{5, "s", "d"});
  EXPECT_EQ(text, "5-d-s-Plexavo.GetContent");
  auto records = log.Records();
  ASSERT_EQ(records.size(), 1u);
  char tid[32];
  std::snprintf(tid, sizeof tid, "%lX", platform::CurrentThreadId());
  EXPECT_EQ(records[0], std::string("Method: Plexavo.GetContent\r\n Thread ID: 0x") + tid +
                            "\r\n Err.Number: 5\r\n Err.Description: d\r\n Err.Source: s");
  EXPECT_NE(tid[0], '0');
  EXPECT_EQ(std::string(tid).find_first_of("abcdef"), std::string::npos);
}

TEST(FormatErrTest, NegativeNumbersAndEmptyTexts) {
  platform::EventLogCapture log;
  EXPECT_EQ(messages::FormatErr("M", base::Err{-2147217873, "", ""}), "-2147217873---M");
}

}  // namespace
}  // namespace company
