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
  using base::FieldType;
  std::vector<std::vector<base::Value>> rows;
  for (int32_t i = 0; i < 35; ++i) {
    base::Value qty = base::Currency::FromScaled(-10000LL * i - 1);
    if (i == 33) qty = base::Value();
    rows.push_back(
        {i, qty, "it's " + std::to_string(i), *base::DateTime::FromParts(2026, 12, 1 + i % 28)});
  }
  auto rs = QueryRows(cnn,
                      {"SELECT column1, column2, column3, column4 FROM (",
                       ") AS v",
                       {FieldType::kInt, FieldType::kCurrency, FieldType::kText, FieldType::kDate},
                       true},
                      rows,
                      {{"N", FieldType::kInt},
                       {"Q", FieldType::kCurrency},
                       {"T", FieldType::kText},
                       {"D", FieldType::kDate}});
  ASSERT_TRUE(rs.ok()) << rs.err().description;
  ASSERT_EQ(rs->RecordCount(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rs->Row(i), rows[i]) << i;
}

}  // namespace
}  // namespace data
