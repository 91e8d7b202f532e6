#include "ui/user_interface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "ui/test_support.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

// Runs every channel once with distinctive texts.
void WriteOnEveryChannel(UserInterface& ui) {
  ui.Write("write %d\n", 1);
  ui.Print("print %d\n", 2);
  ui.Debug("debug %d\n", 3);
  ui.PrintAndWrite("both %d\n", 4);
}

TEST(UserInterfaceChannels, EachChannelReachesOnlyItsTargets) {
  InstalledLog log;
  log.ui().Configure(false, true, false);
  CaptureStdout();
  WriteOnEveryChannel(log.ui());
  EXPECT_EQ(GetCapturedStdout(), "print 2\nboth 4\n");
  EXPECT_EQ(log.Text(), "write 1\ndebug 3\nboth 4\n");
}

TEST(UserInterfaceChannels, SilentKeepsTheConsoleEmptyButStillLogs) {
  InstalledLog log;
  log.ui().Configure(true, true, false);
  OnceNotice console{false, 0};
  OnceNotice both{false, 2};
  CaptureStdout();
  WriteOnEveryChannel(log.ui());
  NotifyOnce(console, log.ui(), "notice to console\n");
  NotifyOnce(both, log.ui(), "notice to both\n");
  EXPECT_EQ(GetCapturedStdout(), "");
  // Debug is silenced too, even with debug set.
  EXPECT_EQ(log.Text(), "write 1\nboth 4\nnotice to both\n");
}

TEST(UserInterfaceChannels, DebugNeedsTheDebugSwitchAndAnOpenLog) {
  InstalledLog log;
  log.ui().Debug("before the log is open\n");
  EXPECT_FALSE(std::filesystem::exists(log.path())) << "Debug must not open the log itself";
  log.ui().Write("opened\n");
  log.ui().Debug("debug off\n");
  log.ui().Configure(false, true, false);
  log.ui().Debug("debug on\n");
  EXPECT_EQ(log.Text(), "opened\ndebug on\n");
}

TEST(UserInterfaceLog, AppendsToAnExistingLogAndNeverTruncatesIt) {
  TempDir dir;
  const std::string path = dir.File("zentavor.log");
  WriteBinaryFile(path, "earlier run\n");
  {
    UserInterface first(path.c_str(), 121, 65);
    first.Write("first %s\n", "run");
  }
  {
    UserInterface second(path.c_str(), 121, 65);
    second.Write("second %s\n", "run");
  }
  EXPECT_EQ(ReadTextFile(path), "earlier run\nfirst run\nsecond run\n");
}

TEST(UserInterfaceLog, OpenIsRetriedUntilItSucceedsAndTheFailedMessageIsDropped) {
  TempDir dir;
  const std::string logDir = dir.File("log");
  const std::string path = logDir + "/zentavor.log";
  UserInterface ui(path.c_str(), 121, 65);
  ui.Write("lost\n");
  std::filesystem::create_directory(logDir);
  ui.Write("kept\n");
  EXPECT_EQ(ReadTextFile(path), "kept\n");
}

TEST(UserInterfaceLog, OpenFailureIsSaidOnceWhateverTheOptionsAndEachTimeInDebugMode) {
  TempDir dir;
  const std::string path = dir.File("missing") + "/zentavor.log";
  UserInterface ui(path.c_str(), 121, 65);
  const std::string once = "Warning: Cannot open the log file " + path + " (error ";

  // Silent runs too: a deployment tool reads standard error.
  ui.Configure(true, false, false);
  CaptureStdout();
  CaptureStderr();
  ui.Write("first\n");
  ui.Write("second\n");
  std::string err = GetCapturedStderr();
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(err.rfind(once, 0), 0u) << err;
  EXPECT_TRUE(err.ends_with("); this run is not being logged.\n")) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

  ui.Configure(false, true, false);
  CaptureStdout();
  CaptureStderr();
  ui.Write("loud\n");
  err = GetCapturedStderr();
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(err.rfind("UserInterface::Write(): fopen() " + path + " failed ", 0), 0u) << err;
  EXPECT_EQ(err.find(once), std::string::npos) << err;

  ui.Configure(true, true, false);
  CaptureStderr();
  ui.Write("silent\n");
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(UserInterfaceLog, PathTooLongForItsBufferIsRefusedNotCut) {
  TempDir dir;
  const std::string path = dir.File(std::string(300, 'a'));
  UserInterface ui(path.c_str(), 121, 65);
  EXPECT_STREQ(ui.logPath(), "");
  ui.Write("nowhere\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

  const std::string fits = dir.File("z.log");
  UserInterface ok(fits.c_str(), 121, 65);
  EXPECT_EQ(std::string(ok.logPath()), fits);
}

TEST(NotifyOnceTest, WritesOnceToItsTargetAndPassesTheTextVerbatim) {
  InstalledLog log;
  OnceNotice logOnly{false, 1};
  OnceNotice console{false, 0};
  CaptureStdout();
  NotifyOnce(logOnly, log.ui(), "%s %d\n", "100%d done", 1);
  NotifyOnce(logOnly, log.ui(), "again\n");
  NotifyOnce(console, log.ui(), "to the console\n");
  NotifyOnce(console, log.ui(), "to the console again\n");
  EXPECT_EQ(GetCapturedStdout(), "to the console\n");
  EXPECT_EQ(log.Text(), "100%d done 1\n");
  EXPECT_TRUE(logOnly.shown);
}

TEST(NotifyOnceTest, TextLongerThan256IsNotCut) {
  InstalledLog log;
  OnceNotice notice{false, 2};
  const std::string text(700, 'n');
  CaptureStdout();
  NotifyOnce(notice, log.ui(), "%s\n", text.c_str());
  EXPECT_EQ(GetCapturedStdout(), text + "\n");
  EXPECT_EQ(log.Text(), text + "\n");
}

TEST(ProcessWideUserInterfaceDeathTest, ReachingItBeforeInstallationEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ASSERT_FALSE(HasUserInterface());
  EXPECT_DEATH(TheUserInterface(), "before start-up");
}

}  // namespace
