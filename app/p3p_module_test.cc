#include <gtest/gtest.h>

#include <string>

#include "app/startup.h"
#include "app/test_support.h"
#include "app/vendor_module.h"

namespace {

class InitializeModuleTest : public AppTest {
 protected:
  // No lock file there, so no process is looked at.
  ScopedEnvironment tempVariable_{TempDirectoryVariable(), scratch_.string()};
};

TEST_F(InitializeModuleTest, MissingDescriptorInTheCurrentDirectoryStopsTheRun) {
  std::filesystem::create_directories(scratch_ / "work");
  CurrentDirectory work(scratch_ / "work");
  // Beside the current directory does not count.
  MakeFile("NICFWData.xml");
  EXPECT_FALSE(InitializeModule(0, *ui_));
  EXPECT_EQ(Log(), "Supporting file NICFWData.xml is missing. Cannot proceed.\n");
}

TEST_F(InitializeModuleTest, FillsTheFirmwareTableAndChecksForRivals) {
  CurrentDirectory work(scratch_);
  MakeFile("NICFWData.xml");
  EXPECT_TRUE(InitializeModule(0, *ui_));
  EXPECT_EQ(Log(), "Checking for any other instance of NetXen tool!\n");
  EXPECT_EQ(FirmwareCount(), 1);
  EXPECT_NE(FirmwareAt(0), nullptr);
  EXPECT_EQ(FirmwareAt(1), nullptr);
  EXPECT_EQ(FirmwareAt(-1), nullptr);
  EXPECT_EQ(FirmwareAt(kFirmwareSlots), nullptr);
}

}  // namespace
