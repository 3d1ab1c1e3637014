#include "cli/sign_in_link.h"

#include <cctype>
#include <cstdio>

namespace cli {
namespace {

// Percent-encodes all but unreserved characters, as a URL query value.
std::string Encoded(const std::string& value) {
  std::string out;
  for (unsigned char c : value) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

}  // namespace

std::string SignInLink(std::string page_url, const std::string& db, const std::string& token) {
  while (!page_url.empty() && page_url.back() == '/') page_url.pop_back();
  return page_url + "/#signin?db=" + Encoded(db) + "&token=" + Encoded(token);
}

}  // namespace cli
