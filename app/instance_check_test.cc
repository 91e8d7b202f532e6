#include "app/instance_check.h"

#include <gtest/gtest.h>

namespace {

TEST(RivalProcess, VendorFlashToolIsFoundAnywhereInTheName) {
  EXPECT_TRUE(IsRivalProcessName("nxflash_x86.exe"));
  EXPECT_TRUE(IsRivalProcessName("old-nxflash_x86.exe.bak"));
  EXPECT_TRUE(IsRivalProcessName("netscli -flashsupport"));
  EXPECT_FALSE(IsRivalProcessName("nxflash_x86"));
  // Letter case counts only where the file system counts it.
  EXPECT_EQ(IsRivalProcessName("NXFLASH_X86.EXE"), ProcessNamesIgnoreCase());
  EXPECT_EQ(IsRivalProcessName("Old-NxFlash_X86.Exe.bak"), ProcessNamesIgnoreCase());
  EXPECT_EQ(IsRivalProcessName("NETSCLI -FLASHSUPPORT"), ProcessNamesIgnoreCase());
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
