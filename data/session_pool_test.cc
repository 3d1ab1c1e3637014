#include "data/session_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "data/connection.h"
#include "data/session.h"
#include "tests/test_company.h"

namespace data {
namespace {

class SessionPoolTest : public ::testing::Test {
 protected:
  SessionPoolTest() { pool_.Forget(company_.target()); }
  ~SessionPoolTest() override { pool_.Forget(company_.target()); }

  // The session the pool hands out next (null, and the test failed, without one).
  std::unique_ptr<Session> Acquire() {
    auto session = pool_.Acquire(company_.target());
    EXPECT_TRUE(session.ok()) << session.err().description;
    return session.ok() ? std::move(session).value() : nullptr;
  }

  testing_support::TestCompany company_;
  SessionPool& pool_ = SessionPool::Instance();
};

// Sessions given back wait idle and serve the next calls; forgetting the
// database closes the idle ones and leaves nothing to hand out.
TEST_F(SessionPoolTest, KeepsGivenBackSessionsIdleUntilForgotten) {
  auto open = [&] {  // "idle/in use" for the company's database
    const SessionPool::Open o = pool_.OpenSessions()[company_.target().database];
    return std::to_string(o.idle) + "/" + std::to_string(o.in_use);
  };
  EXPECT_EQ(open(), "0/0");
  std::unique_ptr<Session> a = Acquire(), b = Acquire();
  EXPECT_EQ(open(), "0/2");
  pool_.Release(company_.target(), std::move(a));
  pool_.Release(company_.target(), std::move(b));
  EXPECT_EQ(open(), "2/0");
  std::unique_ptr<Session> c = Acquire();
  EXPECT_EQ(open(), "1/1");
  pool_.Release(company_.target(), std::move(c));
  pool_.Forget(company_.target());
  EXPECT_EQ(open(), "0/0");
  c = Acquire();
  EXPECT_EQ(open(), "0/1");
  pool_.Discard(company_.target(), std::move(c));
  EXPECT_EQ(open(), "0/0");
}

// Ends backend `pid` from a session outside the pool, as a server restart
// would, and waits until the server has let it go.
void EndOnTheServer(const Target& target, int pid) {
  auto admin = OpenSession(target);
  ASSERT_TRUE(admin.ok());
  (*admin)->sql() << "SELECT pg_terminate_backend(" + std::to_string(pid) + ")";
  int left = 1;
  for (int i = 0; i < 500 && left != 0; ++i) {
    (*admin)->sql() << "SELECT COUNT(*) FROM pg_stat_activity WHERE pid = " + std::to_string(pid),
        soci::into(left);
    if (left != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(left, 0);
}

// A session that can no longer serve a call is not handed out again: one
// given back closed (as a connection the server dropped) or inside a
// transaction, and one the server ended while it was idle. The next call
// gets a working session each time.
TEST_F(SessionPoolTest, ABrokenSessionIsReplaced) {
  for (const std::string how : {"closed", "inside a transaction", "ended while idle"}) {
    SCOPED_TRACE(how);
    if (how == "ended while idle" && !testing_support::UsingPostgres()) continue;
    std::unique_ptr<Session> held = Acquire();
    ASSERT_NE(held, nullptr);
    int pid = 0;
    if (how == "closed") held->sql().close();
    if (how == "inside a transaction") held->sql() << "BEGIN";
    if (how == "ended while idle") held->sql() << "SELECT pg_backend_pid()", soci::into(pid);
    pool_.Release(company_.target(), std::move(held));
    if (pid != 0) EndOnTheServer(company_.target(), pid);
    Connection next;
    ASSERT_TRUE(next.Open(company_.target(), nullptr).ok());
    auto written = next.Execute(
        Sql("INSERT INTO SM_Config (ID, Value) VALUES (:id, 'after')").Bind("id", how));
    ASSERT_TRUE(written.ok()) << written.err().description;
  }
  EXPECT_EQ(company_.Rows("SELECT ID FROM SM_Config ORDER BY ID", "t"),
            testing_support::UsingPostgres() ? "closed;ended while idle;inside a transaction"
                                             : "closed;inside a transaction");
}

}  // namespace
}  // namespace data
