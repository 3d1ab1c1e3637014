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

}  // namespace base
