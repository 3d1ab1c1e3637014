#include "base/ascii.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace base {
namespace {

TEST(AsciiTest, SplitCommasKeepsEveryPartBetweenCommas) {
  using Parts = std::vector<std::string>;
  EXPECT_EQ(SplitCommas(""), Parts{""});
  EXPECT_EQ(SplitCommas("MF0301"), Parts{"MF0301"});
  EXPECT_EQ(SplitCommas("A,B,C"), (Parts{"A", "B", "C"}));
  EXPECT_EQ(SplitCommas(",A,,B,"), (Parts{"", "A", "", "B", ""}));
  EXPECT_EQ(SplitCommas(" a , b"), (Parts{" a ", " b"}));
}

}  // namespace
}  // namespace base
