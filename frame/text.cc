#include "frame/text.h"

#include <charconv>

#include "base/ascii.h"

namespace frame {

size_t TextLength(std::string_view utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    units += (c >= 0xF0) ? 2 : 1;      // four-byte sequences are surrogate pairs
  }
  return units;
}

std::string TrimSpaces(std::string_view text) { return base::TrimChars(text, " "); }

base::Result<base::DateTime> PeriodStart(const std::string& period) {
  int year = 0, month = 0;
  bool ok = period.size() >= 6;
  if (ok) {
    auto y = std::from_chars(period.data(), period.data() + 4, year);
    auto m =
        std::from_chars(period.data() + period.size() - 2, period.data() + period.size(), month);
    ok = y.ec == std::errc() && y.ptr == period.data() + 4 && m.ec == std::errc() &&
         m.ptr == period.data() + period.size();
  }
  if (ok) {
    auto start = base::DateTime::FromParts(year, month, 1);
    if (start.ok()) return start;
  }
  return base::MakeErr(base::kErrTypeMismatch, "Type mismatch: period '" + period + "'");
}

}  // namespace frame
