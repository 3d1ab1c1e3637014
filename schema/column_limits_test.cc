// The schema bounds the bill texts on every backend: a text longer than
// its column is refused by the database itself, naming the column.
#include <gtest/gtest.h>

#include "base/ascii.h"
#include "data/connection.h"
#include "tests/test_company.h"

namespace schema {
namespace {

TEST(ColumnLimitsTest, TheDatabaseRefusesOversizedTextsOnEveryBackend) {
  testing_support::TestCompany company;
  data::Connection cnn;
  ASSERT_TRUE(cnn.Open(company.target(), nullptr).ok());
  const struct {
    std::string sql;
    std::string column;
  } cases[] = {
      {"INSERT INTO MF_OutBill (BillID, Operator) VALUES ('202612060001', '" +
           std::string(81, 'o') + "')",
       "Operator"},
      {"INSERT INTO MF_OutDetail (BillID, SortID, SerialNo) VALUES ('202612060001', '1', '" +
           std::string(1024 * 1024, 's') + "')",
       "SerialNo"},
      {"INSERT INTO MF_OutDetail (BillID, SortID) VALUES ('202612060001', '12345')", "SortID"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column);
    auto done = cnn.Execute(data::Sql(c.sql));
    ASSERT_FALSE(done.ok());
    // The database's own message names the column; the statement and its
    // values are not repeated in it.
    EXPECT_NE(base::AsciiLower(done.err().description).find(base::AsciiLower(c.column)),
              std::string::npos)
        << done.err().description;
    EXPECT_EQ(done.err().description.find("INSERT"), std::string::npos) << done.err().description;
  }
  ASSERT_TRUE(cnn.Execute(data::Sql("UPDATE MF_OutBill SET Notes = 'n'")).ok());
  auto update =
      cnn.Execute(data::Sql("INSERT INTO MF_OutBill (BillID, Notes) VALUES ('202612060002', 'n')"));
  ASSERT_TRUE(update.ok()) << update.err().description;
  EXPECT_FALSE(cnn.Execute(data::Sql("UPDATE MF_OutBill SET Maker = '" + std::string(81, 'm') +
                                     "' WHERE BillID = '202612060002'"))
                   .ok());
}

}  // namespace
}  // namespace schema
