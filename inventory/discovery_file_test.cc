#include "inventory/discovery_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "app/run_flags.h"
#include "inventory/nic_record.h"
#include "inventory/package.h"
#include "inventory/test_support.h"
#include "platform/own_version.h"

namespace {

constexpr const char kFile[] = "tempNicList.xml";
constexpr const char kNotSupported8021[] =
    "NIC with PCI ID 1077-8021-1077-0203 is not identified as a supported QLogic P3P NIC.\n";

class DiscoveryFileTest : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    WriteFile("NICFWData.xml",
              Descriptor(Kind("1077", "8020", "1077", "0203", "4.0.556") +
                         Kind("FFFFFFFF", "FFFFFFFF", "FFFFFFFF", "FFFFFFFF", "7.7.7")));
    LoadPackageDescriptor();
  }

  std::int32_t Ingest(const std::string& content) {
    WriteFile(kFile, content);
    return IngestDiscoveryFile(kFile);
  }
};

TEST_F(DiscoveryFileTest, EverySupportedDeviceBecomesARecord) {
  const std::string devices = Device(" eth0 ", "00:0E:1E:00:00:01", "03", "4.0.555") +
                              Device("eth1", "00:0E:1E:00:00:02", "04", "v4.0.600");
  ASSERT_EQ(Ingest(DiscoveryFile(devices)), 0);
  ASSERT_EQ(NicList.Size(), 2u);
  EXPECT_EQ(SupportedNicCount, 2u);

  NicRecord first = NicList.At(0);
  EXPECT_EQ(first.interfaceName, "eth0");
  EXPECT_EQ(first.pciLocation, "03:00.1");
  EXPECT_EQ(first.vendorId, 0x1077);
  EXPECT_EQ(first.deviceId, 0x8020);
  EXPECT_EQ(first.subVendorId, 0x1077);
  EXPECT_EQ(first.subDeviceId, 0x0203);
  EXPECT_EQ(first.pciId, "1077-8020-1077-0203");
  EXPECT_EQ(first.macAddress, "00:0E:1E:00:00:01");
  EXPECT_EQ(first.productName, "QLE3242");
  EXPECT_STREQ(first.installedVersion.Text(), "4.0.555");
  EXPECT_STREQ(first.availableVersion.Text(), "4.0.556");
  EXPECT_EQ(first.firmwareId, "4.0.555");
  EXPECT_EQ(first.installedText, "4.0.555");
  EXPECT_EQ(first.itemVersion, "1");
  EXPECT_EQ(first.action, "update");
  EXPECT_EQ(first.duration, 30);
  EXPECT_TRUE(first.shared);
  EXPECT_EQ(first.message, "ok");
  EXPECT_EQ(first.flags, NIC_SUPPORTED);

  NicRecord second = NicList.At(1);
  EXPECT_EQ(second.pciLocation, "04:00.1");
  EXPECT_STREQ(second.installedVersion.Text(), "4.0.600");
  EXPECT_EQ(second.installedText, "v4.0.600");
  EXPECT_EQ(LogText(), "");
}

TEST_F(DiscoveryFileTest, DataADeviceLeavesOutAreThePreviousDevices) {
  const std::string devices = Device("eth0", "00:0E:1E:00:00:01", "03", "4.0.555") + "<device>" +
                              Datum("device_id", "eth1") + "<fw_item>" + Datum("firmware_id", "") +
                              Datum("shared", "NO") + "</fw_item></device>\n" + "<device>" +
                              Datum("device_id", "eth2") + Datum("devid", "8021") + "</device>\n" +
                              "<device>" + Datum("devid", "8020") + Datum("busnumber", "09") +
                              "</device>\n";
  ASSERT_EQ(Ingest(DiscoveryFile(devices)), 0);
  ASSERT_EQ(NicList.Size(), 3u);
  const NicRecord& second = NicList.At(1);
  EXPECT_EQ(second.interfaceName, "eth1");
  EXPECT_EQ(second.macAddress, "00:0E:1E:00:00:01");
  EXPECT_EQ(second.pciLocation, "03:00.1");
  EXPECT_EQ(second.pciId, "1077-8020-1077-0203");
  EXPECT_EQ(second.firmwareId, "");
  EXPECT_EQ(second.installedText, "4.0.555");
  EXPECT_FALSE(second.shared);
  EXPECT_EQ(second.action, "update");
  // The unsupported eth2 is dropped, but its name carries on to the next device.
  const NicRecord& third = NicList.At(2);
  EXPECT_EQ(third.interfaceName, "eth2");
  EXPECT_EQ(third.pciLocation, "09:00.1");
  EXPECT_EQ(LogText(), kNotSupported8021);
}

