#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/test_support.h"

namespace {

constexpr const char kChecking[] = "Checking for any other instance of NetXen tool!\n";

// The process list VerifyInstance sees: whatever a test puts here, never the
// machine's, where a vendor tool or another test's utility may run at any time.
std::vector<std::string> Processes;
bool ProcessListUnavailable = false;

bool ListTestProcesses(std::vector<std::string>* names) {
  *names = Processes;
  return !ProcessListUnavailable;
}

// VerifyInstance against a private temporary directory and a process list of
// the test's own.
class VerifyInstanceTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    std::filesystem::create_directories(temp_);
    Processes = {"init", "sshd", "zentavor"};
    ProcessListUnavailable = false;
  }
  bool Verify() { return VerifyInstance(ListTestProcesses); }
  std::filesystem::path temp_ = scratch_ / "temp";
  std::filesystem::path lock_ = temp_ / kLockFileName;
  ScopedEnvironment tempVariable_{TempDirectoryVariable(), temp_.string()};
};

TEST_F(VerifyInstanceTest, WithoutLockFileTheRunGoesOnQuietly) {
  EXPECT_TRUE(Verify());
  EXPECT_EQ(Log(), kChecking);
}

TEST_F(VerifyInstanceTest, StaleLockIsRemovedWithAWarning) {
  std::ofstream(lock_) << "stale";
  EXPECT_TRUE(Verify());
  EXPECT_FALSE(std::filesystem::exists(lock_));
  EXPECT_EQ(Log(), std::string(kChecking) +
                       "Warning: last session did not close gracefully.  Clearing lock.\n");
}

TEST_F(VerifyInstanceTest, LockThatCannotBeRemovedStopsTheRun) {
  // A directory that is not empty passes the existence test but cannot be deleted.
  std::filesystem::create_directories(lock_);
  std::ofstream(lock_ / "inside") << "x";
  EXPECT_FALSE(Verify());
  EXPECT_TRUE(std::filesystem::exists(lock_));
  EXPECT_EQ(Log(), std::string(kChecking) +
                       "Error: last session did not close gracefully.  Unable to clear lock.\n");
}

TEST_F(VerifyInstanceTest, TemporaryDirectoryThatDoesNotFitIsReportedAndTheRunGoesOn) {
  ScopedEnvironment tooLong(TempDirectoryVariable(), (scratch_ / std::string(300, 't')).string());
  EXPECT_TRUE(Verify());
  EXPECT_EQ(Log(), std::string(kChecking) +
                       "VerifyInstance: No temp directory identified or GetTempPath failed!\n");
}

TEST_F(VerifyInstanceTest, LockOfARunningVendorToolStopsTheRunAndStays) {
  std::ofstream(lock_) << "held";
  for (const char* rival : {"netscli", "nxflash_x86.exe"}) {
    SCOPED_TRACE(rival);
    Processes = {"init", rival};
    const std::size_t before = Log().size();
    EXPECT_FALSE(Verify());
    EXPECT_TRUE(std::filesystem::exists(lock_));
    EXPECT_EQ(Log().substr(before),
              std::string(kChecking) +
                  "Error: Either another NetXen tool is already running, or your last session did "
                  "not close gracefully. Required to clear the settings!\n");
  }
}

TEST_F(VerifyInstanceTest, ProcessListThatCannotBeReadIsReportedAndTheLockStays) {
  std::ofstream(lock_) << "held";
  ProcessListUnavailable = true;
  EXPECT_TRUE(Verify());
  EXPECT_TRUE(std::filesystem::exists(lock_));
  EXPECT_EQ(Log(), std::string(kChecking) + "VerifyInstance: Failed to get process details!\n");
}

}  // namespace
