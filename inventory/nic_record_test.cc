#include "inventory/nic_record.h"

#include <gtest/gtest.h>

#include "inventory/package.h"

namespace {

class NicRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetInventoryForTesting(); }
  void TearDown() override { ResetInventoryForTesting(); }
};

TEST_F(NicRecordTest, ListHoldsIndependentCopiesInOrder) {
  NicRecord record;
  record.macAddress = "first";
  record.installedVersion.Parse("4.0.555");
  NicList.Append(record);
  record.macAddress = "second";
  NicList.Append(record);
  record.macAddress = "changed after append";

  ASSERT_EQ(NicList.Size(), 2u);
  EXPECT_EQ(NicList.At(0).macAddress, "first");
  EXPECT_EQ(NicList.At(1).macAddress, "second");

  NicRecord copy = NicList.At(1);
  copy.flags |= NIC_SELECTED;
  copy.macAddress = "copy";
  EXPECT_EQ(NicList.At(1).flags, 0u);
  EXPECT_EQ(NicList.At(1).macAddress, "second");
  EXPECT_STREQ(copy.installedVersion.cachedText(), "4.0.555");
}

TEST_F(NicRecordTest, CurrentNicIsChangedInPlace) {
  NicList.Append(NicRecord());
  NicList.Append(NicRecord());
  CurrentNicIndex = 1;
  CurrentNic().flags = NIC_SUPPORTED | NIC_SELECTED;
  EXPECT_EQ(NicList.At(0).flags, 0u);
  EXPECT_EQ(NicList.At(1).flags, NIC_SUPPORTED | NIC_SELECTED);
}

TEST_F(NicRecordTest, RecordAssignmentFollowsTheVersionRule) {
  NicRecord source;
  source.availableVersion.Parse("0.0.5");
  source.pciId = "1077-8020-1077-0203";
  NicRecord target;
  target = source;
  EXPECT_EQ(target.pciId, source.pciId);
  // A fresh two-part 0.0 counts as equal to 0.0.5 and so keeps its value.
  EXPECT_FALSE(target.availableVersion.hasBuild());

  const NicRecord copied(source);
  EXPECT_TRUE(copied.availableVersion.hasBuild());
}

TEST_F(NicRecordTest, ResetEmptiesInventoryPackageAndImageName) {
  NicList.Append(NicRecord());
  SupportedNicCount = 1;
  CurrentNicIndex = 1;
  DiscoveryDone = true;
  PackageTable["key"] = PackageEntry();
  FirmwareImageFile = "image.bin";
  ResetInventoryForTesting();
  EXPECT_TRUE(NicList.Empty());
  EXPECT_EQ(SupportedNicCount, 0u);
  EXPECT_EQ(CurrentNicIndex, 0u);
  EXPECT_FALSE(DiscoveryDone);
  EXPECT_TRUE(PackageTable.empty());
  EXPECT_TRUE(FirmwareImageFile.empty());
}

using NicRecordDeathTest = NicRecordTest;

TEST_F(NicRecordDeathTest, AccessPastTheEndEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  NicList.Append(NicRecord());
  EXPECT_DEATH(NicList.At(1), "Internal error: NIC record 1 requested, inventory holds 1");
  const NicRecordList& constList = NicList;
  EXPECT_DEATH(constList.At(7), "Internal error");
  CurrentNicIndex = 1;
  EXPECT_DEATH(CurrentNic(), "Internal error");
}

}  // namespace
