#include "inventory/firmware_version.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/test_support.h"

namespace {

FirmwareVersion Parsed(const std::string& text) {
  FirmwareVersion version;
  version.Parse(text.c_str());
  return version;
}

TEST(FirmwareVersion, LooseTextsGiveThreePartVersions) {
  const struct {
    std::string before;  // parsed first, when not empty
    std::string text;
    const char* expected;
  } cases[] = {
      {"", "4.0.555", "4.0.555"},
      {"", "v4.0.555", "4.0.555"},
      {"", "NCSI4.0.555", "4.0.555"},
      {"", "Version v4.0.555", "4.0.555"},
      {"", "   4.0.555", "4.0.555"},
      {"", "rev cv4..0.555.9", "4.0.555"},
      {"", "x.y.z", "0.0.0"},
      {"", "4.+2.-1", "4.2.-1"},
      // Components that the text does not supply keep their values.
      {"", "4.0", "4.0.0"},
      {"4.0.555", "7.1", "7.1.555"},
      {"4.0.555", "4.0.557 beta", "0.0.555"},  // only the word after the first blank counts
      {"1.2.3", "9.9.9c", "1.2.3"},
      // Only 255 characters are read: here the build's last digit falls off.
      {"7.7.7", std::string(251, 'v') + "1.2.3", "1.2.7"},
      {"", std::string(250, 'v') + "1.2.3", "1.2.3"},
      // Out of range components saturate; every component prints as signed 32-bit.
      {"", "4294967296.99999999999999999999.1", "2147483647.2147483647.1"},
      {"", "-99999999999.2147483648.-2147483648", "-2147483648.2147483647.-2147483648"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    FirmwareVersion version;
    if (!c.before.empty())
      version.Parse(c.before.c_str());
    version.Parse(c.text.c_str());
    EXPECT_TRUE(version.hasBuild());
    EXPECT_STREQ(version.cachedText(), c.expected);
  }
  EXPECT_EQ(Parsed("-1.0.0").major(), 0xFFFFFFFFu);
}

TEST(FirmwareVersion, EveryParseButAnEmptyOneWritesTheDebugLine) {
  InstalledLog log;
  log.ui().Write("start\n");  // Debug never opens the log itself
  Parsed("1.2.3");            // debug off
  log.ui().Configure(false, true, false);
  FirmwareVersion version = Parsed("4.0.555");
  version.Parse("vv");  // nothing left to split, yet a parse
  version.Parse("");
  version.Parse(nullptr);
  EXPECT_STREQ(version.Text(), "4.0.555");
  EXPECT_EQ(log.Text(), "start\nParsed version to be 4.0.555 \nParsed version to be 4.0.555 \n");

  FirmwareVersion untouched;
  untouched.Parse("");
  EXPECT_FALSE(untouched.hasBuild());
  EXPECT_STREQ(untouched.Text(), "0.0");
}

TEST(FirmwareVersion, ComparisonIsUnsignedAndOnlyTheLeftSideDecidesOnBuilds) {
  const FirmwareVersion v4_0_555 = Parsed("4.0.555");
  EXPECT_EQ(v4_0_555.Compare(Parsed("4.1.0")), -1);
  EXPECT_EQ(v4_0_555.Compare(Parsed("3.99.999")), 1);
  EXPECT_EQ(v4_0_555.Compare(Parsed("4.0.556")), -1);
  EXPECT_TRUE(v4_0_555 < Parsed("4.1.0"));
  EXPECT_FALSE(Parsed("4.1.0") < v4_0_555);
  EXPECT_EQ(Parsed("-1.0.0").Compare(Parsed("5.0.0")), 1);

  FirmwareVersion withText = Parsed("4.0.555");
  withText.Text();
  EXPECT_TRUE(withText == v4_0_555);  // cached texts play no part

  const FirmwareVersion twoPart;  // 0.0, as every record starts
  const FirmwareVersion parsed = Parsed("0.0.5");
  EXPECT_TRUE(twoPart == parsed);
  EXPECT_EQ(parsed.Compare(twoPart), 1);
}

TEST(FirmwareVersion, AssignmentCopiesOnlyWhatComparesUnequal) {
  FirmwareVersion target;
  target = Parsed("0.0.5");  // equal under the two-part left side
  EXPECT_FALSE(target.hasBuild());
  EXPECT_STREQ(target.Text(), "0.0");

  FirmwareVersion other = Parsed("1.2.3");
  other = Parsed("4.0.555");
  EXPECT_EQ(other.build(), 555u);
  EXPECT_STREQ(other.cachedText(), "");  // emptied until Text is asked for

  FirmwareVersion same = Parsed("4.0.555");
  same = other;  // equal: nothing moves, the cached text included
  EXPECT_STREQ(same.cachedText(), "4.0.555");
  const FirmwareVersion copied(same);  // copy construction takes the text too
  EXPECT_STREQ(copied.cachedText(), "4.0.555");
}

}  // namespace
