// DateTime: a calendar date with an optional time of day, to the second.
// Held as seconds since 1899-12-30 00:00:00, the origin of the
// floating-point day count that callers pass at the in-process boundary.
#ifndef PLEXAVO_BASE_DATETIME_H_
#define PLEXAVO_BASE_DATETIME_H_

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"

namespace base {

class DateTime {
 public:
  constexpr DateTime() = default;  // 1899-12-30 00:00:00
  // Year 1..9999, month 1..12, day 1..days of the month; refused otherwise.
  static Result<DateTime> FromParts(int year, int month, int day, int hour = 0, int minute = 0,
                                    int second = 0);
  // Accepts "yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss" and "yyyy-mm-ddThh:mm:ss",
  // with optional fractional seconds (dropped) as databases print them.
  static Result<DateTime> Parse(std::string_view text);
  // Days since 1899-12-30, the fraction being the time of day (negative
  // values as the boundary's convention: -1.25 is 1899-12-29 06:00).
  static Result<DateTime> FromOleDate(double days);
  // The machine's local date and time now, to the second.
  static DateTime Now();

  double ToOleDate() const;
  DateTime DateOnly() const;  // the same day at 00:00:00
  bool HasTime() const { return SecondsOfDay() != 0; }

  int Year() const;
  int Month() const;
  int Day() const;

  std::string FormatDate() const;      // "yyyy-mm-dd"
  std::string FormatDateTime() const;  // "yyyy-mm-dd hh:nn:ss"
  std::string FormatIso() const;       // "yyyy-mm-dd" or "yyyy-mm-ddThh:mm:ss"

  constexpr int64_t seconds() const { return seconds_; }
  constexpr auto operator<=>(const DateTime&) const = default;

 private:
  constexpr explicit DateTime(int64_t seconds) : seconds_(seconds) {}
  int64_t Days() const;
  int64_t SecondsOfDay() const;
  int64_t seconds_ = 0;
};

}  // namespace base

#endif  // PLEXAVO_BASE_DATETIME_H_
