#include "base/value.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(ValueTest, IntOrZeroReadsOnlyWholeNumbers) {
  EXPECT_EQ(Value().IntOrZero(), 0);
  EXPECT_EQ(Value(int32_t{42}).IntOrZero(), 42);
  EXPECT_EQ(Value(int32_t{-7}).IntOrZero(), -7);
  EXPECT_EQ(Value("12").IntOrZero(), 12);
  EXPECT_EQ(Value("not a number").IntOrZero(), 0);
  EXPECT_EQ(Value(DateTime::Parse("2026-12-06").value()).IntOrZero(), 0);
}

}  // namespace
}  // namespace base
