#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/test_support.h"

namespace {

constexpr const char kChecking[] = "Checking for any other instance of NetXen tool!\n";

// VerifyInstance against a private temporary directory. The process list is
// the real one: these tests assume that no vendor tool runs on the machine.
class VerifyInstanceTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    std::filesystem::create_directories(temp_);
  }
  std::filesystem::path temp_ = scratch_ / "temp";
  std::filesystem::path lock_ = temp_ / kLockFileName;
  ScopedEnvironment tempVariable_{TempDirectoryVariable(), temp_.string()};
};

TEST_F(VerifyInstanceTest, WithoutLockFileTheRunGoesOnQuietly) {
  EXPECT_TRUE(VerifyInstance());
  EXPECT_EQ(Log(), kChecking);
}

TEST_F(VerifyInstanceTest, StaleLockIsRemovedWithAWarning) {
  std::ofstream(lock_) << "stale";
  EXPECT_TRUE(VerifyInstance());
  EXPECT_FALSE(std::filesystem::exists(lock_));
  EXPECT_EQ(Log(), std::string(kChecking) +
                       "Warning: last session did not close gracefully.  Clearing lock.\n");
}

TEST_F(VerifyInstanceTest, LockThatCannotBeRemovedStopsTheRun) {
  // A directory that is not empty passes the existence test but cannot be deleted.
  std::filesystem::create_directories(lock_);
  std::ofstream(lock_ / "inside") << "x";
  EXPECT_FALSE(VerifyInstance());
  EXPECT_TRUE(std::filesystem::exists(lock_));
  EXPECT_EQ(Log(), std::string(kChecking) +
                       "Error: last session did not close gracefully.  Unable to clear lock.\n");
}

TEST_F(VerifyInstanceTest, TemporaryDirectoryThatDoesNotFitIsReportedAndTheRunGoesOn) {
  ScopedEnvironment tooLong(TempDirectoryVariable(), (scratch_ / std::string(300, 't')).string());
  EXPECT_TRUE(VerifyInstance());
  EXPECT_EQ(Log(), std::string(kChecking) +
                       "VerifyInstance: No temp directory identified or GetTempPath failed!\n");
}

}  // namespace
