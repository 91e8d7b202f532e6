#include "inventory/package.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inventory/nic_record.h"
#include "inventory/test_support.h"

namespace {

using PackageTest = InventoryTest;

std::vector<std::string> Keys() {
  std::vector<std::string> keys;
  for (const auto& [key, entry] : PackageTable)
    keys.push_back(key);
  return keys;
}

TEST_F(PackageTest, KindsAreKeyedByTheirFourIdsAndFoundAgain) {
  WriteFile("NICFWData.xml", Descriptor(Kind("1077", "8020", "1077", "0203", "4.0.556") +
                                        Kind("1077", "8020", "1077", "0207", "4.0.600", "b.bin")));
  LoadPackageDescriptor();
  EXPECT_EQ(Keys(), (std::vector<std::string>{"1077-8020-1077-0203", "1077-8020-1077-0207"}));
  EXPECT_EQ(FirmwareImageFile, "b.bin");

  PackageEntry entry;
  ASSERT_EQ(FindPackageEntry("1077-8020-1077-0203", entry), 0);
  EXPECT_EQ(entry.name, "QLE3242");
  EXPECT_EQ(entry.rom, "4.0.556");
  EXPECT_EQ(entry.fwFile, "p3p.bin");
  EXPECT_STREQ(entry.romVersion.Text(), "4.0.556");
  EXPECT_EQ(LogText(), "");
}

TEST_F(PackageTest, UnknownKeyLeavesTheEntryAndIsLogged) {
  WriteFile("NICFWData.xml", Descriptor(Kind("1077", "8020", "1077", "0203", "4.0.556")));
  LoadPackageDescriptor();
  PackageEntry entry;
  entry.name = "untouched";
  EXPECT_EQ(FindPackageEntry("1077-8021-1077-0203", entry), 1);
  EXPECT_EQ(entry.name, "untouched");
  EXPECT_EQ(LogText(),
            "NIC with PCI ID 1077-8021-1077-0203 is not identified as a supported QLogic P3P "
            "NIC.\n");
}

TEST_F(PackageTest, ShortOrLowerCaseIdsAreStoredUnderTheirOwnKeysAndLaterKindsReplace) {
  WriteFile("NICFWData.xml",
            Descriptor(Kind("1077", "8020", "1077", "0203", "1.0.0", "a.bin", "old") +
                       Kind("77", "abcd", "1", "12345", "2.0.0") +
                       Kind("1077", "8020", "1077", "0203", "3.0.0", "c.bin", "new")));
  LoadPackageDescriptor();
  EXPECT_EQ(Keys(), (std::vector<std::string>{"  77-abcd-   1-12345", "1077-8020-1077-0203"}));
  EXPECT_EQ(PackageTable["1077-8020-1077-0203"].name, "new");
  EXPECT_STREQ(PackageTable["1077-8020-1077-0203"].romVersion.Text(), "3.0.0");
  PackageEntry entry;
  EXPECT_EQ(FindPackageEntry("0077-ABCD-0001-12345", entry), 1);
}

TEST_F(PackageTest, KeysAreOrderedBytewise) {
  WriteFile("NICFWData.xml",
            Descriptor(Kind("\xC3\x84\xC3\x84", "1", "1", "1", "1.0") +
                       Kind("ZZZZ", "1", "1", "1", "1.0") + Kind("aaaa", "1", "1", "1", "1.0")));
  LoadPackageDescriptor();
  const std::vector<std::string> keys = Keys();
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].substr(0, 4), "ZZZZ");
  EXPECT_EQ(keys[1].substr(0, 4), "aaaa");
  EXPECT_EQ(keys[2].substr(0, 4), "\xC3\x84\xC3\x84");  // bytes above 0x7F sort last
}

TEST_F(PackageTest, OnlyNicElementsCountAndAttributeNamesIgnoreCase) {
  WriteFile(
      "NICFWData.xml",
      "<nic_fw_package version=\"1\">\n"
      "<nic name=\"direct\" venid=\"1111\" devid=\"1111\" subvenid=\"1111\" "
      "subdevid=\"1111\" rom=\"1.0\"/>\n"
      "<NIC><nic venid=\"2222\" devid=\"2222\" subvenid=\"2222\" subdevid=\"2222\"/></NIC>\n"
      "<group><nic venid=\"3333\" devid=\"3333\" subvenid=\"3333\" subdevid=\"3333\"/></group>\n"
      "<nic><NIC VENID=\"4444\" devid=\"4444\" subvenid=\"4444\" subdevid=\"4444\"/>\n"
      "<nic NAME=\"upper\" VENID=\"5555\" DevId=\"5555\" SUBVENID=\"5555\" SubDevId=\"5555\" "
      "ROM=\"5.5.5\" FWFILE=\"five.bin\"/></nic>\n"
      "</nic_fw_package>\n");
  LoadPackageDescriptor();
  EXPECT_EQ(Keys(), (std::vector<std::string>{"5555-5555-5555-5555"}));
  EXPECT_EQ(PackageTable["5555-5555-5555-5555"].name, "upper");
  EXPECT_EQ(PackageTable["5555-5555-5555-5555"].rom, "5.5.5");
  EXPECT_EQ(FirmwareImageFile, "five.bin");
}

