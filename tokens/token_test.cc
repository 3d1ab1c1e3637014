#include "tokens/token.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tokens {
namespace {

TEST(TokenTest, HashIsLowerHexSha256OfTheText) {
  const struct {
    const char* text;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      // A token is hashed as its 64 hex characters, not as the 32 bytes they spell.
      {"0000000000000000000000000000000000000000000000000000000000000000",
       "60e05bd1b195af2f94112fa7197a5c88289058840ce7c6df9693756bc6250f55"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TokenHash(c.text), c.digest);
  }
}

TEST(TokenTest, NewTokensAreWellFormedAndDistinct) {
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    auto token = NewToken();
    ASSERT_TRUE(token.ok()) << token.err().description;
    EXPECT_TRUE(IsWellFormedToken(*token)) << *token;
    EXPECT_TRUE(seen.insert(*token).second) << "repeated token " << *token;
  }
}

TEST(TokenTest, WellFormedMeansSixtyFourLowerHexCharacters) {
  const std::string good(64, 'a');
  const struct {
    std::string text;
    bool ok;
  } cases[] = {
      {good, true},
      {"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef", true},
      {good.substr(1), false},
      {good + "a", false},
      {"", false},
      {"A" + good.substr(1), false},
      {"g" + good.substr(1), false},
      {" " + good.substr(1), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsWellFormedToken(c.text), c.ok);
  }
}

}  // namespace
}  // namespace tokens
