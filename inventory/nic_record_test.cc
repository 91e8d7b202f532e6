#include "inventory/nic_record.h"

#include <gtest/gtest.h>

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

}  // namespace
