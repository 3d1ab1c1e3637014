#include "messages/format_err.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/event_log.h"

namespace messages {
namespace {

TEST(FormatErrTest, WritesTheFiveLineRecordAndComposesTheText) {
  platform::EventLogCapture log;
  EXPECT_EQ(FormatErr("Plexavo.GetContent", base::Err{5, "s", "d"}), "5-d-s-Plexavo.GetContent");
  EXPECT_EQ(FormatErr("M", base::Err{-2147217873, "", ""}), "-2147217873---M");
  char tid[32];
  std::snprintf(tid, sizeof tid, "%lX", platform::CurrentThreadId());
  EXPECT_NE(tid[0], '0');
  EXPECT_EQ(std::string(tid).find_first_of("abcdef"), std::string::npos);
  const auto records = log.Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], std::string("Method: Plexavo.GetContent\r\n Thread ID: 0x") + tid +
                            "\r\n Err.Number: 5\r\n Err.Description: d\r\n Err.Source: s");
}

}  // namespace
}  // namespace messages
