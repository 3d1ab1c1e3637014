#include "frame/bill_id.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "messages/catalogue.h"
#include "platform/event_log.h"
#include "tests/probe_object.h"
#include "tests/test_company.h"

namespace frame::share_bus {
namespace {

using testing_support::TestCompany;

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
      {{}, 1, {1}},
      {{}, 2, {1, 2}},
      {{1, 2}, 1, {3}},
      {{2, 3}, 1, {1}},
      {{1, 2, 4}, 1, {3}},
      {{1, 5}, 1, {2}},
      {{1, 2, 4}, 3, {3, 5, 6}},
      {{1, 2, 3, 4, 5}, 1, {6}},
      {{1, 2, 4, 5}, 1, {3}},
      {{3}, 2, {1, 2}},
      {{2}, 3, {1, 3, 4}},
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
  // Monthly numbers have six-digit counters.
  const Numbering monthly = NumberingFor(true, base::DateTime::Parse("2026-12-06").value());
  EXPECT_EQ(Picked(monthly, {}, 1), "202612000001");
}

class GetBillIdTest : public ::testing::Test {
 protected:
  GetBillIdTest() { testing_support::RegisterProbes(company_.classes()); }

  std::pair<bool, std::string> Get(int count, const char* date = "2026-12-06") {
    host::Instance probe =
        host::Host(company_.classes()).CreateObject(testing_support::kProbeInTx, "amy").value();
    std::string ids = "untouched", err;
    bool ok = GetBillID(*probe.context(), "MF_OutBill", count, base::DateTime::Parse(date).value(),
                        ids, company_.name(), err);
    last_vote_ = probe.context()->vote();
    return {ok, ok ? ids : err};
  }

  void Bills(std::initializer_list<const char*> ids) {
    for (const char* id : ids) {
      company_.Exec("INSERT INTO MF_OutBill (BillID) VALUES (:id)", {{"id", id}});
    }
  }

  void Mode(const char* id_mode) {
    company_.Exec("DELETE FROM SM_Config");
    company_.Exec("INSERT INTO SM_Config (ID, Value) VALUES ('IDMode', :v)", {{"v", id_mode}});
  }

  TestCompany company_;
  host::Vote last_vote_ = host::Vote::kNone;
};

TEST_F(GetBillIdTest, ReusesGapsAndIgnoresForeignRows) {
  Bills({"202612060001", "202612060002", "202612060004",
         // another day, not numeric, the all-zero counter, a shorter prefix
         "202612050003", "20261206000X", "202612060000", "20261206"});
  EXPECT_EQ(Get(1), std::make_pair(true, std::string("202612060003")));
  EXPECT_EQ(last_vote_, host::Vote::kComplete);
  EXPECT_EQ(Get(3), std::make_pair(true, std::string("202612060003,202612060005,202612060006")));
  EXPECT_EQ(Get(1, "2026-12-05"), std::make_pair(true, std::string("202612050001")));
}

TEST_F(GetBillIdTest, MonthlyModeForAnyNonZeroSetting) {
  const struct {
    const char* mode;
    bool monthly;
  } cases[] = {{"1", true},   {"2", true},  {" 1", true},   {"-3", true},
               {"0.6", true}, {"0", false}, {"0.5", false}, {"-0.5", false}};
  for (const auto& c : cases) {
    Mode(c.mode);
    EXPECT_EQ(Get(1).second, c.monthly ? "202612000001" : "202612060001") << c.mode;
  }
}

TEST_F(GetBillIdTest, CountBelowOneAndBadModeFail) {
  platform::EventLogCapture log;
  EXPECT_EQ(Get(0), std::make_pair(false, std::string(messages::kBillCountError)));
  EXPECT_EQ(last_vote_, host::Vote::kAbort);
  EXPECT_TRUE(log.Records().empty());
  Mode("monthly");
  EXPECT_EQ(Get(1), std::make_pair(false, std::string("13-Type mismatch: IDMode 'monthly'-Plexavo-"
                                                      "Share_Bus.GetBillID of MF_OutBill")));
  EXPECT_EQ(log.Records().size(), 1u);
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
TEST_F(GetBillIdTest, NumbersStayExactWhateverWritesTheTable) {
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
      Mode(monthly ? "1" : "0");
      const Numbering n = NumberingFor(monthly, day);
      for (int count : {1, 2, 3}) {
        EXPECT_EQ(Get(count).second, Picked(n, InUse(company_, n, count == 1), count))
            << step << " (" << (monthly ? "monthly" : "daily") << ", " << count << ")";
      }
    }
  }
}

// The counts the database keeps equal what counting the rows gives.
TEST_F(GetBillIdTest, KeptCountsMatchTheRows) {
  Bills({"202612060001", "202612060003", "2026120600009", "202612060000", "20261206000X",
         "202612010001", "202611300001"});
  company_.Exec("UPDATE MF_OutBill SET BillID = '202612060002' WHERE BillID = '202612060003'");
  company_.Exec("DELETE FROM MF_OutBill WHERE BillID = '202612010001'");
  EXPECT_EQ(company_.Rows("SELECT Prefix, Used, Odd FROM MF_BillIDCount WHERE Used <> 0 "
                          "ORDER BY Prefix",
                          "tii"),
            "202611|1|0;20261130|1|0;202612|4|1;20261206|3|1");
}

}  // namespace
}  // namespace frame::share_bus
