#include "base/ascii.h"

namespace base {

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string TrimChars(std::string_view text, std::string_view chars) {
  size_t b = text.find_first_not_of(chars);
  if (b == std::string_view::npos) return "";
  size_t e = text.find_last_not_of(chars);
  return std::string(text.substr(b, e - b + 1));
}

std::vector<std::string> SplitCommas(std::string_view text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(',', start);
    parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

}  // namespace base
