// Quantities keep their exact value through sums and divisions in the
// database, on every backend.
#include <gtest/gtest.h>

#include "tests/bill_fixture.h"
#include "tests/test_company.h"

namespace data {
namespace {

TEST(CurrencyStorageTest, SumsAndDivisionsAreExact) {
  testing_support::TestCompany company;
  using testing_support::C;
  company.Exec("INSERT INTO ST_ShelfBal (ShelfID, ArtID, SerialNo, Qty) VALUES ('S1', 1, '', 0)");
  for (int i = 0; i < 3; ++i) {
    company.Exec("UPDATE ST_ShelfBal SET Qty = Qty + :q", {{"q", C("0.1")}});
  }
  // The quantity read back as currency, and how many rows equal `exact`.
  auto read = [&](const char* exact) {
    return company.Rows(
        "SELECT Qty, (SELECT COUNT(*) FROM ST_ShelfBal WHERE Qty = :q) FROM ST_ShelfBal", "ci",
        {{"q", C(exact)}});
  };
  EXPECT_EQ(read("0.3"), "0.3|1");
  company.Exec("UPDATE ST_ShelfBal SET Qty = :q", {{"q", C("1").MulDiv(C("1"), C("3")).value()}});
  EXPECT_EQ(read("0.3333"), "0.3333|1");
  company.Exec("UPDATE ST_ShelfBal SET Qty = :q", {{"q", C("-922337203685477.5807")}});
  EXPECT_EQ(read("-922337203685477.5807"), "-922337203685477.5807|1");
}

}  // namespace
}  // namespace data
