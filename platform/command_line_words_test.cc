#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/process.h"

namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLineTest, BlanksTabsAndQuotes) {
  EXPECT_EQ(SplitCommandLine(""), Words{});
  EXPECT_EQ(SplitCommandLine(" \t "), Words{});
  EXPECT_EQ(SplitCommandLine("  netscli \t-flashsupport   -p3\t"),
            (Words{"netscli", "-flashsupport", "-p3"}));
  EXPECT_EQ(SplitCommandLine("\"abc\" d e"), (Words{"abc", "d", "e"}));
  EXPECT_EQ(SplitCommandLine("a\"b c\"d e"), (Words{"ab cd", "e"}));
  EXPECT_EQ(SplitCommandLine("a \"\" b"), (Words{"a", "", "b"}));
  EXPECT_EQ(SplitCommandLine("\"tab\there\""), Words{"tab\there"});
  EXPECT_EQ(SplitCommandLine("\"unterminated quote"), Words{"unterminated quote"});
}

TEST(SplitCommandLineTest, BackslashesAreLiteralExceptBeforeAQuote) {
  EXPECT_EQ(SplitCommandLine(R"(C:\dir\file.bin a\\b)"), (Words{R"(C:\dir\file.bin)", R"(a\\b)"}));
  // 2n+1 backslashes before a quote: n backslashes and a literal quote.
  EXPECT_EQ(SplitCommandLine(R"(a\"b c)"), (Words{R"(a"b)", "c"}));
  EXPECT_EQ(SplitCommandLine(R"(a\\\"b c)"), (Words{R"(a\"b)", "c"}));
  // 2n backslashes before a quote: n backslashes, and the quote groups.
  EXPECT_EQ(SplitCommandLine(R"(a\\\\"b c" d)"), (Words{R"(a\\b c)", "d"}));
  EXPECT_EQ(SplitCommandLine(R"("C:\My Dir\\" next)"), (Words{R"(C:\My Dir\)", "next"}));
  EXPECT_EQ(SplitCommandLine(R"(trailing\)"), Words{R"(trailing\)"});
}

TEST(SplitCommandLineTest, DoubledQuoteInsideQuotesIsOneLiteralQuote) {
  EXPECT_EQ(SplitCommandLine(R"("a""b c" d)"), (Words{R"(a"b c)", "d"}));
  EXPECT_EQ(SplitCommandLine(R"(a""b)"), Words{"ab"});
}

TEST(QuoteArgumentTest, OnlyValuesWithBlanksTabsOrQuotesAreQuoted) {
  for (const std::string value :
       {"", "p3p.rom", R"(C:\dir\file.bin)", R"(dir\)", "%PATH%", "a&b|c>d", "05:00.0"}) {
    EXPECT_EQ(QuoteArgument(value), value);
  }
  EXPECT_EQ(QuoteArgument("a b"), R"("a b")");
  EXPECT_EQ(QuoteArgument("a\tb"), "\"a\tb\"");
  EXPECT_EQ(QuoteArgument(R"(say "hi")"), R"("say \"hi\"")");
  EXPECT_EQ(QuoteArgument(R"(C:\My Dir\)"), R"("C:\My Dir\\")");
  EXPECT_EQ(QuoteArgument(R"(x\"y z)"), R"("x\\\"y z")");
}

// Values rich in the characters that the quoting rules treat specially.
std::string RandomValue(std::mt19937& random) {
  static const char kAlphabet[] = {' ', '\t', '"', '\\', '\\', '"', 'a', 'Z', '/', ':', '-', '.'};
  std::uniform_int_distribution<std::size_t> length(1, 24);
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 1);
  std::string value(length(random), ' ');
  for (char& c : value)
    c = kAlphabet[pick(random)];
  // A good share of values end in backslashes, the case that needs doubling.
  if (random() % 3 == 0)
    value.append(1 + random() % 3, '\\');
  return value;
}

TEST(QuoteArgumentTest, EveryQuotedValueSplitsBackIntoItself) {
  std::mt19937 random(20240611);
  for (int i = 0; i < 20000; ++i) {
    const std::string value = RandomValue(random);
    ASSERT_EQ(SplitCommandLine(QuoteArgument(value)), Words{value})
        << "value [" << value << "] quoted as [" << QuoteArgument(value) << "]";
  }
}

TEST(QuoteArgumentTest, WholeCommandLinesOfQuotedValuesSplitBackIntoTheirValues) {
  std::mt19937 random(7);
  for (int i = 0; i < 5000; ++i) {
    Words values(1 + random() % 6);
    std::string line = "netscli";
    for (std::string& value : values) {
      value = RandomValue(random);
      line += (random() % 2 ? " " : " \t ") + QuoteArgument(value);
    }
    values.insert(values.begin(), "netscli");
    ASSERT_EQ(SplitCommandLine(line), values) << "line [" << line << "]";
  }
}

}  // namespace
