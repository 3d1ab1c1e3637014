// Currency: an exact fixed-point number with four decimals, held as a signed
// 64-bit count of ten-thousandths. Used for every quantity, price and amount.
#ifndef PLEXAVO_BASE_CURRENCY_H_
#define PLEXAVO_BASE_CURRENCY_H_

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"

namespace base {

class Currency {
 public:
  static constexpr int64_t kScale = 10000;

  constexpr Currency() = default;
  static constexpr Currency FromScaled(int64_t scaled) { return Currency(scaled); }
  static constexpr Currency FromInt(int64_t units) { return Currency(units * kScale); }

  // Parses "-12", "12.5", "0.3333", "+7.0000". At most four decimals; more
  // is an error, never a silent rounding. Leading/trailing blanks refused.
  static Result<Currency> Parse(std::string_view text);

  constexpr int64_t scaled() const { return scaled_; }

  // "12.3400", "-0.5000": always four decimals.
  std::string ToString() const;
  // "12.34", "-0.5", "3": no trailing zeros, for use in composed texts.
  std::string ToPlainString() const;

  // Checked arithmetic: overflow of the 64-bit range is an error (number 6).
  Result<Currency> Add(Currency other) const;
  Result<Currency> Sub(Currency other) const;
  // this × num ÷ den, computed exactly and rounded to four decimals with
  // ties to even. den = 0 is an error (number 11).
  Result<Currency> MulDiv(Currency num, Currency den) const;

  constexpr auto operator<=>(const Currency&) const = default;

 private:
  constexpr explicit Currency(int64_t scaled) : scaled_(scaled) {}
  int64_t scaled_ = 0;
};

}  // namespace base

#endif  // PLEXAVO_BASE_CURRENCY_H_
