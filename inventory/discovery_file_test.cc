#include "inventory/discovery_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "base/run_flags.h"
#include "inventory/nic_record.h"
#include "inventory/package.h"
#include "inventory/run_record.h"
#include "inventory/test_support.h"
#include "platform/own_version.h"

namespace {

constexpr const char kFile[] = "tempNicList.xml";

std::string NotSupported(const std::string& pciId) {
  return "NIC with PCI ID " + pciId + " is not identified as a supported QLogic P3P NIC.\n";
}

// Four ID elements, in the order a device lists them.
std::string Ids(const std::string& venid, const std::string& devid = "8020",
                const std::string& subvenid = "1077", const std::string& subdevid = "0203") {
  return Datum("venid", venid) + Datum("devid", devid) + Datum("subvenid", subvenid) +
         Datum("subdevid", subdevid);
}

// The data besides its IDs that a port must give of itself to be served: a
// location at the bus, a MAC address and an installed version.
std::string OwnData(const std::string& bus, const std::string& firmware = "4.0.555") {
  return Datum("busnumber", bus) + Datum("devicenumber", "00") + Datum("funcnumber", "1") +
         Datum("macaddress", "00:0E:1E:00:00:" + bus) + "<fw_item>" +
         Datum("firmware_id", firmware) + "</fw_item>";
}

class DiscoveryFileTest : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    WriteFile("NICFWData.xml",
              Descriptor(Kind("1077", "8020", "1077", "0203", "4.0.556") +
                         Kind("1077", "8022", "1077", "0203", "v5.0.1") +
                         Kind("FFFFFFFF", "FFFFFFFF", "FFFFFFFF", "FFFFFFFF", "7.7.7")));
    LoadPackageDescriptor();
  }

  // Ingests content as the discovery file, on an empty inventory.
  std::int32_t Ingest(const std::string& content) {
    ResetInventoryForTesting();
    LoadPackageDescriptor();
    logStart_ = LogText().size();
    WriteFile(kFile, content);
    return IngestDiscoveryFile(kFile);
  }
  // What the last Ingest wrote to the log.
  std::string NewLog() const { return LogText().substr(logStart_); }

  void RequestVersionOnlyFile() {
    RunFlags = RUN_VERIFY_FILE;
    std::snprintf(ReportPathBuffer, kPathBufferSize, "%s", dir_.File("version.xml").c_str());
  }

 private:
  std::size_t logStart_ = 0;
};

TEST_F(DiscoveryFileTest, DevicesBecomeRecords) {
  const std::string devices = Device(" eth0 ", "00:0E:1E:00:00:01", "03", "4.0.555") + "<device>" +
                              Datum("device_id", "eth2") + Datum("devid", "8021") + "</device>\n";
  ASSERT_EQ(Ingest(DiscoveryFile(devices)), 0);
  ASSERT_EQ(NicList.Size(), 1u);
  EXPECT_EQ(SupportedNicCount, 1u);
  EXPECT_EQ(NewLog(), NotSupported("0000-8021-0000-0000"));

  NicRecord first = NicList.At(0);
  EXPECT_EQ(first.interfaceName, "eth0");
  EXPECT_EQ(first.pciLocation, "03:00.1");
  EXPECT_EQ(first.vendorId, 0x1077);
  EXPECT_EQ(first.subDeviceId, 0x0203);
  EXPECT_EQ(first.pciId, "1077-8020-1077-0203");
  EXPECT_EQ(first.macAddress, "00:0E:1E:00:00:01");
  EXPECT_EQ(first.productName, "QLE3242");
  EXPECT_STREQ(first.installedVersion.Text(), "4.0.555");
  EXPECT_STREQ(first.availableVersion.Text(), "4.0.556");
  EXPECT_EQ(first.installedText, "4.0.555");
  EXPECT_EQ(first.itemVersion, "1");
  EXPECT_EQ(first.action, "update");
  EXPECT_EQ(first.duration, 30);
  EXPECT_TRUE(first.shared);
  EXPECT_EQ(first.message, "ok");
  EXPECT_EQ(first.flags, NIC_SUPPORTED);

  // Every device is listed with its standing, the unserved one too.
  ASSERT_EQ(TheRunFacts().ports.size(), 2u);
  EXPECT_EQ(TheRunFacts().ports[0].standing, PortStanding::kServed);
  EXPECT_EQ(TheRunFacts().ports[1].standing, PortStanding::kNotInPackage);
  EXPECT_EQ(TheRunFacts().ports[1].nic.interfaceName, "eth2");
}

