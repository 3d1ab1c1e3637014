#include "data/writer_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "data/connection.h"
#include "data/enlistment.h"
#include "tests/test_company.h"

namespace data {
namespace {

using std::chrono::milliseconds;

void WaitUntilWaiting(const std::string& key, size_t count) {
  for (int i = 0; i < 2000 && WriterTurn::Waiting(key) < count; ++i) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  ASSERT_EQ(WriterTurn::Waiting(key), count);
}

TEST(WriterQueueTest, WritersGetTheirTurnsInTheOrderTheyAsked) {
  const std::string key = "queue-order";
  WriterTurn holder = WriterTurn::Take(key, milliseconds(1000));
  ASSERT_TRUE(holder.held());
  std::mutex mu;
  std::vector<int> order;
  std::vector<std::thread> writers;
  for (int i = 0; i < 6; ++i) {
    writers.emplace_back([&, i] {
      WriterTurn turn = WriterTurn::Take(key, milliseconds(20000));
      std::lock_guard<std::mutex> lock(mu);
      order.push_back(turn.held() ? i : -1);
    });
    // The next writer asks only once this one waits.
    WaitUntilWaiting(key, static_cast<size_t>(i + 1));
  }
  holder.Release();
  for (std::thread& t : writers) t.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(WriterTurn::Waiting(key), 0u);
}

TEST(WriterQueueTest, AWriterOutOfPatienceGoesOnWithoutTheTurn) {
  const std::string key = "queue-patience";
  WriterTurn holder = WriterTurn::Take(key, milliseconds(1000));
  ASSERT_TRUE(holder.held());
  WriterTurn late = WriterTurn::Take(key, milliseconds(30));
  EXPECT_FALSE(late.held());
  EXPECT_EQ(WriterTurn::Waiting(key), 0u);
  // Other databases have queues of their own.
  EXPECT_TRUE(WriterTurn::Take("queue-other", milliseconds(30)).held());
  holder = WriterTurn();  // given back
  EXPECT_TRUE(WriterTurn::Take(key, milliseconds(30)).held());
}

// SQLite transactions of the process on one database file queue: the
// second writer starts only after the first one committed, and sees its row.
TEST(WriterQueueTest, SqliteTransactionsOnOneFileTakeTurns) {
  if (testing_support::UsingPostgres()) GTEST_SKIP() << "PostgreSQL's writers do not queue";
  testing_support::TestCompany company;
  auto first = std::make_unique<Enlistment>();
  Connection one;
  ASSERT_TRUE(one.Open(company.target(), first.get()).ok());
  ASSERT_TRUE(one.Execute(Sql("INSERT INTO SM_Config (ID, Value) VALUES ('A', '1')")).ok());
  int seen_by_second = -1;
  std::thread second([&] {
    Enlistment tx;
    Connection two;
    if (!two.Open(company.target(), &tx).ok()) return;
    auto rs = two.Query(Sql("SELECT COUNT(*) FROM SM_Config"), {{"n", base::FieldType::kInt}});
    if (rs.ok()) seen_by_second = *rs->Row(0)[0].AsInt();
    (void)tx.Commit();
  });
  WaitUntilWaiting(company.target().Key(), 1);
  one.Close();
  ASSERT_TRUE(first->Commit().ok());
  second.join();
  EXPECT_EQ(seen_by_second, 1);
}

}  // namespace
}  // namespace data
