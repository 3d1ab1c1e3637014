#include "data/value_rows.h"

#include <gtest/gtest.h>

#include "tests/test_company.h"

namespace data {
namespace {

TEST(ValueRowsTest, SetsGoInChunksOfPowersOfTwoLargestFirst) {
  const struct {
    size_t rows;
    std::vector<size_t> chunks;
  } cases[] = {{0, {}}, {1, {1}}, {10, {8, 2}}, {32, {32}}, {33, {32, 1}}, {100, {32, 32, 32, 4}}};
  for (const auto& c : cases) EXPECT_EQ(RowChunks(c.rows), c.chunks) << c.rows;
}

// A typed list standing on its own keeps every value exact and every row in
// its place across chunks, NULLs included.
TEST(ValueRowsTest, TypedRowsComeBackExactAndInOrder) {
  testing_support::TestCompany company;
  Connection cnn;
  ASSERT_TRUE(cnn.Open(company.target(), nullptr).ok());
  using enum base::FieldType;
  std::vector<std::vector<base::Value>> rows;
  for (int32_t i = 0; i < 35; ++i) {
    const base::Value qty = i == 33 ? base::Value() : base::Currency::FromScaled(-10000LL * i - 1);
    rows.push_back(
        {i, qty, "it's " + std::to_string(i), *base::DateTime::FromParts(2026, 12, 1 + i % 28)});
  }
  const std::vector<base::FieldType> types = {kInt, kCurrency, kText, kDate};
  auto rs =
      QueryRows(cnn, {"SELECT column1, column2, column3, column4 FROM (", ") AS v", types, true},
                rows, {{"N", types[0]}, {"Q", types[1]}, {"T", types[2]}, {"D", types[3]}});
  ASSERT_TRUE(rs.ok()) << rs.err().description;
  ASSERT_EQ(rs->RecordCount(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rs->Row(i), rows[i]) << i;
}

}  // namespace
}  // namespace data
