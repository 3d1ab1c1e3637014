// Text helpers with the semantics the component's callers expect.
#ifndef PLEXAVO_FRAME_TEXT_H_
#define PLEXAVO_FRAME_TEXT_H_

#include <string>
#include <string_view>

#include "base/datetime.h"
#include "base/result.h"

namespace frame {

// Length in characters as callers count them: UTF-16 code units of the
// UTF-8 text (a character beyond the basic plane counts twice).
size_t TextLength(std::string_view utf8);

// Removes leading and trailing blanks (spaces only).
std::string TrimSpaces(std::string_view text);

// The first day of a current period "yyyymm": the year from its first four
// characters, the month from its last two. A period that gives no date is
// an error (type mismatch).
base::Result<base::DateTime> PeriodStart(const std::string& period);

}  // namespace frame

#endif  // PLEXAVO_FRAME_TEXT_H_
