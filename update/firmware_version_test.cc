#include "update/firmware_version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ui/test_support.h"

namespace {

FirmwareVersion Parsed(const char* text) {
  FirmwareVersion version;
  version.Parse(text);
  return version;
}

std::string TextOf(FirmwareVersion version) {
  return version.Text();
}

class FirmwareVersionTest : public ::testing::Test {
 protected:
  InstalledLog log_;
};

TEST_F(FirmwareVersionTest, DecorationsInFrontOfTheNumbersAreDropped) {
  for (const char* text : {"4.0.555", "v4.0.555", "NCSI4.0.555", "NCSI 4.0.555", "Version v4.0.555",
                           " 4.0.555", "   4.0.555", "rev cv4.0.555", "4..0.555", ".4.0.555.",
                           "4.0.555.9", "BootROM  NCSIv4.0.555"}) {
    SCOPED_TRACE(text);
    FirmwareVersion version = Parsed(text);
    EXPECT_EQ(version.major(), 4u);
    EXPECT_EQ(version.minor(), 0u);
    EXPECT_EQ(version.build(), 555u);
    EXPECT_TRUE(version.hasBuild());
    EXPECT_STREQ(version.cachedText(), "4.0.555");
  }
}

TEST_F(FirmwareVersionTest, MissingComponentsKeepTheirPreviousValues) {
  FirmwareVersion version = Parsed("4.0");
  EXPECT_TRUE(version.hasBuild());
  EXPECT_EQ(TextOf(version), "4.0.0");

  version = Parsed("4.0.555");
  version.Parse("7.1");
  EXPECT_EQ(TextOf(version), "7.1.555");

  // Only the word after the first blank is read: "beta" is the major component.
  version.Parse("4.0.555 beta");
  EXPECT_EQ(TextOf(version), "0.1.555");

  // Nothing left after the last "c": every component stays.
  version.Parse("9.9.9c");
  EXPECT_EQ(TextOf(version), "0.1.555");
}

TEST_F(FirmwareVersionTest, UnreadableTokensBecomeZeroAndTokensAreReadLikeAtoi) {
  EXPECT_EQ(TextOf(Parsed("x.y.z")), "0.0.0");
  EXPECT_EQ(TextOf(Parsed("4a.0b.55x5")), "4.0.55");
  EXPECT_EQ(TextOf(Parsed("4.+2.-1")), "4.2.-1");
  EXPECT_EQ(Parsed("4.+2.-1").build(), 0xFFFFFFFFu);
}

TEST_F(FirmwareVersionTest, EmptyTextChangesNothingAndLogsNothing) {
  log_.ui().Configure(false, true, false);
  log_.ui().Write("start\n");  // Debug does not open the log by itself
  FirmwareVersion version = Parsed("1.2.3");
  const std::string before = log_.Text();
  version.Parse("");
  version.Parse(nullptr);
  EXPECT_EQ(TextOf(version), "1.2.3");
  EXPECT_EQ(log_.Text(), before);

  FirmwareVersion untouched;
  untouched.Parse("");
  EXPECT_FALSE(untouched.hasBuild());
  EXPECT_EQ(TextOf(untouched), "0.0");
}

TEST_F(FirmwareVersionTest, EveryParseWritesTheDebugLineInDebugModeOnly) {
  log_.ui().Write("start\n");
  Parsed("1.2.3");
  EXPECT_EQ(log_.Text(), "start\n");

  log_.ui().Configure(false, true, false);
  Parsed("4.0.555");
  FirmwareVersion version = Parsed("4.0.555");
  version.Parse("vv");  // nothing to split, yet still a parse
  EXPECT_EQ(log_.Text(),
            "start\nParsed version to be 4.0.555 \nParsed version to be 4.0.555 \n"
            "Parsed version to be 4.0.555 \n");
}

TEST_F(FirmwareVersionTest, TextBeyond255CharactersIsCut) {
  const std::string fits = std::string(250, 'v') + "1.2.3";  // 255 characters
  EXPECT_EQ(TextOf(Parsed(fits.c_str())), "1.2.3");
  // One more character pushes the last digit out of the 255 that are read.
  const std::string cut = std::string(251, 'v') + "1.2.3";
  FirmwareVersion version = Parsed("7.7.7");
  version.Parse(cut.c_str());
  EXPECT_EQ(TextOf(version), "1.2.7");
}

TEST_F(FirmwareVersionTest, ComponentsBeyond32BitsSaturateAndPrintSigned) {
  EXPECT_EQ(TextOf(Parsed("4294967296.99999999999999999999.1")), "2147483647.2147483647.1");
  EXPECT_EQ(TextOf(Parsed("-99999999999.2147483648.3000000000")),
            "-2147483648.2147483647.2147483647");
  FirmwareVersion high = Parsed("-1.-2147483648.0");
  EXPECT_EQ(high.major(), 0xFFFFFFFFu);
  EXPECT_EQ(high.minor(), 0x80000000u);
  EXPECT_EQ(TextOf(high), "-1.-2147483648.0");
}

TEST(ReadLeadingDecimal, ReadsLikeAtoiWithinThe32BitRange) {
  EXPECT_EQ(ReadLeadingDecimal(nullptr), 0);
  EXPECT_EQ(ReadLeadingDecimal(""), 0);
  EXPECT_EQ(ReadLeadingDecimal("abc"), 0);
  EXPECT_EQ(ReadLeadingDecimal(" \t+42x"), 42);
  EXPECT_EQ(ReadLeadingDecimal("-17"), -17);
  EXPECT_EQ(ReadLeadingDecimal("- 17"), 0);
  EXPECT_EQ(ReadLeadingDecimal("2147483647"), INT32_MAX);
  EXPECT_EQ(ReadLeadingDecimal("2147483648"), INT32_MAX);
  EXPECT_EQ(ReadLeadingDecimal("-2147483648"), INT32_MIN);
  EXPECT_EQ(ReadLeadingDecimal("-2147483649"), INT32_MIN);
  EXPECT_EQ(ReadLeadingDecimal("000000000000000000000000012"), 12);
}

TEST_F(FirmwareVersionTest, ComparisonOrdersComponentByComponentAsUnsigned) {
  const FirmwareVersion v4_0_555 = Parsed("4.0.555");
  EXPECT_EQ(v4_0_555.Compare(Parsed("4.1.0")), -1);
  EXPECT_EQ(v4_0_555.Compare(Parsed("3.99.999")), 1);
  EXPECT_EQ(v4_0_555.Compare(Parsed("4.0.556")), -1);
  EXPECT_EQ(v4_0_555.Compare(Parsed("4.0.554")), 1);
  EXPECT_TRUE(v4_0_555 < Parsed("4.1.0"));
  EXPECT_FALSE(Parsed("4.1.0") < v4_0_555);
  // A negative text wraps to a large unsigned component.
  EXPECT_EQ(Parsed("-1.0.0").Compare(Parsed("5.0.0")), 1);

  // The cached text plays no part.
  FirmwareVersion withText = Parsed("4.0.555");
  FirmwareVersion copy = withText;
  withText.Text();
  EXPECT_TRUE(withText == v4_0_555);
  EXPECT_FALSE(withText != copy);
}

TEST_F(FirmwareVersionTest, TwoPartLeftSideIgnoresBuilds) {
  const FirmwareVersion twoPart;  // 0.0, as every record starts
  const FirmwareVersion parsed = Parsed("0.0.5");
  EXPECT_EQ(twoPart.Compare(parsed), 0);
  EXPECT_EQ(parsed.Compare(twoPart), 1);
  EXPECT_TRUE(twoPart == parsed);
  EXPECT_TRUE(parsed != twoPart);
}

TEST_F(FirmwareVersionTest, AssignmentCopiesOnlyUnequalValues) {
  // Equal under the left side's rule: the target stays two-part 0.0.
  FirmwareVersion target;
  target = Parsed("0.0.5");
  EXPECT_FALSE(target.hasBuild());
  EXPECT_EQ(TextOf(target), "0.0");

  // Unequal: the value is copied and the cached text emptied.
  FirmwareVersion other = Parsed("1.2.3");
  EXPECT_STREQ(other.cachedText(), "1.2.3");
  other = Parsed("4.0.555");
  EXPECT_EQ(other.build(), 555u);
  EXPECT_STREQ(other.cachedText(), "");

  // Equal: nothing moves, the cached text included.
  FirmwareVersion same = Parsed("4.0.555");
  FirmwareVersion source = Parsed("4.0.555");
  source.Parse("");
  same = source;
  EXPECT_STREQ(same.cachedText(), "4.0.555");

  // Copy construction takes everything, the cached text too.
  const FirmwareVersion copied(same);
  EXPECT_STREQ(copied.cachedText(), "4.0.555");
}

}  // namespace