// A device that leaves a datum out never takes the device before it: a port
// without its own location, MAC address or installed version, or at a location
// listed before, is listed but never served.
TEST_F(DiscoveryFileTest, EachDeviceStandsOnItsOwn) {
  const std::string first = Device("eth0", "00:0E:1E:00:00:01", "03", "4.0.700");
  const std::string ids = Datum("device_id", "eth1") + Ids("1077");
  const std::string location =
      Datum("busnumber", "04") + Datum("devicenumber", "00") + Datum("funcnumber", "1");
  const std::string mac = Datum("macaddress", "00:0E:1E:00:00:02");
  const std::string firmware = "<fw_item>" + Datum("firmware_id", "4.1") + "</fw_item>";
  const std::string lacks = "Warning!!! - Device 2 ('eth1') in tempNicList.xml lacks ";
  const std::string willNot = "; the port will not be updated.\n";
  const struct {
    std::string children;
    PortStanding standing;
    std::string log;
  } cases[] = {
      {ids + mac + firmware, PortStanding::kIncompleteEntry,
       lacks + "busnumber, devicenumber, funcnumber" + willNot},
      {ids + location + firmware, PortStanding::kIncompleteEntry, lacks + "macaddress" + willNot},
      {ids + location + mac + "<fw_item>" + Datum("firmware_id", "") + "</fw_item>",
       PortStanding::kIncompleteEntry, lacks + "firmware_id" + willNot},
      {ids + "<busnumber/>" + Datum("devicenumber", "00") + Datum("funcnumber", "1") +
           Datum("macaddress", " ") + "<fw_item><firmware_id/></fw_item>",
       PortStanding::kIncompleteEntry, lacks + "busnumber, macaddress, firmware_id" + willNot},
      {ids + Datum("busnumber", "03") + Datum("devicenumber", "00") + Datum("funcnumber", "1") +
           mac + firmware,
       PortStanding::kDuplicateLocation,
       "Warning!!! - Device 2 ('eth1') in tempNicList.xml lists location 03:00.1 a second time; "
       "it is passed over.\n"},
      {ids + location + mac + firmware, PortStanding::kServed, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.children);
    const bool served = c.standing == PortStanding::kServed;
    ASSERT_EQ(Ingest(DiscoveryFile(first + "<device>" + c.children + "</device>")), 0);
    EXPECT_EQ(NewLog(), c.log);
    ASSERT_EQ(NicList.Size(), served ? 2u : 1u);
    ASSERT_EQ(TheRunFacts().ports.size(), 2u);
    EXPECT_EQ(TheRunFacts().ports[1].standing, c.standing);
    const NicRecord& second = TheRunFacts().ports[1].nic;
    EXPECT_EQ(second.action, "");
    EXPECT_EQ(second.productName, "");
    EXPECT_NE(second.installedText, "4.0.700");
    if (served) {
      // Read from its own text: "4.1" is 4.1.0, not 4.1.700.
      EXPECT_STREQ(NicList.At(1).installedVersion.Text(), "4.1.0");
      EXPECT_EQ(NicList.At(1).pciLocation, "04:00.1");
    }
  }
}

