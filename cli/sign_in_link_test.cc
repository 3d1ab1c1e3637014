#include "cli/sign_in_link.h"

#include <gtest/gtest.h>

namespace cli {
namespace {

TEST(SignInLinkTest, PutsDatabaseAndTokenInTheFragment) {
  const struct {
    std::string url, db, token, link;
  } cases[] = {
      {"http://127.0.0.1:8080", "demo", "ab12", "http://127.0.0.1:8080/#signin?db=demo&token=ab12"},
      {"https://erp.example:8443//", "acme_pg", "ff",
       "https://erp.example:8443/#signin?db=acme_pg&token=ff"},
      {"http://h", "a&b=c d", "t#1", "http://h/#signin?db=a%26b%3Dc%20d&token=t%231"},
  };
  for (const auto& c : cases) EXPECT_EQ(SignInLink(c.url, c.db, c.token), c.link) << c.db;
}

}  // namespace
}  // namespace cli
