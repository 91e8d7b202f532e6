#include "inventory/nic_record.h"

#include <gtest/gtest.h>

#include "inventory/port_filter.h"
#include "inventory/run_record.h"
#include "ui/test_support.h"

namespace {

class NicRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetInventoryForTesting(); }
  void TearDown() override { ResetInventoryForTesting(); }
};

TEST_F(NicRecordTest, ListHoldsIndependentCopies) {
  NicRecord record;
  record.macAddress = "first";
  NicList.Append(record);
  record.macAddress = "changed after append";

  NicRecord copy = NicList.At(0);
  copy.flags |= NIC_SELECTED;
  EXPECT_EQ(NicList.At(0).flags, 0u);
  EXPECT_EQ(NicList.At(0).macAddress, "first");
  CurrentNic().flags = NIC_SELECTED;  // the current record is changed in place
  EXPECT_EQ(NicList.At(0).flags, NIC_SELECTED);
}

TEST_F(NicRecordTest, AccessPastTheEndEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  NicList.Append(NicRecord());
  EXPECT_DEATH(NicList.At(1), "Internal error: NIC record 1 requested, inventory holds 1");
  CurrentNicIndex = 1;
  EXPECT_DEATH(CurrentNic(), "Internal error");
}

TEST_F(NicRecordTest, PortFilterNamesAPortByLocationOrMacAddress) {
  NicRecord nic;
  nic.pciLocation = "0a:00.1";
  nic.macAddress = "00:0E:1E:0A:00:01";
  EXPECT_TRUE(PortIsChosen(nic)) << "without -port every port is chosen";
  const struct {
    const char* value;
    bool chosen;
  } cases[] = {
      {"0a:00.1", true},
      {"0A:00.1", true},
      {"00:0e:1e:0a:00:01", true},
      {"000E1E0A0001", true},
      {"00-0E-1E-0A-00-01", true},
      {"000e.1e0a.0001", true},
      {"0a:00.0", false},
      {"000E1E0A000", false},
      {"000E1E0A00011", false},
      {"00:0E:1E:0A:00:0G", false},
      {"", false},
  };
  for (const auto& c : cases) {
    ResetPortFilterForTesting();
    AddPortFilterValue(c.value);
    EXPECT_EQ(PortIsChosen(nic), c.chosen) << c.value;
  }
  // A port without a MAC address is not named by an empty value.
  nic.macAddress.clear();
  EXPECT_FALSE(PortIsChosen(nic));
}

TEST_F(NicRecordTest, PortFilterValueNamingNoServedPortIsAnError) {
  InstalledLog log;
  NicRecord served;
  served.pciLocation = "03:00.0";
  served.macAddress = "00:0E:1E:03:00:00";
  served.flags = NIC_SUPPORTED;
  NicList.Append(served);
  AddPortFilterValue("000e1e030000");
  AddPortFilterValue("05:00.0");
  EXPECT_EQ(CheckPortFilterValues(), std::vector<std::string>{"05:00.0"});
  EXPECT_EQ(log.Text(),
            "Error: -port 05:00.0 names no port that discovery found and the package serves.\n");
  EXPECT_EQ(TheRunFacts().stop, StopKind::kFailed);
}

}  // namespace
