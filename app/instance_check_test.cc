#include "app/instance_check.h"

#include <gtest/gtest.h>

namespace {

TEST(RivalProcess, VendorFlashToolIsFoundAnywhereInTheNameWithItsExactCase) {
  EXPECT_TRUE(IsRivalProcessName("nxflash_x86.exe"));
  EXPECT_TRUE(IsRivalProcessName("old-nxflash_x86.exe.bak"));
  EXPECT_TRUE(IsRivalProcessName("netscli -flashsupport"));
  EXPECT_FALSE(IsRivalProcessName("NXFLASH_X86.EXE"));
  EXPECT_FALSE(IsRivalProcessName("nxflash_x86"));
}

TEST(RivalProcess, VendorUtilityIsFoundByItsWholeExecutableName) {
  EXPECT_TRUE(IsRivalProcessName("netscli"));
  EXPECT_TRUE(IsRivalProcessName("netscli.exe"));
  EXPECT_FALSE(IsRivalProcessName("netscli2"));
  EXPECT_FALSE(IsRivalProcessName("mynetscli.exe"));
  EXPECT_FALSE(IsRivalProcessName("netscli.exe.old"));
  EXPECT_FALSE(IsRivalProcessName(""));
  EXPECT_FALSE(IsRivalProcessName("zentavor"));
  // Executable names ignore letter case only where the file system does.
  EXPECT_EQ(IsRivalProcessName("NetSCLI.EXE"), ProcessNamesIgnoreCase());
  EXPECT_EQ(IsRivalProcessName("NETSCLI"), ProcessNamesIgnoreCase());
}

}  // namespace
