#include "base/currency.h"

#include <gtest/gtest.h>

namespace base {
namespace {

TEST(CurrencyTest, ParsesExactDecimals) {
  struct Case {
    const char* text;
    int64_t scaled;
  } cases[] = {{"12.34", 123400}, {"-0.5", -5000},  {"+7", 70000},
               {"0.3333", 3333}, {"0.0001", 1},     {"922337203685477.5807", INT64_MAX},
               {"5.", 50000},    {".25", 2500}};
  for (const Case& c : cases) {
    auto r = Currency::Parse(c.text);
    ASSERT_TRUE(r.ok()) << c.text;
    EXPECT_EQ(r->scaled(), c.scaled) << c.text;
  }
}

TEST(CurrencyTest, RefusesWhatIsNotAnExactCurrency) {
  struct Case {
    const char* text;
    int32_t number;
  } cases[] = {{"0.33335", kErrTypeMismatch}, {"abc", kErrTypeMismatch},
               {"", kErrTypeMismatch},        {".", kErrTypeMismatch},
               {"1e5", kErrTypeMismatch},     {" 1", kErrTypeMismatch},
               {"1,5", kErrTypeMismatch},     {"922337203685477.5808", kErrOverflow}};
  for (const Case& c : cases) {
    auto r = Currency::Parse(c.text);
    ASSERT_FALSE(r.ok()) << c.text;
    EXPECT_EQ(r.err().number, c.number) << c.text;
  }
}

TEST(CurrencyTest, FormatsWithFourDecimals) {
  EXPECT_EQ(Currency::FromScaled(123400).ToString(), "12.3400");
  EXPECT_EQ(Currency::FromScaled(-5000).ToString(), "-0.5000");
  EXPECT_EQ(Currency::FromScaled(INT64_MIN).ToString(), "-922337203685477.5808");
  EXPECT_EQ(Currency::FromScaled(-5000).ToPlainString(), "-0.5");
  EXPECT_EQ(Currency::FromInt(36).ToPlainString(), "36");
}

TEST(CurrencyTest, MulDivRoundsToFourDecimalsTiesToEven) {
  auto c = [](const char* t) { return Currency::Parse(t).value(); };
  struct Case {
    const char* qty;
    const char* num;
    const char* den;
    const char* expect;
  } cases[] = {
      {"3", "12", "1", "36.0000"},       {"1", "1", "3", "0.3333"},
      {"2", "1", "3", "0.6667"},         {"1", "1", "20000", "0.0000"},  // 0.00005 → even 0
      {"3", "1", "20000", "0.0002"},     // 0.00015 → even 2
      {"5", "1", "20000", "0.0002"},     // 0.00025 → even 2
      {"-3", "1", "20000", "-0.0002"},   {"7", "1", "20000", "0.0004"},  // 0.00035 → 4
      {"0.0001", "0.5", "1", "0.0000"},  {"1000000", "1000000", "1", "1000000000000.0000"},
  };
  for (const Case& k : cases) {
    auto r = c(k.qty).MulDiv(c(k.num), c(k.den));
    ASSERT_TRUE(r.ok()) << k.qty << "*" << k.num << "/" << k.den;
    EXPECT_EQ(r->ToString(), k.expect) << k.qty << "*" << k.num << "/" << k.den;
  }
}

TEST(CurrencyTest, ArithmeticFailuresAreErrors) {
  auto div0 = Currency::FromInt(1).MulDiv(Currency::FromInt(1), Currency());
  ASSERT_FALSE(div0.ok());
  EXPECT_EQ(div0.err().number, kErrDivisionByZero);
  auto over = Currency::FromScaled(INT64_MAX).Add(Currency::FromScaled(1));
  ASSERT_FALSE(over.ok());
  EXPECT_EQ(over.err().number, kErrOverflow);
  auto big = Currency::FromScaled(INT64_MAX).MulDiv(Currency::FromInt(2), Currency::FromInt(1));
  ASSERT_FALSE(big.ok());
  EXPECT_EQ(big.err().number, kErrOverflow);
}

}  // namespace
}  // namespace base
