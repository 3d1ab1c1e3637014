#include "base/currency.h"

#include <gtest/gtest.h>

namespace base {
namespace {

std::string Error(int32_t number) { return "error " + std::to_string(number); }

// An answer as its text with four decimals, a failure as "error N".
std::string Shown(const Result<Currency>& r) {
  return r.ok() ? r->ToString() : Error(r.err().number);
}

TEST(CurrencyTest, ParsesExactDecimalsAndRefusesTheRest) {
  const std::string mismatch = Error(kErrTypeMismatch);
  const struct {
    const char* text;
    std::string shown;
  } cases[] = {{"12.34", "12.3400"},  {"-0.5", "-0.5000"},
               {"+7", "7.0000"},      {"0.3333", "0.3333"},
               {"0.0001", "0.0001"},  {"922337203685477.5807", "922337203685477.5807"},
               {"5.", "5.0000"},      {".25", "0.2500"},
               {"0.33335", mismatch}, {"abc", mismatch},
               {"", mismatch},        {".", mismatch},
               {"1e5", mismatch},     {" 1", mismatch},
               {"1,5", mismatch},     {"922337203685477.5808", Error(kErrOverflow)}};
  for (const auto& c : cases) EXPECT_EQ(Shown(Currency::Parse(c.text)), c.shown) << c.text;
}

// qty * num / den.
std::string MulDiv(const char* qty, const char* num, const char* den) {
  auto c = [](const char* t) { return Currency::Parse(t).value(); };
  return Shown(c(qty).MulDiv(c(num), c(den)));
}

TEST(CurrencyTest, MulDivRoundsToFourDecimalsTiesToEven) {
  EXPECT_EQ(MulDiv("3", "12", "1"), "36.0000");
  EXPECT_EQ(MulDiv("1", "1", "3"), "0.3333");
  EXPECT_EQ(MulDiv("2", "1", "3"), "0.6667");
  EXPECT_EQ(MulDiv("1", "1", "20000"), "0.0000");    // 0.00005 → even 0
  EXPECT_EQ(MulDiv("3", "1", "20000"), "0.0002");    // 0.00015 → even 2
  EXPECT_EQ(MulDiv("5", "1", "20000"), "0.0002");    // 0.00025 → even 2
  EXPECT_EQ(MulDiv("-3", "1", "20000"), "-0.0002");  // -0.00015 → even -2
  EXPECT_EQ(MulDiv("7", "1", "20000"), "0.0004");    // 0.00035 → even 4
  EXPECT_EQ(MulDiv("0.0001", "0.5", "1"), "0.0000");
  EXPECT_EQ(MulDiv("1000000", "1000000", "1"), "1000000000000.0000");
  EXPECT_EQ(MulDiv("1", "1", "0"), Error(kErrDivisionByZero));
  EXPECT_EQ(MulDiv("922337203685477.5807", "2", "1"), Error(kErrOverflow));
}

TEST(CurrencyTest, FormatsAndAddsUpToTheEdges) {
  EXPECT_EQ(Currency::FromScaled(INT64_MIN).ToString(), "-922337203685477.5808");
  EXPECT_EQ(Currency::FromScaled(-5000).ToPlainString(), "-0.5");
  EXPECT_EQ(Currency::FromInt(36).ToPlainString(), "36");
  EXPECT_EQ(Shown(Currency::FromScaled(INT64_MAX).Add(Currency::FromScaled(1))),
            Error(kErrOverflow));
}

}  // namespace
}  // namespace base
