#include "data/session_pool.h"

#include <gtest/gtest.h>

#include "data/connection.h"
#include "data/session.h"
#include "tests/test_company.h"

namespace data {
namespace {

using testing_support::TestCompany;

TEST(SessionPoolTest, ReusesIdleSessionsAndForgetsThemOnRequest) {
  TestCompany company;
  SessionPool& pool = SessionPool::Instance();
  pool.Forget(company.target());
  auto first = pool.Acquire(company.target());
  ASSERT_TRUE(first.ok());
  Session* raw = first->get();
  pool.Release(company.target(), std::move(first).value());
  auto again = pool.Acquire(company.target());
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again->get(), raw);
  pool.Release(company.target(), std::move(again).value());
  pool.Forget(company.target());
  auto fresh = pool.Acquire(company.target());
  ASSERT_TRUE(fresh.ok());
  pool.Release(company.target(), std::move(fresh).value());
}

TEST(SessionPoolTest, ATransactionsSessionReturnsOnlyOnceItEnded) {
  TestCompany company;
  SessionPool::Instance().Forget(company.target());
  {
    Enlistment tx;
    Connection cnn;
    ASSERT_TRUE(cnn.Open(company.target(), &tx).ok());
    ASSERT_TRUE(
        cnn.Execute(Sql("INSERT INTO SM_Config (ID, Value) VALUES ('A', 'rolled back')")).ok());
    // The enlistment rolls back when it goes.
  }
  // The session that served the transaction is reused in autocommit mode:
  // what it writes now is visible to everyone at once.
  Connection own;
  ASSERT_TRUE(own.Open(company.target(), nullptr).ok());
  ASSERT_TRUE(own.Execute(Sql("INSERT INTO SM_Config (ID, Value) VALUES ('B', 'kept')")).ok());
  own.Close();
  EXPECT_EQ(company.Text("SELECT Value FROM SM_Config WHERE ID = 'A'"), "<none>");
  EXPECT_EQ(company.Text("SELECT Value FROM SM_Config WHERE ID = 'B'"), "kept");
}

TEST(SessionPoolTest, ABrokenIdleSessionIsReplaced) {
  TestCompany company;
  SessionPool& pool = SessionPool::Instance();
  pool.Forget(company.target());
  auto broken = pool.Acquire(company.target());
  ASSERT_TRUE(broken.ok());
  (*broken)->sql().close();  // as a connection the server dropped
  pool.Release(company.target(), std::move(broken).value());
  Connection cnn;
  ASSERT_TRUE(cnn.Open(company.target(), nullptr).ok());
  auto rs = cnn.Query(Sql("SELECT 7"), {{"n", base::FieldType::kInt}});
  ASSERT_TRUE(rs.ok()) << rs.err().description;
  EXPECT_EQ(rs->Row(0)[0], base::Value(7));
}

}  // namespace
}  // namespace data
