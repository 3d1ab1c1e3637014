#include "data/locks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/test_company.h"

namespace data {
namespace {

TEST(LocksTest, NamesKeepTheirRankAndTellThingsApart) {
  EXPECT_EQ(NumberRangeLock("MF_OutBill", "20261206"), NumberRangeLock("MF_OutBill", "20261206"));
  EXPECT_NE(NumberRangeLock("MF_OutBill", "20261206"), NumberRangeLock("MF_OutBill", "20261207"));
  EXPECT_NE(OrderLock("MO1"), OrderLock("MO2"));
  EXPECT_NE(StockBalanceLock("S1", 1, ""), StockBalanceLock("S1", 11, ""));
  EXPECT_NE(StockBalanceLock("S1", 1, "A"), StockBalanceLock("S1A", 1, ""));
  // Ranks order before keys: every order lock before every balance lock.
  EXPECT_TRUE(NumberRangeLock("T", "P") < OrderLock("MO1"));
  EXPECT_TRUE(OrderLock("MO1") < StockBalanceLock("S1", 1, ""));
}

// A writer that wants a lock another writer holds waits until that one
// commits, then goes on; one that wants another lock does not wait (on
// PostgreSQL; SQLite's writers always wait for each other).
TEST(LocksTest, ASecondWriterWaitsForTheFirstOnTheSameName) {
  const struct {
    const char* what;
    LockName second;
    bool waits;
  } cases[] = {{"same order", OrderLock("MO1"), true},
               {"another order", OrderLock("MO2"), !testing_support::UsingPostgres()}};
  testing_support::TestCompany company;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Enlistment first_tx;
    Connection first;
    ASSERT_TRUE(first.Open(company.target(), &first_tx).ok());
    ASSERT_TRUE(TakeLocks(first, {OrderLock("MO1")}).ok());
    std::atomic<bool> first_done{false};
    bool saw_first_done = false;
    std::thread second([&] {
      Enlistment tx;
      Connection cnn;
      EXPECT_TRUE(cnn.Open(company.target(), &tx).ok());
      EXPECT_TRUE(TakeLocks(cnn, {c.second}).ok());
      saw_first_done = first_done.load();
      cnn.Close();
      EXPECT_TRUE(tx.Commit().ok());
    });
    if (!c.waits) {
      second.join();  // got its lock with the first still running
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    first_done = true;
    first.Close();
    ASSERT_TRUE(first_tx.Commit().ok());
    if (second.joinable()) second.join();
    EXPECT_EQ(saw_first_done, c.waits);
  }
}

// A key that is already taken is noted on the transaction on PostgreSQL,
// where another writer may have taken it meanwhile; SQLite's writers never
// race for a key.
TEST(LocksTest, ATakenKeyIsNotedWhereWritersRace) {
  testing_support::TestCompany company;
  company.Exec("INSERT INTO MF_OutBill (BillID) VALUES ('202612060001')");
  Enlistment tx;
  Connection cnn;
  ASSERT_TRUE(cnn.Open(company.target(), &tx).ok());
  auto inserted = cnn.Execute(Sql("INSERT INTO MF_OutBill (BillID) VALUES ('202612060001')"));
  ASSERT_FALSE(inserted.ok());
  EXPECT_EQ(inserted.err().number, kDbIntegrityViolation);
  EXPECT_EQ(tx.key_taken(), testing_support::UsingPostgres());
  EXPECT_FALSE(tx.conflicted());
}

}  // namespace
}  // namespace data