TEST_F(DiscoveryFileTest, AbsentValuesReadAsBlankZeroOrEmpty) {
  const std::string device =
      "<device><device_id/><macaddress/><busnumber/><devicenumber/><funcnumber/>" + Ids("1077") +
      "<fw_item><action/><shared/><duration/><message/><version/></fw_item></device>\n";
  ASSERT_EQ(Ingest(DiscoveryFile(device)), 1);  // a port without location or MAC address
  const NicRecord& nic = TheRunFacts().ports.at(0).nic;
  EXPECT_EQ(nic.interfaceName, "");
  EXPECT_EQ(nic.action, "");
  EXPECT_EQ(nic.macAddress, " ");
  EXPECT_EQ(nic.pciLocation, " : . ");
  EXPECT_EQ(nic.itemVersion, " ");
  EXPECT_TRUE(nic.shared);
  EXPECT_EQ(nic.duration, 0);
  EXPECT_EQ(nic.message, "");
}

TEST_F(DiscoveryFileTest, TypeElementDecidesWhetherTheFileIsRead) {
  const std::string device = Device("eth0", "m", "03", "4.0.555");
  const struct {
    std::string content;
    std::int32_t result;
    std::size_t records;
    std::string log;
  } cases[] = {
      {DiscoveryFile(device, "NETXEN_NIC"), 1, 0,
       "This Tallet tool can only be used to update P3P-series QLogic NICs.\n"},
      {DiscoveryFile(device, "qlogic_nic"), 1, 0,
       "Unexpected value 'qlogic_nic' in file tempNicList.xml. Expected 'QLOGIC_NIC'.\n"},
      {"<korvel_rom_discovery><type/></korvel_rom_discovery>", 1, 0,
       "Unexpected value ' ' in file tempNicList.xml. Expected 'QLOGIC_NIC'.\n"},
      // Refused after the devices: what was appended stays.
      {"<korvel_rom_discovery><devices>" + device + "</devices>" + Datum("type", "NETXEN_NIC") +
           "</korvel_rom_discovery>",
       1, 1, "This Tallet tool can only be used to update P3P-series QLogic NICs.\n"},
      {DiscoveryFile(device, ""), 0, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    EXPECT_EQ(Ingest(c.content), c.result);
    EXPECT_EQ(NicList.Size(), c.records);
    EXPECT_EQ(SupportedNicCount, c.records);
    EXPECT_EQ(NewLog(), c.log);
  }
}

TEST_F(DiscoveryFileTest, UnreadableIdsBecomeZeroWithAWarning) {
  const struct {
    std::string venid;
    bool accepted;
  } cases[] = {
      {Datum("venid", "0x1077"), true},  {Datum("venid", "  1077"), true},
      {"<venid VALUE=\"1077\"/>", true}, {Datum("venid", "1077 "), false},
      {Datum("venid", "10G7"), false},   {Datum("venid", "7FFFFFFF"), false},
      {Datum("venid", ""), false},       {"<venid/>", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.venid);
    // An unreadable value is 0, not the value of the device before.
    const std::string devices = "<device>" + Ids("1077") + OwnData("03") + "</device>" +
                                "<device>" + c.venid + Datum("devid", "8020") +
                                Datum("subvenid", "1077") + Datum("subdevid", "0203") +
                                OwnData("04") + "</device>";
    EXPECT_EQ(Ingest(DiscoveryFile(devices)), 0);
    EXPECT_EQ(NicList.Size(), c.accepted ? 2u : 1u);
    EXPECT_EQ(NewLog(), c.accepted ? ""
                                   : "Warning!!! - Invalid/Corrupted vendor ID (XML tag: venid) "
                                     "value.\n" +
                                         NotSupported("0000-8020-1077-0203"));
  }

  EXPECT_EQ(Ingest(DiscoveryFile("<device>" + Ids("x", "x", "x", "x") + "</device>")), 1);
  EXPECT_EQ(NewLog(),
            "Warning!!! - Invalid/Corrupted vendor ID (XML tag: venid) value.\n"
            "Warning!!! - Invalid/Corrupted device ID (XML tag: devid) value.\n"
            "Warning!!! - Invalid/Corrupted sub-vendor ID (XML tag: subvenid) value.\n"
            "Warning!!! - Invalid/Corrupted sub-device ID (XML tag: subdevid) value.\n" +
                NotSupported("0000-0000-0000-0000"));

  EXPECT_EQ(Ingest(DiscoveryFile("<device>" + Ids("-1", "-1", "-0x1", "-1") + OwnData("03") +
                                 "</device>")),
            0);
  EXPECT_EQ(NicList.At(0).pciId, "FFFFFFFF-FFFFFFFF-FFFFFFFF-FFFFFFFF");
}

TEST_F(DiscoveryFileTest, FirmwareItemsOtherThanRomStopTheReading) {
  for (const char* type : {"rom", "ROM", "Rom"}) {
    const std::string device = "<device>" + Ids("1077") + OwnData("03") + "<fw_item>" +
                               Datum("type", type) + "</fw_item></device>";
    EXPECT_EQ(Ingest(DiscoveryFile(device)), 0) << type;
  }

  RequestVersionOnlyFile();
  const std::string flash = "<device><fw_item>" + Datum("type", "flash") + "</fw_item></device>\n";
  const std::string warning =
      "Warning!!! - firmware type is not expected!. Expected type is ROM, current value is "
      "flash\n";
  EXPECT_EQ(Ingest(DiscoveryFile(flash + Device("eth1", "m", "03", "4.0.555"))), 1);
  EXPECT_EQ(NicList.Size(), 0u);
  EXPECT_EQ(NewLog(), warning);

  // With a port appended before it, the result is 0 and the port stands.
  EXPECT_EQ(Ingest(DiscoveryFile(Device("eth0", "m", "03", "4.0.555") + flash +
                                 Device("eth1", "m", "04", "4.0.555"))),
            0);
  EXPECT_EQ(NicList.Size(), 1u);
  EXPECT_EQ(NewLog(), warning);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("version.xml")));
}

