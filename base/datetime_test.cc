#include "base/datetime.h"

#include <gtest/gtest.h>

#include <vector>

namespace base {
namespace {

TEST(DateTimeTest, OleDaysMapToCalendarWithinItsRange) {
  struct Case {
    double days;
    const char* text;
  } cases[] = {{0.0, "1899-12-30 00:00:00"},
               {2.5, "1900-01-01 12:00:00"},
               {-1.25, "1899-12-29 06:00:00"},
               {45000.0, "2023-03-15 00:00:00"},
               {46362.75, "2026-12-06 18:00:00"}};
  for (const Case& c : cases) {
    auto d = DateTime::FromOleDate(c.days);
    ASSERT_TRUE(d.ok()) << c.days;
    EXPECT_EQ(d->FormatDateTime(), c.text) << c.days;
    EXPECT_DOUBLE_EQ(d->ToOleDate(), c.days) << c.days;
  }
  for (double out : {1e12, -1e7}) EXPECT_FALSE(DateTime::FromOleDate(out).ok()) << out;
}

TEST(DateTimeTest, ParsesDatabaseAndBoundaryForms) {
  EXPECT_EQ(DateTime::Parse("2026-12-06").value().FormatIso(), "2026-12-06");
  EXPECT_EQ(DateTime::Parse("2026-12-06 07:08:09").value().FormatIso(), "2026-12-06T07:08:09");
  EXPECT_EQ(DateTime::Parse("2026-12-06T07:08:09").value().FormatDateTime(), "2026-12-06 07:08:09");
  EXPECT_EQ(DateTime::Parse("2026-12-06 07:08:09.250").value().FormatDateTime(),
            "2026-12-06 07:08:09");
  for (const char* bad : {"2026-02-30", "2026-13-01", "20261206", "2026-12-06 25:00:00",
                          "2026-12-06x", "", "2026-12-06 07:08"}) {
    EXPECT_FALSE(DateTime::Parse(bad).ok()) << bad;
  }
}

TEST(DateTimeTest, DateOnlyDropsTheTimeOfDay) {
  DateTime d = DateTime::Parse("2024-02-29 23:59:59").value();
  EXPECT_EQ(d.DateOnly().FormatIso(), "2024-02-29");
  EXPECT_EQ((std::vector<int>{d.Year(), d.Month(), d.Day()}), (std::vector<int>{2024, 2, 29}));
  EXPECT_LT(d.DateOnly(), d);
}

}  // namespace
}  // namespace base
