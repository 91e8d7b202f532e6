#include "platform/vendor_utility.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/process.h"

namespace {

using Words = std::vector<std::string>;

TEST(VendorUtilityTest, OrdinaryValuesGiveTheCommandLinesByteForByte) {
  EXPECT_EQ(DiscoveryCommand("p3p.rom"), "netscli -flashsupport -d p3p.rom tempNicList.xml -p3");
  EXPECT_EQ(DiscoveryReportCommand("p3p.rom", R"(C:\reports\r.xml)"),
            R"(netscli -flashsupport -d p3p.rom C:\reports\r.xml -p3)");
  EXPECT_EQ(ReplayCommand("p3p.rom", "r.xml"),
            "netscli -flashsupport -u p3p.rom r.xml tempNicList.xml -p3");
  EXPECT_EQ(FlashCommand("05:00.0", "p3p.rom"), "netscli -flashsupport -i 05:00.0 -a p3p.rom");
  // An empty value is inserted as it is, leaving two blanks.
  EXPECT_EQ(DiscoveryCommand(""), "netscli -flashsupport -d  tempNicList.xml -p3");
}

TEST(VendorUtilityTest, ValuesWithBlanksOrQuotesReachTheUtilityAsOneArgumentEach) {
  const std::string report = R"(C:\My Reports\)";
  const std::string image = R"(fw "new".rom)";
  EXPECT_EQ(SplitCommandLine(DiscoveryReportCommand(image, report)),
            (Words{"netscli", "-flashsupport", "-d", image, report, "-p3"}));
  EXPECT_EQ(SplitCommandLine(ReplayCommand(image, report)),
            (Words{"netscli", "-flashsupport", "-u", image, report, "tempNicList.xml", "-p3"}));
  EXPECT_EQ(SplitCommandLine(FlashCommand("bus 5", image)),
            (Words{"netscli", "-flashsupport", "-i", "bus 5", "-a", image}));
  EXPECT_EQ(SplitCommandLine(DiscoveryCommand(image)),
            (Words{"netscli", "-flashsupport", "-d", image, "tempNicList.xml", "-p3"}));
}

TEST(VendorUtilityTest, ACraftedPathCannotAddOptions) {
  const std::string crafted = R"(r.xml" -i 05:00.0 -a evil.rom ")";
  const Words words = SplitCommandLine(DiscoveryReportCommand("p3p.rom", crafted));
  ASSERT_EQ(words.size(), 6u);
  EXPECT_EQ(words[4], crafted);
}

}  // namespace
