#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>

#include "frame/feed.h"
#include "platform/event_log.h"
#include "tests/bill_fixture.h"
#include "tests/run_cli.h"

namespace writer {
namespace {

namespace feed = frame::feed;

class FeedTest : public testing_support::BillFixture {
 protected:
  // Every event after `after`, read a page at a time.
  std::vector<feed::Event> Events(int32_t after = 0) {
    std::vector<feed::Event> all;
    for (;;) {
      auto page = feed::Read(company_.target(), after, 100);
      EXPECT_TRUE(page.ok()) << page.err().description;
      if (!page.ok() || page->empty()) return all;
      after = page->back().seq;
      all.insert(all.end(), page->begin(), page->end());
    }
  }
  // "seq kind bills version" per event, bills by the names given them.
  std::string Shown(const std::vector<feed::Event>& events,
                    const std::map<std::string, std::string>& names) {
    std::string out;
    for (const feed::Event& e : events) {
      out += std::to_string(e.seq) + " " + e.user + " " + e.kind;
      for (const std::string& b : e.bills) out += " " + (names.count(b) ? names.at(b) : b);
      out += " v" + (e.version ? std::to_string(*e.version) : std::string("-")) + "\n";
    }
    return out;
  }
  platform::EventLogCapture log_;
};

TEST_F(FeedTest, EveryCommittedChangeIsOneEventAndNothingElseIs) {
  const std::string a = AddNew("202612060011", {{.qty = "1"}}).id;
  const std::string b = Edit(a, "202612060012", {{.qty = "2"}}).id;
  ASSERT_TRUE(ExecBill(b).ok);
  ASSERT_TRUE(UnExecBill(b).ok);
  ASSERT_TRUE(Delete(b).ok);
  const std::string c = AddNew("202612060013", {{.qty = "1"}}, true).id;
  // Refused calls and dry runs leave no event.
  EXPECT_FALSE(ExecBill(c).ok);
  EXPECT_FALSE(AddNew("", {{.shelf = "S2", .qty = "9"}}, true).ok);
  dry_run_ = true;
  EXPECT_TRUE(AddNew("", {{.qty = "1"}}).ok);
  dry_run_ = false;
  EXPECT_EQ(Shown(Events(), {{a, "a"}, {b, "b"}, {c, "c"}}),
            "1 amy created a v0\n2 amy revised b v1\n3 amy executed b v1001\n"
            "4 amy reversed b v2001\n5 amy deleted b v-\n6 amy created c v0\n"
            "7 amy executed c v1000\n");
  // The tool follows from a number on, and prunes; pruning leaves the
  // counter: numbers go on from where they were.
  const std::string& db = company_.name();
  auto follow = testing_support::RunCli({"events", "follow", db, "--after", "6", "--idle", "1"});
  EXPECT_EQ(follow.code, 0) << follow.err;
  EXPECT_EQ(follow.out, R"({"bills":[")" + c + R"("],"kind":"executed","seq":7,"time":")" +
                            Events(6).at(0).time + R"(","user":"amy","version":1000})" + "\n");
  for (const auto& [args, code] : std::vector<std::pair<std::vector<std::string>, int>>{
           {{"events", "prune", db}, 2},
           {{"events", "prune", db, "--before", "tomorrow"}, 2},
           {{"events", "follow", db, "--after", "-1"}, 2},
           {{"events", "prune", db, "--before", "2100-01-01"}, 0}}) {
    EXPECT_EQ(testing_support::RunCli(args).code, code) << args.back();
  }
  EXPECT_TRUE(Events().empty());
  const std::string d = AddNew("", {{.qty = "1"}}).id;
  EXPECT_EQ(Shown(Events(), {{d, "d"}}), "8 amy created d v0\n");
}

// Writers on 8 threads for a bounded time while a consumer follows the
// feed, restarting half way from the last number it handled: every event
// arrives once, in sequence, and the sequence has no gap.
TEST_F(FeedTest, ConcurrentWritersLeaveNoGapAndAFollowerSeesEachEventOnce) {
  constexpr int kWriters = 8;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  std::atomic<int> committed{0};
  std::atomic<bool> writing{true};
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      while (std::chrono::steady_clock::now() < until) {
        // Every fourth call executes at once: two events in one transaction.
        auto r = AddNew("", {{.qty = "1"}}, w % 4 == 0);
        if (r.ok) committed += w % 4 == 0 ? 2 : 1;
      }
    });
  }
  std::vector<int32_t> seen;
  int32_t last = 0;  // what a consumer keeps across its restarts
  // Follows until `stop_at`, or, once the writers are done, until nothing is left.
  auto follow = [&](std::chrono::steady_clock::time_point stop_at) {
    for (;;) {
      const bool done = !writing;  // before the read: an empty read then means drained
      auto events =
          feed::ReadOrWait(company_.target(), last, 5,
                           std::chrono::steady_clock::now() + std::chrono::milliseconds(200));
      ASSERT_TRUE(events.ok()) << events.err().description;
      for (const feed::Event& e : *events) {
        seen.push_back(e.seq);
        last = e.seq;
      }
      if ((done && events->empty()) || std::chrono::steady_clock::now() > stop_at) return;
    }
  };
  std::thread consumer([&] {
    follow(until - std::chrono::milliseconds(1500));
    follow(std::chrono::steady_clock::time_point::max());  // restarted from `last`
  });
  for (auto& t : writers) t.join();
  writing = false;
  consumer.join();
  ASSERT_GT(committed.load(), kWriters);
  std::vector<int32_t> expected(committed);
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(seen, expected);
  std::vector<int32_t> stored;
  for (const feed::Event& e : Events()) stored.push_back(e.seq);
  EXPECT_EQ(stored, expected);
}

}  // namespace
}  // namespace writer
