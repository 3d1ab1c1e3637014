#include "base/currency.h"

#include <limits>

namespace base {
namespace {

Err OverflowErr() { return MakeErr(kErrOverflow, "Overflow"); }

Err NotANumberErr(std::string_view text) {
  return MakeErr(kErrTypeMismatch,
                 "Type mismatch: '" + std::string(text) + "' is no currency value");
}

bool FitsInt64(__int128 v) {
  return v >= std::numeric_limits<int64_t>::min() && v <= std::numeric_limits<int64_t>::max();
}

// Divides exactly, rounding the quotient to the nearest integer, ties to even.
__int128 DivideRoundHalfEven(__int128 n, __int128 d) {
  if (d < 0) {
    n = -n;
    d = -d;
  }
  __int128 q = n / d;
  __int128 r = n % d;  // same sign as n
  __int128 twice = (r < 0 ? -r : r) * 2;
  if (twice > d || (twice == d && (q % 2 != 0))) q += (n < 0) ? -1 : 1;
  return q;
}

}  // namespace

Result<Currency> Currency::Parse(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  __int128 units = 0;
  size_t int_digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    units = units * 10 + (text[i++] - '0');
    if (++int_digits > 19) return OverflowErr();
  }
  int64_t frac = 0;
  size_t frac_digits = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      if (++frac_digits > 4) return NotANumberErr(text);
      frac = frac * 10 + (text[i++] - '0');
    }
  }
  if (i != text.size() || int_digits + frac_digits == 0) return NotANumberErr(text);
  for (size_t k = frac_digits; k < 4; ++k) frac *= 10;
  __int128 scaled = units * kScale + frac;
  if (negative) scaled = -scaled;
  if (!FitsInt64(scaled)) return OverflowErr();
  return Currency(static_cast<int64_t>(scaled));
}

std::string Currency::ToString() const {
  __int128 v = scaled_;
  bool negative = v < 0;
  if (negative) v = -v;
  auto units = static_cast<unsigned long long>(v / kScale);
  auto frac = static_cast<unsigned>(v % kScale);
  std::string f = std::to_string(frac);
  return (negative ? "-" : "") + std::to_string(units) + "." + std::string(4 - f.size(), '0') + f;
}

std::string Currency::ToPlainString() const {
  std::string s = ToString();
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

Result<Currency> Currency::Add(Currency other) const {
  __int128 v = static_cast<__int128>(scaled_) + other.scaled_;
  if (!FitsInt64(v)) return OverflowErr();
  return Currency(static_cast<int64_t>(v));
}

Result<Currency> Currency::Sub(Currency other) const {
  __int128 v = static_cast<__int128>(scaled_) - other.scaled_;
  if (!FitsInt64(v)) return OverflowErr();
  return Currency(static_cast<int64_t>(v));
}

Result<Currency> Currency::MulDiv(Currency num, Currency den) const {
  if (den.scaled_ == 0) return MakeErr(kErrDivisionByZero, "Division by zero");
  // (a/S) * (n/S) / (d/S) = a*n / (d*S) in units; scaled result = a*n/d.
  __int128 product = static_cast<__int128>(scaled_) * num.scaled_;
  __int128 q = DivideRoundHalfEven(product, den.scaled_);
  if (!FitsInt64(q)) return OverflowErr();
  return Currency(static_cast<int64_t>(q));
}

}  // namespace base
