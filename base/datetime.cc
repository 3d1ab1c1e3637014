#include "base/datetime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace base {
namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr int64_t kSecondsPerDay = 86400;

sys_days Origin() { return sys_days(year(1899) / month(12) / day(30)); }

Err BadDate(std::string_view text) {
  return MakeErr(kErrTypeMismatch, "Type mismatch: '" + std::string(text) + "' is no date");
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool ReadDigits(std::string_view text, size_t pos, size_t count, int* out) {
  if (pos + count > text.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  *out = v;
  return true;
}

year_month_day CivilOf(int64_t days) { return year_month_day(Origin() + std::chrono::days(days)); }

}  // namespace

Result<DateTime> DateTime::FromParts(int y, int m, int d, int hh, int mm, int ss) {
  if (y < 1 || y > 9999 || hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 || ss > 59) {
    return MakeErr(kErrInvalidArgument, "Invalid date or time");
  }
  year_month_day ymd(year(y), month(static_cast<unsigned>(m)), day(static_cast<unsigned>(d)));
  if (!ymd.ok()) return MakeErr(kErrInvalidArgument, "Invalid date or time");
  int64_t days = (sys_days(ymd) - Origin()).count();
  return DateTime(days * kSecondsPerDay + hh * 3600 + mm * 60 + ss);
}

Result<DateTime> DateTime::Parse(std::string_view text) {
  int y, m, d, hh = 0, mm = 0, ss = 0;
  if (!ReadDigits(text, 0, 4, &y) || text.size() < 10 || text[4] != '-' ||
      !ReadDigits(text, 5, 2, &m) || text[7] != '-' || !ReadDigits(text, 8, 2, &d)) {
    return BadDate(text);
  }
  if (text.size() > 10) {
    if ((text[10] != ' ' && text[10] != 'T') || text.size() < 19 || !ReadDigits(text, 11, 2, &hh) ||
        text[13] != ':' || !ReadDigits(text, 14, 2, &mm) || text[16] != ':' ||
        !ReadDigits(text, 17, 2, &ss)) {
      return BadDate(text);
    }
    size_t i = 19;
    if (i < text.size() && text[i] == '.') {
      ++i;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    }
    if (i != text.size()) return BadDate(text);
  }
  auto r = FromParts(y, m, d, hh, mm, ss);
  if (!r.ok()) return BadDate(text);
  return r;
}

Result<DateTime> DateTime::FromOleDate(double days) {
  // Dates before year 100 or after 9999 are outside what callers may pass.
  if (!std::isfinite(days) || days < -657434.0 || days >= 2958466.0) {
    return MakeErr(kErrOverflow, "Overflow: date out of range");
  }
  double whole = std::trunc(days);
  double fraction = std::fabs(days - whole);
  auto secs = static_cast<int64_t>(std::llround(fraction * kSecondsPerDay));
  return DateTime(static_cast<int64_t>(whole) * kSecondsPerDay + secs);
}

DateTime DateTime::Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return FromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec)
      .value();
}

int64_t DateTime::Days() const { return FloorDiv(seconds_, kSecondsPerDay); }
int64_t DateTime::SecondsOfDay() const { return seconds_ - Days() * kSecondsPerDay; }

double DateTime::ToOleDate() const {
  // The whole part is the day, the fraction the time of day; for days before
  // the origin the fraction is counted away from zero.
  auto days = static_cast<double>(Days());
  double fraction = static_cast<double>(SecondsOfDay()) / kSecondsPerDay;
  return days >= 0 ? days + fraction : days - fraction;
}

DateTime DateTime::DateOnly() const { return DateTime(Days() * kSecondsPerDay); }

int DateTime::Year() const { return static_cast<int>(CivilOf(Days()).year()); }
int DateTime::Month() const {
  return static_cast<int>(static_cast<unsigned>(CivilOf(Days()).month()));
}
int DateTime::Day() const { return static_cast<int>(static_cast<unsigned>(CivilOf(Days()).day())); }

std::string DateTime::FormatDate() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", Year(), Month(), Day());
  return buf;
}

std::string DateTime::FormatDateTime() const {
  int64_t s = SecondsOfDay();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s %02d:%02d:%02d", FormatDate().c_str(),
                static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                static_cast<int>(s % 60));
  return buf;
}

std::string DateTime::FormatIso() const {
  if (!HasTime()) return FormatDate();
  std::string s = FormatDateTime();
  s[10] = 'T';
  return s;
}

}  // namespace base