TEST_F(DiscoveryFileTest, UnreadableOrAlreadyIngestedFiles) {
  EXPECT_EQ(IngestDiscoveryFile("missing.xml"), 1);
  EXPECT_EQ(LogText(), "Loading configuration file missing.xml failed. Error code: 10.\n");
  EXPECT_EQ(Ingest("<rom_discovery/>"), 1);
  EXPECT_EQ(NewLog(), "Loading configuration file tempNicList.xml failed. Error code: 11.\n");

  DiscoveryDone = true;
  const std::size_t before = LogText().size();
  WriteFile(kFile, DiscoveryFile(Device("eth0", "m", "03", "4.0.555")));
  EXPECT_EQ(IngestDiscoveryFile(kFile), 0);
  EXPECT_EQ(IngestDiscoveryFile("missing.xml"), 0);
  EXPECT_TRUE(NicList.Empty());
  EXPECT_EQ(LogText().size(), before);
}

// The versions are those of the last port the package serves; the unserved
// adapter after it must not lend its firmware version to the report.
TEST_F(DiscoveryFileTest, VersionOnlyFileHoldsTheLastServedPortAndItsPackageEntry) {
  RequestVersionOnlyFile();
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
                               "\t<current_version value=\"4.0.400\"/>\n"
                               "\t<package_version value=\"4.0.556\"/>\n"
                               "\t<takes_effect value=\"reboot\"/>\n"
                               "</korvel_rom_discovery>\n";
  EXPECT_EQ(ReadTextFile(dir_.File("version.xml")),
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + expected);
  EXPECT_NE(
      NewLog().find("Created an XML file with only FW version information!\n" + expected + "\n"),
      std::string::npos);

  // Without a takes_effect element the value is empty.
  ASSERT_EQ(Ingest("<korvel_rom_discovery><devices>" + Device("eth0", "m", "03", "4.0.555") +
                   "</devices></korvel_rom_discovery>"),
            0);
  const XmlNode root =
      XmlNode::ParseFile(dir_.File("version.xml").c_str(), "korvel_rom_discovery", nullptr);
  EXPECT_STREQ(root.GetChildByName("takes_effect").GetAttribute("value"), "");

  // With no port served there is no version to report, so no file either.
  std::filesystem::remove(dir_.File("version.xml"));
  EXPECT_EQ(Ingest(DiscoveryFile(Device("eth0", "m", "03", "4.0.555", "8021"))), 1);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("version.xml")));
}

