#include "base/ascii.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace base {
namespace {

TEST(AsciiTest, SplitCommasKeepsEveryPartBetweenCommas) {
  const struct {
    const char* text;
    std::vector<std::string> parts;
  } cases[] = {
      {"", {""}},
      {"MF0301", {"MF0301"}},
      {"A,B,C", {"A", "B", "C"}},
      {",A,,B,", {"", "A", "", "B", ""}},
      {" a , b", {" a ", " b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SplitCommas(c.text), c.parts);
  }
}

}  // namespace
}  // namespace base