TEST_F(DiscoveryFileTest, AbsentValuesReadAsBlankZeroOrEmpty) {
  const std::string devices =
      "<device><device_id/><macaddress/><busnumber/><devicenumber/><funcnumber/>" +
      Datum("venid", "1077") + Datum("devid", "8020") + Datum("subvenid", "1077") +
      Datum("subdevid", "0203") +
      "<fw_item><action/><shared/><duration/><message/><version/></fw_item></device>\n";
  ASSERT_EQ(Ingest(DiscoveryFile(devices)), 0);
  const NicRecord& nic = NicList.At(0);
  EXPECT_EQ(nic.interfaceName, "");
  EXPECT_EQ(nic.action, "");
  EXPECT_EQ(nic.macAddress, " ");
  EXPECT_EQ(nic.pciLocation, " : . ");
  EXPECT_EQ(nic.itemVersion, " ");
  EXPECT_TRUE(nic.shared);
  EXPECT_EQ(nic.duration, 0);
  EXPECT_EQ(nic.message, "");
}

TEST_F(DiscoveryFileTest, ForeignOrUnexpectedTypeRefusesTheFile) {
  EXPECT_EQ(Ingest(DiscoveryFile(Device("eth0", "m", "03", "4.0.555"), "NETXEN_NIC")), 1);
  EXPECT_EQ(NicList.Size(), 0u);
  EXPECT_EQ(LogText(), "This Tallet tool can only be used to update P3P-series QLogic NICs.\n");

  const std::string before = LogText();
  EXPECT_EQ(Ingest(DiscoveryFile(Device("eth0", "m", "03", "4.0.555"), "qlogic_nic")), 1);
  EXPECT_EQ(LogText().substr(before.size()),
            "Unexpected value 'qlogic_nic' in file tempNicList.xml. Expected 'QLOGIC_NIC'.\n");
  EXPECT_EQ(NicList.Size(), 0u);
}

TEST_F(DiscoveryFileTest, TypeAfterTheDevicesRefusesButKeepsWhatWasAppended) {
  const std::string text = "<korvel_rom_discovery><devices>" +
                           Device("eth0", "m", "03", "4.0.555") + "</devices>" +
                           Datum("type", "NETXEN_NIC") + "</korvel_rom_discovery>";
  EXPECT_EQ(Ingest(text), 1);
  EXPECT_EQ(NicList.Size(), 1u);
  EXPECT_EQ(SupportedNicCount, 1u);
}

TEST_F(DiscoveryFileTest, FileWithoutTypeIsReadAsQLogic) {
  EXPECT_EQ(Ingest(DiscoveryFile(Device("eth0", "m", "03", "4.0.555"), "")), 0);
  EXPECT_EQ(NicList.Size(), 1u);
}

TEST_F(DiscoveryFileTest, UnreadableIdsBecomeZeroWithAWarning) {
  const struct {
    std::string element;
    bool accepted;
  } cases[] = {
      {Datum("venid", "0x1077"), true},
      {Datum("venid", "  1077"), true},
      {Datum("venid", "0X1077"), true},
      {Datum("venid", "1077 "), false},
      {Datum("venid", "10G7"), false},
      {Datum("venid", "7FFFFFFF"), false},
      {Datum("venid", "-80000000"), false},
      {Datum("venid", ""), false},
      {"<venid/>", false},
      {"<venid Value=\"1077\"/>", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.element);
    ResetInventoryForTesting();
    LoadPackageDescriptor();
    const std::string before = LogText();
    const std::string device = "<device>" + Datum("venid", "1234") + c.element +
                               Datum("devid", "8020") + Datum("subvenid", "1077") +
                               Datum("subdevid", "0203") + "</device>";
    EXPECT_EQ(Ingest(DiscoveryFile(device)), c.accepted ? 0 : 1);
    if (c.accepted) {
      EXPECT_EQ(LogText(), before);
    } else {
      EXPECT_EQ(LogText().substr(before.size()),
                "Warning!!! - Invalid/Corrupted vendor ID (XML tag: venid) value.\n"
                "NIC with PCI ID 0000-8020-1077-0203 is not identified as a supported QLogic P3P "
                "NIC.\n");
    }
  }
}

