#include "base/value.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(ValueTest, IntOrZeroReadsOnlyWholeNumbers) {
  const struct {
    Value value;
    int32_t expected;
  } cases[] = {
      {Value(), 0},
      {Value(int32_t{42}), 42},
      {Value(int32_t{-7}), -7},
      {Value("12"), 12},
      {Value("not a number"), 0},
      {Value(DateTime::Parse("2026-12-06").value()), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.TextOrEmpty());
    EXPECT_EQ(c.value.IntOrZero(), c.expected);
  }
}

}  // namespace
}  // namespace base