// A run flashes one image, the last one the descriptor names: a port whose kind
// names another is never handed that image. A kind that names none takes the run's.
TEST_F(DiscoveryFileTest, PortsOfAKindWithAnotherImageAreNotServed) {
  WriteFile("NICFWData.xml", Descriptor(Kind("1077", "8020", "1077", "0203", "4.0.556", "a.bin") +
                                        Kind("1077", "8022", "1077", "0203", "5.0.1", "b.bin") +
                                        Kind("1077", "8023", "1077", "0203", "5.0.1", "")));
  const std::string devices = Device("eth0", "00:0E:1E:00:00:03", "03", "4.0.555") +
                              Device("eth1", "00:0E:1E:00:00:04", "04", "4.0.555", "8022") +
                              Device("eth2", "00:0E:1E:00:00:05", "05", "4.0.555", "8023");
  ASSERT_EQ(Ingest(DiscoveryFile(devices)), 0);
  EXPECT_EQ(FirmwareImageFile, "b.bin");
  EXPECT_EQ(NewLog(),
            "Warning!!! - MAC 00:0E:1E:00:00:03 (03:00.1) needs its kind's image a.bin, but this "
            "run flashes b.bin; the port will not be updated.\n");
  ASSERT_EQ(NicList.Size(), 2u);
  EXPECT_EQ(NicList.At(0).interfaceName, "eth1");
  EXPECT_EQ(NicList.At(1).interfaceName, "eth2");
  EXPECT_EQ(TheRunFacts().ports.at(0).standing, PortStanding::kOtherKindsImage);
}

TEST(TextConversions, TrimSpacesRemovesBlanksOnly) {
  EXPECT_EQ(TrimSpaces("  eth0  "), "eth0");
  EXPECT_EQ(TrimSpaces("    "), "");
  EXPECT_EQ(TrimSpaces("\teth 0\n "), "\teth 0\n");
}

TEST(TextConversions, ParseWholeIntegerTakesOnlyAWholeNumberWithin32Bits) {
  EXPECT_EQ(ParseWholeInteger("0x7ffffffe", 16), 0x7FFFFFFE);
  EXPECT_EQ(ParseWholeInteger(" -7FFFFFFF", 16), -0x7FFFFFFF);
  EXPECT_EQ(ParseWholeInteger("42", 10), 42);
  EXPECT_THROW(ParseWholeInteger(nullptr, 16), std::invalid_argument);
  EXPECT_THROW(ParseWholeInteger("0x", 16), std::invalid_argument);
  EXPECT_THROW(ParseWholeInteger("1A", 10), std::invalid_argument);
  // The limits are what the conversion yields on overflow, so they count as such;
  // both builds read as the 32-bit Windows runtime does.
  EXPECT_THROW(ParseWholeInteger("FFFFFFFF", 16), std::overflow_error);
  EXPECT_THROW(ParseWholeInteger("123456789ABCDEF0123", 16), std::overflow_error);
  EXPECT_THROW(ParseWholeInteger("-80000000", 16), std::underflow_error);
  try {
    ParseWholeInteger("10G7", 16);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& error) {
    EXPECT_STREQ(error.what(), "10G7");
  }
}

}  // namespace