TEST_F(DiscoveryFileTest, EveryIdHasItsOwnWarningAndNegativeIdsPrintInFull) {
  const std::string bad = "<device>" + Datum("venid", "x") + Datum("devid", "x") +
                          Datum("subvenid", "x") + Datum("subdevid", "x") + "</device>";
  EXPECT_EQ(Ingest(DiscoveryFile(bad)), 1);
  EXPECT_EQ(LogText(),
            "Warning!!! - Invalid/Corrupted vendor ID (XML tag: venid) value.\n"
            "Warning!!! - Invalid/Corrupted device ID (XML tag: devid) value.\n"
            "Warning!!! - Invalid/Corrupted sub-vendor ID (XML tag: subvenid) value.\n"
            "Warning!!! - Invalid/Corrupted sub-device ID (XML tag: subdevid) value.\n"
            "NIC with PCI ID 0000-0000-0000-0000 is not identified as a supported QLogic P3P "
            "NIC.\n");

  const std::string negative = "<device>" + Datum("venid", "-1") + Datum("devid", "-1") +
                               Datum("subvenid", "-0x1") + Datum("subdevid", "-1") + "</device>";
  EXPECT_EQ(Ingest(DiscoveryFile(negative)), 0);
  ASSERT_EQ(NicList.Size(), 1u);
  EXPECT_EQ(NicList.At(0).pciId, "FFFFFFFF-FFFFFFFF-FFFFFFFF-FFFFFFFF");
  EXPECT_STREQ(NicList.At(0).availableVersion.Text(), "7.7.7");
}

TEST_F(DiscoveryFileTest, FirmwareTypeMustBeRomInAnyCase) {
  for (const char* type : {"rom", "ROM", "Rom", "rOM"}) {
    SCOPED_TRACE(type);
    ResetInventoryForTesting();
    LoadPackageDescriptor();
    const std::string device = "<device>" + Datum("venid", "1077") + Datum("devid", "8020") +
                               Datum("subvenid", "1077") + Datum("subdevid", "0203") + "<fw_item>" +
                               Datum("type", type) + "</fw_item></device>";
    EXPECT_EQ(Ingest(DiscoveryFile(device)), 0);
    EXPECT_EQ(NicList.Size(), 1u);
  }
}

TEST_F(DiscoveryFileTest, OtherFirmwareTypeStopsTheReadingWithTheCurrentResult) {
  RunFlags = RUN_VERIFY_FILE;
  const std::string report = dir_.File("version.xml");
  std::snprintf(ReportPathBuffer, kPathBufferSize, "%s", report.c_str());
  const std::string flash = "<device>" + Datum("device_id", "eth9") + "<fw_item>" +
                            Datum("type", "flash") + "</fw_item></device>\n";

  // Nothing appended yet: refused.
  EXPECT_EQ(Ingest(DiscoveryFile(flash + Device("eth1", "m", "03", "4.0.555"))), 1);
  EXPECT_EQ(NicList.Size(), 0u);
  EXPECT_EQ(LogText(),
            "Warning!!! - firmware type is not expected!. Expected type is ROM, current value is "
            "flash\n");

  // One port appended before: it stands, the rest of the file is not read.
  EXPECT_EQ(Ingest(DiscoveryFile(Device("eth0", "m", "03", "4.0.555") + flash +
                                 Device("eth1", "m", "04", "4.0.555"))),
            0);
  ASSERT_EQ(NicList.Size(), 1u);
  EXPECT_EQ(NicList.At(0).interfaceName, "eth0");
  EXPECT_FALSE(std::filesystem::exists(report));
}

TEST_F(DiscoveryFileTest, SameDeviceTwiceIsAppendedTwice) {
  const std::string device = Device("eth0", "m", "03", "4.0.555");
  EXPECT_EQ(Ingest(DiscoveryFile(device + device)), 0);
  EXPECT_EQ(NicList.Size(), 2u);
  EXPECT_EQ(SupportedNicCount, 2u);
}

TEST_F(DiscoveryFileTest, NoSupportedPortOrUnreadableFileGivesOne) {
  EXPECT_EQ(Ingest(DiscoveryFile(Device("eth0", "m", "03", "4.0.555", "8021"))), 1);
  EXPECT_EQ(LogText(), kNotSupported8021);

  std::string before = LogText();
  EXPECT_EQ(IngestDiscoveryFile("missing.xml"), 1);
  EXPECT_EQ(LogText().substr(before.size()),
            "Loading configuration file missing.xml failed. Error code: 10.\n");

  before = LogText();
  EXPECT_EQ(Ingest("<rom_discovery/>"), 1);
  EXPECT_EQ(LogText().substr(before.size()),
            "Loading configuration file tempNicList.xml failed. Error code: 11.\n");
  EXPECT_EQ(NicList.Size(), 0u);
}

TEST_F(DiscoveryFileTest, CompletedDiscoveryIgnoresFurtherFiles) {
  DiscoveryDone = true;
  EXPECT_EQ(Ingest(DiscoveryFile(Device("eth0", "m", "03", "4.0.555"))), 0);
  EXPECT_EQ(IngestDiscoveryFile("missing.xml"), 0);
  EXPECT_EQ(NicList.Size(), 0u);
  EXPECT_EQ(LogText(), "");
}

