// Writer calls sent twice under one Idempotency-Key run once: also after a
// restart of the server and when the copies arrive at the same time.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "boundary/idempotency.h"
#include "tests/bill_fixture.h"
#include "tests/test_server.h"

namespace server {
namespace {

using testing_support::C;

using Answer = testing_support::HttpAnswer;

class IdempotencyTest : public testing_support::BillServerFixture {
 protected:
  std::string NewBill(const std::string& qty, bool auto_exe = true) {
    return server_.Body(boundary::kWriterProgId, "AddNew", OneLineBill(qty, auto_exe));
  }

  Answer Post(const std::string& body, const std::string& key, const std::string& login = "amy") {
    if (key.empty()) return server_.PostAs(login, body);
    return server_.PostAs(login, body, {{"Idempotency-Key", key}});
  }
};

TEST_F(IdempotencyTest, ARepeatAnswersTheKeptAnswerWithoutRunningAgain) {
  const std::string body = NewBill("7");
  Answer first = Post(body, "order-17/click");
  ASSERT_EQ(first.status, 200) << first.text;
  EXPECT_EQ(first.body["result"], true);
  const std::string id = first.body["byref"]["vstrID"];

  Answer again = Post(body, "order-17/click");
  EXPECT_EQ(again.status, 200);
  EXPECT_EQ(again.text, first.text);
  // And after a restart of the server.
  server_.Start();
  Answer restarted = Post(body, "order-17/click");
  EXPECT_EQ(restarted.text, first.text);

  EXPECT_EQ(Count("MF_OutBill"), 1);
  EXPECT_EQ(Balance("S1", 1), C("993"));
  EXPECT_EQ(BomOut(bom_line1_a_), C("7"));
  EXPECT_EQ(Count("SM_UseLog"), 2);

  // The same key with another body is refused and changes nothing.
  Answer other = Post(NewBill("8"), "order-17/click");
  EXPECT_EQ(other.status, 422);
  EXPECT_EQ(other.text, testing_support::ErrorBody(
                            "the Idempotency-Key was used before with another request body"));
  // A key is the caller's own: another login's call with it runs.
  EXPECT_EQ(Post(body, "order-17/click", "bea").status, 200);
  EXPECT_EQ(Count("MF_OutBill"), 2);
  // Without a key every call runs.
  EXPECT_EQ(Post(body, "").status, 200);
  EXPECT_EQ(Count("MF_OutBill"), 3);
  EXPECT_EQ(Header(id, "Execer"), "Amy");
}

TEST_F(IdempotencyTest, ARefusedCallKeepsNothing) {
  // Executing at once with a quantity of 0 is refused: nothing is kept, and
  // the corrected call under the same key runs.
  Answer refused = Post(NewBill("0"), "k1");
  ASSERT_EQ(refused.status, 200) << refused.text;
  EXPECT_EQ(refused.body["result"], false) << refused.text;
  EXPECT_EQ(company_.Count("PX_IdempotencyKey"), 0);
  Answer fixed = Post(NewBill("2"), "k1");
  EXPECT_EQ(fixed.status, 200);
  EXPECT_EQ(fixed.body["result"], true) << fixed.text;
  EXPECT_EQ(Count("MF_OutBill"), 1);
  EXPECT_EQ(company_.Count("PX_IdempotencyKey"), 1);

  Answer bad = Post(NewBill("2"), std::string(256, 'k'));
  EXPECT_EQ(bad.status, 400);
  EXPECT_EQ(Count("MF_OutBill"), 1);
}

TEST_F(IdempotencyTest, CopiesArrivingTogetherMakeOneBill) {
  const std::string body = NewBill("3");
  constexpr int kCopies = 6;
  std::vector<Answer> answers(kCopies);
  std::vector<std::thread> threads;
  for (int i = 0; i < kCopies; ++i) {
    threads.emplace_back([&, i] { answers[i] = Post(body, "double-click"); });
  }
  for (std::thread& t : threads) t.join();
  for (const Answer& a : answers) {
    EXPECT_EQ(a.status, 200) << a.text;
    EXPECT_EQ(a.text, answers[0].text);
  }
  EXPECT_EQ(Count("MF_OutBill"), 1);
  EXPECT_EQ(Balance("S1", 1), C("997"));
  EXPECT_EQ(Count("SM_UseLog"), 2);
}

TEST_F(IdempotencyTest, ExpiredKeysAreForgottenAndRemoved) {
  const std::string body = NewBill("1");
  ASSERT_EQ(Post(body, "old").status, 200);
  company_.Exec("UPDATE PX_IdempotencyKey SET Created = :t",
                {{"t", base::Value(base::DateTime::Parse("2001-01-01 00:00:00").value())}});
  // Older than a day: the call runs again, and the old key makes way.
  ASSERT_EQ(Post(body, "old").status, 200);
  EXPECT_EQ(Count("MF_OutBill"), 2);
  EXPECT_EQ(company_.Count("PX_IdempotencyKey"), 1);
}

TEST(IdempotencyKeyTest, KeysAreVisibleAsciiOfBoundedLength) {
  const std::pair<std::string, bool> keys[] = {{"a", true},    {std::string(255, '~'), true},
                                               {"", false},    {std::string(256, 'a'), false},
                                               {"a b", false}, {"ключ", false}};
  for (const auto& [key, valid] : keys) EXPECT_EQ(boundary::ValidIdempotencyKey(key), valid) << key;
  // The hash is of the bytes as sent.
  EXPECT_NE(boundary::RequestHash("{}"), boundary::RequestHash("{ }"));
}

}  // namespace
}  // namespace server
