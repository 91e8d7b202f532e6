#include "inventory/discovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "inventory/nic_record.h"
#include "inventory/test_support.h"

// These tests run discovery against the simulated vendor utility, which the
// build puts beside the test program, where the program search finds it first.
// The utility's failures are covered end to end (tests/test_inventory.py).
namespace {

constexpr const char kCommand[] = "netscli -flashsupport -d p3p.bin tempNicList.xml -p3\n";
constexpr const char kFailedWithZero[] = "Device discovery failed with error code 0\n";

class DiscoveryTest : public InventoryTest {
 protected:
  void SetUp() override {
    InventoryTest::SetUp();
    WriteFile("NICFWData.xml", Descriptor(Kind("1077", "8020", "1077", "0203", "4.0.556")));
    WriteFile("p3p.bin", "image");
  }

  bool DiscoveryFileLeft() const { return std::filesystem::exists(dir_.File("tempNicList.xml")); }
};

TEST_F(DiscoveryTest, SuccessfulRunKeepsSupportedPortsAndHappensOnce) {
  WriteFile("netscli_state.xml", SimulatorState(SimulatorPort("eth0", "8020", "03", "4.0.555") +
                                                SimulatorPort("eth1", "8021", "04", "4.0.555") +
                                                SimulatorPort("eth2", "8020", "05", "4.0.600")));
  EXPECT_EQ(RunDiscovery(), 0);
  EXPECT_TRUE(DiscoveryDone);
  ASSERT_EQ(NicList.Size(), 2u);
  EXPECT_EQ(NicList.At(0).interfaceName, "eth0");
  EXPECT_EQ(NicList.At(1).pciLocation, "05:00.0");
  EXPECT_STREQ(NicList.At(1).availableVersion.Text(), "4.0.556");
  EXPECT_FALSE(DiscoveryFileLeft());
  EXPECT_EQ(LogText(), std::string("Started device discovery!\n") + kCommand +
                           "NIC with PCI ID 1077-8021-1077-0203 is not identified as a supported "
                           "QLogic P3P NIC.\n"
                           "Device discovery completed successfully!\n");

  // Complete: no message, no child, no change.
  const std::string before = LogText();
  EXPECT_EQ(RunDiscovery(), 0);
  EXPECT_EQ(DiscoverNics(), 2);
  EXPECT_EQ(LogText(), before);
  EXPECT_EQ(SimulatorCalls().size(), 1u);
  EXPECT_EQ(NicList.Size(), 2u);
}

TEST_F(DiscoveryTest, RefusedFileKeepsItsPortsButDoesNotCountAsDiscovered) {
  // The type element comes after the devices: the port is appended, then the file refused.
  WriteFile("raw.xml", "<korvel_rom_discovery><devices>" + Device("eth0", "m", "03", "4.0.555") +
                           "</devices><type value=\"NETXEN_NIC\"/></korvel_rom_discovery>");
  WriteFile("netscli_state.xml", SimulatorState(SimulatorPort("eth0", "8020", "03", "4.0.555"),
                                                "<discovery raw_file=\"raw.xml\"/>\n"));
  EXPECT_EQ(RunDiscovery(), 0);
  EXPECT_FALSE(DiscoveryDone);
  EXPECT_EQ(NicList.Size(), 1u);
  EXPECT_FALSE(DiscoveryFileLeft());
  EXPECT_NE(LogText().find("This Tallet tool can only be used to update P3P-series QLogic NICs.\n" +
                           std::string(kFailedWithZero)),
            std::string::npos);

  // Asked again, discovery runs again and the same port is listed twice; the
  // update driver is still told that discovery failed.
  EXPECT_EQ(DiscoverNics(), -1);
  EXPECT_EQ(NicList.Size(), 2u);
  EXPECT_EQ(SupportedNicCount, 2u);
  EXPECT_EQ(SimulatorCalls().size(), 2u);
}

TEST_F(DiscoveryTest, WithoutDescriptorTheCommandCarriesNoImage) {
  std::filesystem::remove(dir_.File("NICFWData.xml"));
  WriteFile("netscli_state.xml", SimulatorState(SimulatorPort("eth0", "8020", "03", "4.0.555")));
  const std::int32_t code = RunDiscovery();
  const std::string log = LogText();
  EXPECT_NE(log.find("Loading configuration file NICFWData.xml failed. Error code: 10.\n"),
            std::string::npos);
  EXPECT_NE(log.find("Warning: Could not find firmware file !\n"
                     "netscli -flashsupport -d  tempNicList.xml -p3\n"),
            std::string::npos);
  EXPECT_NE(log.find("Device discovery failed with error code " + std::to_string(code) + "\n"),
            std::string::npos);
  EXPECT_TRUE(NicList.Empty());
  EXPECT_EQ(DiscoverNics(), -1);
}

}  // namespace
