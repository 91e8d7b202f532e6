#include "inventory/package.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "inventory/image_check.h"
#include "inventory/nic_record.h"
#include "inventory/run_record.h"
#include "inventory/test_support.h"

namespace {

using PackageTest = InventoryTest;

std::vector<std::string> Keys() {
  std::vector<std::string> keys;
  for (const auto& [key, entry] : PackageTable)
    keys.push_back(key);
  return keys;
}

TEST_F(PackageTest, KindsAreKeyedByTheirIdsAsWritten) {
  WriteFile(
      "NICFWData.xml",
      "<nic_fw_package version=\"1\">\n"
      "<nic venid=\"1111\" devid=\"1111\" subvenid=\"1111\" subdevid=\"1111\"/>\n"
      "<NIC>" +
          Kind("2222", "2222", "2222", "2222", "2.0") +
          "</NIC>\n"
          "<nic>\n" +
          Kind("1077", "8020", "1077", "0203", "1.0.7", "a.bin", "old") +
          Kind("\xC3\x84\xC3\x84", "1", "1", "1", "5.0", "") +
          Kind("77", "abcd", "1", "12345", "") +
          "<NIC venid=\"3333\" devid=\"3333\" subvenid=\"3333\" subdevid=\"3333\"/>\n"
          "<nic NAME=\"new\" VENID=\"1077\" DevId=\"8020\" SUBVENID=\"1077\" SubDevId=\"0203\" "
          "Rom=\"\" FWFILE=\"b.bin\"/>\n"
          "</nic>\n</nic_fw_package>\n");
  LoadPackageDescriptor();
  // Byte-wise order: blanks first, bytes above 0x7F last.
  EXPECT_EQ(Keys(), (std::vector<std::string>{"  77-abcd-   1-12345", "1077-8020-1077-0203",
                                              "\xC3\x84\xC3\x84-   1-   1-   1"}));
  EXPECT_EQ(FirmwareImageFile, "b.bin");

  PackageEntry entry;
  ASSERT_EQ(FindPackageEntry("1077-8020-1077-0203", entry), 0);
  EXPECT_EQ(entry.name, "new");
  EXPECT_EQ(entry.fwFile, "b.bin");
  // Each kind's version is its own: an empty rom gives none, and "5.0" after
  // "1.0.7" is 5.0.0, never a version with the kind before's parts.
  EXPECT_EQ(entry.rom, "");
  EXPECT_STREQ(entry.romVersion.Text(), "0.0");
  EXPECT_STREQ(PackageTable.at("\xC3\x84\xC3\x84-   1-   1-   1").romVersion.Text(), "5.0.0");
  EXPECT_EQ(LogText(), "");

  entry.name = "untouched";
  EXPECT_EQ(FindPackageEntry("0077-ABCD-0001-12345", entry), 1);
  EXPECT_EQ(entry.name, "untouched");
  EXPECT_EQ(LogText(),
            "NIC with PCI ID 0077-ABCD-0001-12345 is not identified as a supported QLogic P3P "
            "NIC.\n");
}

TEST_F(PackageTest, AbsentAttributesReadAsOneBlank) {
  WriteFile("NICFWData.xml", Descriptor(Kind("0001", "0001", "0001", "0001", "1.0", "first.bin") +
                                        "<nic venid=\"0003\" fwFile=\"\"/>\n"));
  LoadPackageDescriptor();
  EXPECT_EQ(FirmwareImageFile, "first.bin");  // present but empty: left as it was
  EXPECT_EQ(PackageTable.at("0003-    -    -    ").name, " ");

  WriteFile("NICFWData.xml", Descriptor("<nic venid=\"0004\"/>\n"));
  LoadPackageDescriptor();
  EXPECT_EQ(FirmwareImageFile, " ");
  EXPECT_EQ(PackageTable.size(), 3u);  // loads add to the table
}

TEST_F(PackageTest, UnreadableDescriptorIsReportedAndChangesNothing) {
  const struct {
    const char* content;  // nullptr: no file
    const char* log;
  } cases[] = {
      {nullptr,
       "Loading configuration file NICFWData.xml failed. Error code: 10.\n"
       "File Not found!- Please make sure netscli -flashsupport and nxflash_x86.exe are present "
       "in the same directory where Quennet.exe is located.\n"},
      {"", "Loading configuration file NICFWData.xml failed. Error code: 3.\n"},
      {"<other/>", "Loading configuration file NICFWData.xml failed. Error code: 11.\n"},
      // Warnings count as failures too.
      {"<nic_fw_package><nic></nic_fw_package>",
       "Loading configuration file NICFWData.xml failed. Error code: 1.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.log);
    ResetInventoryForTesting();
    PackageTable["kept"] = PackageEntry();
    FirmwareImageFile = "kept.bin";
    std::filesystem::remove(dir_.File("NICFWData.xml"));
    if (c.content != nullptr)
      WriteFile("NICFWData.xml", c.content);
    const std::string before = LogText();
    LoadPackageDescriptor();
    EXPECT_EQ(LogText().substr(before.size()), c.log);
    EXPECT_EQ(Keys(), std::vector<std::string>{"kept"});
    EXPECT_EQ(FirmwareImageFile, "kept.bin");
  }
}

TEST_F(PackageTest, IdsTooLongForAKeyAreRefused) {
  const std::string longId(200, 'A');
  WriteFile("NICFWData.xml", Descriptor(Kind(longId, longId, "1", "1", "9.9.9", "x.bin", "huge") +
                                        Kind("1077", "8020", "1077", "0203", "4.0.556")));
  LoadPackageDescriptor();
  EXPECT_EQ(Keys(), std::vector<std::string>{"1077-8020-1077-0203"});
  EXPECT_EQ(LogText(),
            "Warning: adapter kind 'huge' in NICFWData.xml skipped: its PCI IDs are too long for a "
            "package key.\n");

  // 259 characters is the most a key may hold.
  std::string key;
  const std::string id(64, 'B');
  EXPECT_TRUE(PackageKey(id, id, id, id, &key));
  EXPECT_EQ(key.size(), 259u);
  EXPECT_FALSE(PackageKey(id + "B", id, id, id, &key));
}

// The SHA-256 of "abc" and of nothing.
constexpr char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
constexpr char kEmpty[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string WithDigest(const std::string& kind, const std::string& attribute) {
  return kind.substr(0, kind.size() - 3) + " " + attribute + "/>\n";
}

TEST_F(PackageTest, DigestsBelongToTheImageEachKindTakes) {
  WriteFile("NICFWData.xml",
            Descriptor(WithDigest(Kind("0001", "1", "1", "1", "1.0", "a.bin"),
                                  "sha256=\"" + std::string(kAbc) + "\"") +
                       // No file of its own: its digest is for the image before.
                       WithDigest(Kind("0002", "1", "1", "1", "1.0", ""), "SHA256=\"x\"") +
                       WithDigest(Kind("0003", "1", "1", "1", "1.0", "c.bin"),
                                  "Sha256=\"" + std::string(kEmpty) + "\"") +
                       Kind("0004", "1", "1", "1", "1.0", "c.bin")));
  LoadPackageDescriptor();
  using Digests = std::map<std::string, std::vector<std::string>>;
  EXPECT_EQ(PromisedImageDigests, (Digests{{"a.bin", {kAbc, "x"}}, {"c.bin", {kEmpty}}}));
  EXPECT_EQ(FirmwareImageFile, "c.bin");
  // Only the run's image counts: a.bin's broken promise is not c.bin's.
  WriteFile("c.bin", "");
  const ImageHold hold = CheckImageBeforeWrite();
  EXPECT_TRUE(hold.go()) << hold.refusal();
  EXPECT_EQ(LogText(),
            "Firmware image c.bin matches the SHA-256 digest that NICFWData.xml gives "
            "for it (" +
                std::string(kEmpty) + ").\n");

  // A descriptor read again promises what it says now, and nothing else.
  WriteFile("NICFWData.xml", Descriptor(Kind("0005", "1", "1", "1", "1.0", "e.bin")));
  LoadPackageDescriptor();
  EXPECT_TRUE(PromisedImageDigests.empty());
}

// Without a promise nothing changes: the image is not even opened, and a
// missing one is no reason to refuse (the vendor utility judges it, as ever).
TEST_F(PackageTest, WithoutAPromiseTheImageIsNeverRead) {
  WriteFile("NICFWData.xml", Descriptor(Kind("0001", "1", "1", "1", "1.0", "missing.bin")));
  LoadPackageDescriptor();
  LookAtImage(false);
  const ImageHold hold = CheckImageBeforeWrite();
  EXPECT_TRUE(hold.go());
  EXPECT_EQ(LogText(), "");
  const ImageFacts& image = TheRunFacts().image;
  EXPECT_TRUE(image.described);
  EXPECT_EQ(image.name, "missing.bin");
  EXPECT_FALSE(image.expected.has_value() || image.matched.has_value());
  EXPECT_EQ(image.found + image.problem + image.refusal, "");
}

}  // namespace
