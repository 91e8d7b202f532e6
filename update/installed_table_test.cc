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

// The table reads the inventory that a completed discovery left behind.
class InstalledTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetInventoryForTesting();
    DiscoveryDone = true;
  }
  void TearDown() override { ResetInventoryForTesting(); }

  void Add(const char* mac, const char* installed, const char* interfaceName, const char* product,
           std::uint32_t flags = NIC_SUPPORTED) {
    NicRecord nic;
    nic.macAddress = mac;
    nic.pciLocation = "03:00.1";
    nic.pciId = "1077-8020-1077-0203";
    nic.productName = product;
    nic.interfaceName = interfaceName;
    nic.installedVersion.Parse(installed);
    nic.availableVersion.Parse("4.0.556");
    nic.flags = flags;
    NicList.Append(nic);
    ++SupportedNicCount;
  }

  InstalledLog log_;
};

TEST_F(InstalledTableTest, SupportedPortsInDiscoveryOrderWrittenVerbatim) {
  log_.ui().Configure(true, false, false);  // the log alone is compared
  Add("MAC-A", "4.0.555", "eth0", "first");
  Add("MAC-X", "1.1.1", "ethX", "hidden", NIC_SELECTED);
  Add("%s%n", "", "eth%d", "100% %s adapter");  // installed version never filled

  EXPECT_EQ(ShowInstalledFirmware(0, log_.ui()), 0);
  EXPECT_EQ(log_.Text(), kHeaders + "MAC-A    03:00.1     1077-8020-1077-0203     first\n" +
                             kVersionHeaders + "ROM       4.0.555      ROM       4.0.556  eth0\n" +
                             kHeaders +
                             "%s%n    03:00.1     1077-8020-1077-0203     100% %s adapter\n" +
                             kVersionHeaders + "ROM       0.0      ROM       4.0.556  eth%d\n");
}

TEST_F(InstalledTableTest, NoSupportedPortWritesNothingAndEndsWithTwo) {
  log_.ui().Write("start\n");
  EXPECT_EQ(ShowInstalledFirmware(0, log_.ui()), 2);
  EXPECT_EQ(log_.Text(), "start\n");
}

}  // namespace
