#include "update/installed_table.h"

#include <gtest/gtest.h>

#include <string>

#include "inventory/nic_record.h"
#include "ui/test_support.h"

namespace {

const std::string kHeaders = "MAC                  B:D.F     PCI-ID                  NIC\n";
const std::string kVersionHeaders =
    "\n"
    "   (Installed)            (Available)     Interface     \n"
    "Image     Version      Image     Version   \n"
    "--------------------------------------------------------\n";

NicRecord Port(const char* mac, const char* installed, const char* available,
               const char* interfaceName, const char* product) {
  NicRecord nic;
  nic.macAddress = mac;
  nic.pciLocation = "03:00.1";
  nic.pciId = "1077-8020-1077-0203";
  nic.productName = product;
  nic.interfaceName = interfaceName;
  nic.installedVersion.Parse(installed);
  nic.availableVersion.Parse(available);
  nic.flags = NIC_SUPPORTED;
  return nic;
}

// The table reads the inventory that a completed discovery left behind.
class InstalledTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetInventoryForTesting();
    DiscoveryDone = true;
    log_.ui().Configure(true, false, false);  // the log alone is compared
  }
  void TearDown() override { ResetInventoryForTesting(); }

  void Add(const NicRecord& nic) {
    NicList.Append(nic);
    ++SupportedNicCount;
  }

  InstalledLog log_;
};

TEST_F(InstalledTableTest, OnePortGivesOneSevenLineBlock) {
  Add(Port("00:0E:1E:00:00:01", "4.0.555", "4.0.556", "eth0", "QLE3242"));
  EXPECT_EQ(ShowInstalledFirmware(0, log_.ui()), 0);
  EXPECT_EQ(log_.Text(), kHeaders +
                             "00:0E:1E:00:00:01    03:00.1     1077-8020-1077-0203     QLE3242\n" +
                             kVersionHeaders + "ROM       4.0.555      ROM       4.0.556  eth0\n");
}

TEST_F(InstalledTableTest, PortsFollowInDiscoveryOrderWithoutSeparationAndUnsupportedAreLeftOut) {
  Add(Port("MAC-A", "4.0.555", "4.0.556", "eth0", "first"));
  NicRecord unsupported = Port("MAC-X", "1.1.1", "1.1.1", "ethX", "hidden");
  unsupported.flags = NIC_SELECTED;
  Add(unsupported);
  NicRecord neverFilled = Port("MAC-B", "", "4.0.556", "eth1", "second");
  Add(neverFilled);

  EXPECT_EQ(ShowInstalledFirmware(0, log_.ui()), 0);
  const std::string text = log_.Text();
  EXPECT_EQ(text, kHeaders + "MAC-A    03:00.1     1077-8020-1077-0203     first\n" +
                      kVersionHeaders + "ROM       4.0.555      ROM       4.0.556  eth0\n" +
                      kHeaders + "MAC-B    03:00.1     1077-8020-1077-0203     second\n" +
                      kVersionHeaders + "ROM       0.0      ROM       4.0.556  eth1\n");
}

TEST_F(InstalledTableTest, TableIsWrittenVerbatimNotAsAFormat) {
  Add(Port("%s%n", "1.0.0", "2.0.0", "eth%d", "100% %s adapter"));
  EXPECT_EQ(ShowInstalledFirmware(0, log_.ui()), 0);
  const std::string text = log_.Text();
  EXPECT_NE(text.find("%s%n    03:00.1     1077-8020-1077-0203     100% %s adapter\n"),
            std::string::npos);
  EXPECT_NE(text.find("  eth%d\n"), std::string::npos);
}

TEST_F(InstalledTableTest, NoSupportedPortWritesNothingAndEndsWithTwo) {
  EXPECT_EQ(ShowInstalledFirmware(0, log_.ui()), 2);
  EXPECT_EQ(log_.Text(), "");
}

TEST_F(InstalledTableTest, ConsoleReceivesTheSameTextAsTheLog) {
  log_.ui().Configure(false, false, false);
  Add(Port("MAC-A", "4.0.555", "4.0.556", "eth0", "first"));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(ShowInstalledFirmware(0, log_.ui()), 0);
  std::string console = ::testing::internal::GetCapturedStdout();
  std::erase(console, '\r');  // text-mode console on Windows
  EXPECT_EQ(console, log_.Text());
  EXPECT_EQ(console.substr(0, kHeaders.size()), kHeaders);
}

}  // namespace
