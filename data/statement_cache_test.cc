#include "data/statement_cache.h"

#include <gtest/gtest.h>

#include "data/connection.h"
#include "data/session.h"
#include "data/session_pool.h"
#include "tests/test_company.h"

namespace data {
namespace {

// Inserts one SM_Config row through `cnn`: the rows written, or the
// failure as "error N".
std::string Insert(Connection& cnn, const std::string& id, const base::Value& value) {
  Sql insert("INSERT INTO SM_Config (ID, Value) VALUES (:id, :value)");
  auto done = cnn.Execute(insert.Bind("id", id).Bind("value", value));
  return done.ok() ? std::to_string(*done) : "error " + std::to_string(done.err().number);
}

// The Value of one SM_Config row read through `cnn`, "<none>" without one.
std::string ValueOf(Connection& cnn, const std::string& id) {
  auto rs = cnn.Query(Sql("SELECT Value FROM SM_Config WHERE ID = :id").Bind("id", id),
                      {{"Value", base::FieldType::kText}});
  if (!rs.ok()) return "<failed: " + rs.err().description + ">";
  if (rs->RecordCount() == 0) return "<none>";
  return rs->Row(0)[0].IsNull() ? "<null>" : rs->Row(0)[0].TextOrEmpty();
}

class StatementCacheTest : public ::testing::Test {
 protected:
  StatementCacheTest() { SessionPool::Instance().Forget(company_.target()); }
  ~StatementCacheTest() override { SessionPool::Instance().Forget(company_.target()); }
  testing_support::TestCompany company_;
};

TEST_F(StatementCacheTest, CallsReuseTheStatementWithTheirOwnValues) {
  const uint64_t before = StatementsPrepared();
  for (int call = 0; call < 5; ++call) {
    // A call of its own each time: the session comes back from the pool.
    Connection cnn;
    ASSERT_TRUE(cnn.Open(company_.target(), nullptr).ok());
    const std::string id = "K" + std::to_string(call), value = "v" + std::to_string(call);
    EXPECT_EQ(Insert(cnn, id, call == 3 ? base::Value() : base::Value(value)), "1");
    EXPECT_EQ(ValueOf(cnn, id), call == 3 ? "<null>" : value);
  }
  // The insert (a NULL binds like a text) and the query, once each.
  EXPECT_EQ(StatementsPrepared() - before, 2u);
  EXPECT_EQ(company_.Rows("SELECT ID, Value FROM SM_Config ORDER BY ID", "tt"),
            "K0|v0;K1|v1;K2|v2;K3|<null>;K4|v4");
}

TEST_F(StatementCacheTest, AFailedStatementWorksAgainWithOtherValues) {
  Connection cnn;
  ASSERT_TRUE(cnn.Open(company_.target(), nullptr).ok());
  EXPECT_EQ(Insert(cnn, "A", "first"), "1");
  EXPECT_EQ(Insert(cnn, "A", "second"), "error " + std::to_string(kDbIntegrityViolation));
  // The failed statement was dropped: prepared afresh once, then reused.
  const uint64_t before = StatementsPrepared();
  EXPECT_EQ(Insert(cnn, "B", "third"), "1");
  EXPECT_EQ(Insert(cnn, "B2", "fourth"), "1");
  EXPECT_EQ(StatementsPrepared() - before, 1u);
  EXPECT_EQ(ValueOf(cnn, "A"), "first");
  EXPECT_EQ(ValueOf(cnn, "B"), "third");
  // A statement that cannot be prepared fails each time alike.
  for (int i = 0; i < 2; ++i) {
    auto bad = cnn.Execute(Sql("INSERT INTO NoSuchTable (ID) VALUES (:id)").Bind("id", "x"));
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.err().number, kDbInvalidStatement);
  }
  EXPECT_EQ(ValueOf(cnn, "B"), "third");
}

// The session that served a failed transaction comes back with its
// statements usable, in autocommit mode: what it writes next is at once
// visible to everyone.
TEST_F(StatementCacheTest, AFailedTransactionLeavesTheSessionsStatementsUsable) {
  {
    Enlistment tx;
    Connection cnn;
    ASSERT_TRUE(cnn.Open(company_.target(), &tx).ok());
    EXPECT_EQ(Insert(cnn, "A", "kept"), "1");
    ASSERT_TRUE(tx.Commit().ok());
  }
  {
    Enlistment tx;
    Connection cnn;
    ASSERT_TRUE(cnn.Open(company_.target(), &tx).ok());
    EXPECT_EQ(Insert(cnn, "B", "lost"), "1");
    EXPECT_EQ(Insert(cnn, "A", "again"), "error " + std::to_string(kDbIntegrityViolation));
    // The enlistment rolls back when it goes.
  }
  Connection cnn;
  ASSERT_TRUE(cnn.Open(company_.target(), nullptr).ok());
  EXPECT_EQ(Insert(cnn, "C", "new"), "1");
  EXPECT_EQ(ValueOf(cnn, "A"), "kept");
  EXPECT_EQ(company_.Rows("SELECT ID, Value FROM SM_Config ORDER BY ID", "tt"), "A|kept;C|new");
}

TEST_F(StatementCacheTest, KeepsAtMostItsCapacity) {
  auto session = SessionPool::Instance().Acquire(company_.target());
  ASSERT_TRUE(session.ok());
  StatementCache& cache = (*session)->statements();
  // Statement i of its own text, run with `n`: answers i + n.
  auto run = [&](size_t i, int n) {
    CachedStatement& st = cache.Get(Sql("SELECT " + std::to_string(i) + " + :n").Bind("n", n), 1);
    EXPECT_TRUE(st.st().execute(true));
    const std::string answer = st.column(0);
    st.Finish();
    return answer;
  };
  constexpr size_t kCapacity = StatementCache::kCapacity;
  for (size_t i = 0; i < kCapacity + 10; ++i) EXPECT_EQ(run(i, 1), std::to_string(i + 1));
  EXPECT_EQ(cache.size(), kCapacity);
  // The one used last is still there and answers with fresh values.
  const uint64_t before = StatementsPrepared();
  EXPECT_EQ(run(kCapacity + 9, 100), std::to_string(kCapacity + 109));
  EXPECT_EQ(StatementsPrepared(), before);
  SessionPool::Instance().Release(company_.target(), std::move(session).value());
}

}  // namespace
}  // namespace data