TEST_F(DiscoveryFileTest, VersionOnlyFileHoldsTheLastDeviceAndPackageEntry) {
  WriteFile("NICFWData.xml", Descriptor(Kind("1077", "8020", "1077", "0203", "4.0.556") +
                                        Kind("1077", "8022", "1077", "0203", "v5.0.1")));
  LoadPackageDescriptor();
  RunFlags = RUN_VERIFY_FILE;
  const std::string report = dir_.File("version.xml");
  std::snprintf(ReportPathBuffer, kPathBufferSize, "%s", report.c_str());

  const std::string devices = Device("eth0", "m", "03", "4.0.555", "8022") +
                              Device("eth1", "m", "04", "4.0.400") +
                              Device("eth2", "m", "05", "4.0.111", "8021");
  ASSERT_EQ(Ingest(DiscoveryFile(devices)), 0);

  char version[64];
  GetOwnFileVersion(version, sizeof version);
  const std::string expected = std::string("<korvel_rom_discovery version=\"") + version +
                               "\">\n"
                               "\t<type value=\"QLOGIC_NIC\"/>\n"
                               "\t<alt_name value=\"Zentavor\"/>\n"
                               "\t<current_version value=\"4.0.111\"/>\n"
                               "\t<package_version value=\"4.0.556\"/>\n"
                               "\t<takes_effect value=\"reboot\"/>\n"
                               "</korvel_rom_discovery>\n";
  EXPECT_EQ(ReadTextFile(report),
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + expected);
  EXPECT_NE(
      LogText().find("Created an XML file with only FW version information!\n" + expected + "\n"),
      std::string::npos);
}

TEST_F(DiscoveryFileTest, VersionOnlyFileWithoutTakesEffectHasAnEmptyValue) {
  RunFlags = RUN_VERIFY_FILE;
  const std::string report = dir_.File("version.xml");
  std::snprintf(ReportPathBuffer, kPathBufferSize, "%s", report.c_str());
  const std::string text = "<korvel_rom_discovery><devices>" +
                           Device("eth0", "m", "03", "4.0.555") + "</devices>" +
                           "</korvel_rom_discovery>";
  ASSERT_EQ(Ingest(text), 0);
  const XmlNode root = XmlNode::ParseFile(report.c_str(), "korvel_rom_discovery", nullptr);
  EXPECT_STREQ(root.GetChildByName("takes_effect").GetAttribute("value"), "");
  EXPECT_STREQ(root.GetChildByName("current_version").GetAttribute("value"), "4.0.555");
}

TEST(TrimSpaces, RemovesBlanksOnly) {
  EXPECT_EQ(TrimSpaces("  eth0  "), "eth0");
  EXPECT_EQ(TrimSpaces("    "), "");
  EXPECT_EQ(TrimSpaces(""), "");
  EXPECT_EQ(TrimSpaces("\teth 0\n "), "\teth 0\n");
}

TEST(ParseWholeInteger, AcceptsOnlyAWholeNumberWithin32Bits) {
  EXPECT_EQ(ParseWholeInteger("1077", 16), 0x1077);
  EXPECT_EQ(ParseWholeInteger("0x7ffffffe", 16), 0x7FFFFFFE);
  EXPECT_EQ(ParseWholeInteger(" -1", 16), -1);
  EXPECT_EQ(ParseWholeInteger("-7FFFFFFF", 16), -0x7FFFFFFF);
  EXPECT_EQ(ParseWholeInteger("42", 10), 42);
  EXPECT_THROW(ParseWholeInteger(nullptr, 16), std::invalid_argument);
  EXPECT_THROW(ParseWholeInteger("", 16), std::invalid_argument);
  EXPECT_THROW(ParseWholeInteger("12 ", 16), std::invalid_argument);
  EXPECT_THROW(ParseWholeInteger("0x", 16), std::invalid_argument);
  EXPECT_THROW(ParseWholeInteger("1A", 10), std::invalid_argument);
  // The 32-bit limits are what the conversion gives on overflow, so they count as overflow too.
  EXPECT_THROW(ParseWholeInteger("7FFFFFFF", 16), std::overflow_error);
  EXPECT_THROW(ParseWholeInteger("FFFFFFFF", 16), std::overflow_error);
  EXPECT_THROW(ParseWholeInteger("123456789ABCDEF0123", 16), std::overflow_error);
  EXPECT_THROW(ParseWholeInteger("-80000000", 16), std::underflow_error);
  EXPECT_THROW(ParseWholeInteger("-123456789ABCDEF0123", 16), std::underflow_error);
  try {
    ParseWholeInteger("10G7", 16);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "10G7");
  }
}

}  // namespace