TEST_F(PackageTest, ImageNameAbsentIsABlankEmptyIsIgnoredLastOneWins) {
  WriteFile("NICFWData.xml",
            Descriptor(Kind("0001", "0001", "0001", "0001", "1.0", "first.bin") +
                       Kind("0002", "0002", "0002", "0002", "1.0", "") + "<nic venid=\"0003\"/>\n" +
                       Kind("0004", "0004", "0004", "0004", "1.0", "")));
  LoadPackageDescriptor();
  EXPECT_EQ(FirmwareImageFile, " ");
  // The absent IDs of the third kind read as blanks.
  EXPECT_EQ(PackageTable.count("0003-    -    -    "), 1u);
  EXPECT_EQ(PackageTable["0003-    -    -    "].name, " ");
}

TEST_F(PackageTest, EmptyRomKeepsTheVersionOfTheKindBefore) {
  WriteFile("NICFWData.xml", Descriptor(Kind("0001", "0001", "0001", "0001", "") +
                                        Kind("0002", "0002", "0002", "0002", "4.0.556") +
                                        Kind("0003", "0003", "0003", "0003", "")));
  LoadPackageDescriptor();
  EXPECT_FALSE(PackageTable["0001-0001-0001-0001"].romVersion.hasBuild());
  EXPECT_STREQ(PackageTable["0001-0001-0001-0001"].romVersion.Text(), "0.0");
  EXPECT_STREQ(PackageTable["0003-0003-0003-0003"].romVersion.Text(), "4.0.556");
  EXPECT_EQ(PackageTable["0003-0003-0003-0003"].rom, "");
}

TEST_F(PackageTest, MissingDescriptorExplainsWhatMustBePresent) {
  PackageTable["kept"] = PackageEntry();
  FirmwareImageFile = "kept.bin";
  LoadPackageDescriptor();
  EXPECT_EQ(LogText(),
            "Loading configuration file NICFWData.xml failed. Error code: 10.\n"
            "File Not found!- Please make sure netscli -flashsupport and nxflash_x86.exe are "
            "present in the same directory where Quennet.exe is located.\n");
  EXPECT_EQ(Keys(), (std::vector<std::string>{"kept"}));
  EXPECT_EQ(FirmwareImageFile, "kept.bin");
}

TEST_F(PackageTest, UnreadableDescriptorsReportTheLibraryCode) {
  const struct {
    const char* content;
    int code;
  } cases[] = {
      {"", 3},
      {"<other/>", 11},
      {"<nic_fw_package><nic></nic_fw_package>", 1},  // warnings count as failure too
      {"<nic_fw_package><nic venid=\"&bad;\"/></nic_fw_package>", 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    ResetInventoryForTesting();
    const std::string before = LogText();
    WriteFile("NICFWData.xml", c.content);
    LoadPackageDescriptor();
    EXPECT_EQ(LogText().substr(before.size()),
              "Loading configuration file NICFWData.xml failed. Error code: " +
                  std::to_string(c.code) + ".\n");
    EXPECT_TRUE(PackageTable.empty());
  }
}

TEST_F(PackageTest, IdsTooLongForAKeyAreRefusedAndTheRestLoads) {
  const std::string longId(200, 'A');
  WriteFile("NICFWData.xml",
            Descriptor(Kind(longId, longId, "1", "1", "9.9.9", "long.bin", "huge") +
                       Kind("1077", "8020", "1077", "0203", "4.0.556", "ok.bin")));
  LoadPackageDescriptor();
  EXPECT_EQ(Keys(), (std::vector<std::string>{"1077-8020-1077-0203"}));
  EXPECT_EQ(LogText(),
            "Warning: adapter kind 'huge' in NICFWData.xml skipped: its PCI IDs are too long for a "
            "package key.\n");

  std::string key;
  EXPECT_TRUE(PackageKey(std::string(64, 'A'), std::string(64, 'B'), std::string(64, 'C'),
                         std::string(64, 'D'), &key));
  EXPECT_EQ(key.size(), 259u);
  EXPECT_FALSE(PackageKey(std::string(65, 'A'), std::string(64, 'B'), std::string(64, 'C'),
                          std::string(64, 'D'), &key));
  EXPECT_EQ(key.size(), 259u);  // left as it was
}

TEST(AttributeText, AbsentIsOneBlankEmptyIsEmpty) {
  const XmlNode node = XmlNode::ParseString("<a present=\"x\" empty=\"\" bare/>", "a", nullptr);
  EXPECT_EQ(AttributeText(node, "PRESENT"), "x");
  EXPECT_EQ(AttributeText(node, "empty"), "");
  EXPECT_EQ(AttributeText(node, "missing"), " ");
  EXPECT_EQ(AttributeText(node, "bare"), " ");
  EXPECT_EQ(AttributeText(XmlNode(), "present"), " ");
}

}  // namespace
