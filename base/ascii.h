// Small text helpers for identifiers, keys and settings lines (ASCII only).
#ifndef PLEXAVO_BASE_ASCII_H_
#define PLEXAVO_BASE_ASCII_H_

#include <string>
#include <string_view>
#include <vector>

namespace base {

// The text with ASCII letters in lower case; other bytes unchanged.
std::string AsciiLower(std::string text);

// The text without leading and trailing characters of `chars`.
std::string TrimChars(std::string_view text, std::string_view chars);

// The parts of `text` between its commas, in order and untrimmed: n commas
// give n + 1 parts, empty ones included (the empty text is one empty part).
std::vector<std::string> SplitCommas(std::string_view text);

}  // namespace base

#endif  // PLEXAVO_BASE_ASCII_H_
