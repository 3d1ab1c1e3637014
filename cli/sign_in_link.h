// The sign-in link of the bill-entry page: the page's address with the
// company database and the token in the URL fragment. Browsers never send
// a fragment to the server, so the token stays out of request lines and
// logs; the page moves it into the tab's own storage at once.
#ifndef PLEXAVO_CLI_SIGN_IN_LINK_H_
#define PLEXAVO_CLI_SIGN_IN_LINK_H_

#include <string>

namespace cli {

inline constexpr const char* kDefaultPageUrl = "http://127.0.0.1:8080";

// "http://127.0.0.1:8080/#signin?db=acme&token=..." for `page_url`
// (a trailing "/" is allowed).
std::string SignInLink(std::string page_url, const std::string& db, const std::string& token);

}  // namespace cli

#endif  // PLEXAVO_CLI_SIGN_IN_LINK_H_
