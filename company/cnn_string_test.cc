#include "company/cnn_string.h"

#include <gtest/gtest.h>

#include "platform/event_log.h"
#include "platform/registry.h"
#include "tests/test_company.h"

namespace company {
namespace {

std::string Cnn(const std::string& pwd, const std::string& user, const std::string& db,
                const std::string& server) {
  return "Provider=SQLOLEDB.1;Password=" + pwd + ";Persist Security Info=False;  User ID=" + user +
         ";Initial Catalog=" + db + " ;Data Source=" + server;
}

// Each case rewrites the settings file and reads database `db` afresh: the
// answer (or the fault as "number|source|description"), the first line of the
// one event-log record (none when empty) and how often the key was opened.
TEST(CnnStringTest, ComposesTheStringAndLogsEachMissingPart) {
  const std::string k = "[SoftWare\\Halvaren\\Kelmora\\acme]\n", m = "Method: GetCnnString.";
  const std::string p254(254, 'p'),
      refused = "-2147221499|GetCnnString: Plexavo|Invalid procedure call or argument";
  const struct {
    std::string section, expect, log = "";
    uint64_t opens = 1;
    const char* db = "acme";
  } cases[] = {
      {"", Cnn("", "", "nokey", ""), m + "RegOpenKeyEx.SoftWare\\Halvaren\\Kelmora\\nokey:<nokey>2",
       2, "nokey"},
      {k + "Server=sqlite:/x.db\nUserID=sa\nPWD=s3cret\n",
       Cnn("s3cret", "sa", "acme", "sqlite:/x.db")},
      {k + "Server=srv\nUserID=u\n", Cnn("", "u", "acme", "srv"), m + "RequeryValueEx.PWD:<acme>2"},
      {k + "UserID=u\nPWD=p\n", Cnn("p", "u", "acme", ""), m + "RegQueryValueEx.Server:<acme>2"},
      {k + "Server=srv\nPWD=p\n", Cnn("p", "", "acme", "srv"),
       m + "RegQueryValueEx.UserID:<acme>2"},
      {k + "Server=srv\nUserID=u\nPWD\n", Cnn("", "u", "acme", "srv")},
      {k + "Server\nUserID=u\nPWD=p\n", refused},
      {k + "Server=srv\nUserID\nPWD=p\n", refused},
      {k + "Server=srv\nUserID=u\nPWD=" + p254 + "\n", Cnn(p254, "u", "acme", "srv")},
      {k + "Server=srv\nUserID=u\nPWD=" + p254 + "p\n", Cnn("", "u", "acme", "srv"),
       m + "RequeryValueEx.PWD:<acme>234"},
      {"[software\\halvaren\\kelmora\\ACME]\nServer=one\nUserID=\nPWD=\n",
       Cnn("", "", "acme", "one")},
  };
  testing_support::TestCompany company;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.section);
    company.WriteSettings(c.section);
    platform::EventLogCapture log;
    const uint64_t before = platform::RegistryOpenAttempts();
    auto cnn = GetCnnString(c.db);
    EXPECT_EQ(platform::RegistryOpenAttempts() - before, c.opens);
    EXPECT_EQ(cnn.ok() ? *cnn
                       : std::to_string(cnn.err().number) + "|" + cnn.err().source + "|" +
                             cnn.err().description,
              c.expect);
    const auto records = log.Records();
    ASSERT_EQ(records.size(), c.log.empty() ? 0u : 1u);
    if (!records.empty()) {
      EXPECT_EQ(records[0].substr(0, records[0].find("\r\n")), c.log);
      EXPECT_NE(records[0].find("\r\n Err.Number: 0\r\n"), std::string::npos);
    }
  }
}

// The offset and the source's prefix are checked where the unit
// conversion raises again (ShareBusTest, AddNewTest).
TEST(RaiseAgainTest, WrapsWithinThirtyTwoBits) {
  const base::Err wrapped = RaiseAgain(base::Err{-2147467259, "src", "d"}, "P: ");
  EXPECT_EQ(wrapped.number, static_cast<int32_t>(0x80004005u + 0x80040000u));
}

}  // namespace
}  // namespace company
