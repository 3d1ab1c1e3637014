#include "tokens/token.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace tokens {
namespace {

TEST(TokenTest, HashIsLowerHexSha256OfTheText) {
  EXPECT_EQ(TokenHash(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(TokenHash("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // A token is hashed as its 64 hex characters, not as the 32 bytes they spell.
  EXPECT_EQ(TokenHash(std::string(64, '0')),
            "60e05bd1b195af2f94112fa7197a5c88289058840ce7c6df9693756bc6250f55");
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
  const std::string good(64, 'a'), rest = good.substr(1), digits = "0123456789abcdef";
  EXPECT_TRUE(IsWellFormedToken(good));
  EXPECT_TRUE(IsWellFormedToken(digits + digits + digits + digits));
  for (const std::string& text :
       {rest, good + "a", std::string(), "A" + rest, "g" + rest, " " + rest}) {
    EXPECT_FALSE(IsWellFormedToken(text)) << text;
  }
}

}  // namespace
}  // namespace tokens
