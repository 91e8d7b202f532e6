#include "app/zentavor.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "app/test_support.h"
#include "base/run_flags.h"

namespace {

TEST(RunModeDispatch, FirstSetModeBitWinsInFixedOrder) {
  const struct {
    std::uint32_t flags;
    RunMode mode;
  } cases[] = {
      {0, RunMode::kUpdate},
      {RUN_CHECK_ONLY, RunMode::kUpdate},
      {RUN_DEBUG | RUN_SILENT | RUN_FORCE | RUN_UPDATED, RunMode::kUpdate},
      {RUN_SHOW_INSTALLED | RUN_WRITE_REPORT | RUN_READ_REPORT | RUN_VERSION_FILE | RUN_VERIFY_FILE,
       RunMode::kShowInstalled},
      {RUN_WRITE_REPORT | RUN_READ_REPORT | RUN_VERSION_FILE | RUN_VERIFY_FILE,
       RunMode::kWriteReport},
      {RUN_READ_REPORT | RUN_VERSION_FILE, RunMode::kReadReport},
      {RUN_VERSION_FILE | RUN_VERIFY_FILE, RunMode::kVersionFile},
      {RUN_VERIFY_FILE | RUN_CHECK_ONLY, RunMode::kVerifyFile},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SelectRunMode(c.flags).mode, c.mode) << std::hex << c.flags;
  }
}

std::int32_t ReturnsFour(std::uint32_t, UserInterface&) {
  return 4;
}
std::int32_t ThrowsStandard(std::uint32_t, UserInterface&) {
  throw std::runtime_error("device vanished");
}
std::int32_t ThrowsOther(std::uint32_t, UserInterface&) {
  throw 42;
}

constexpr const char kUnexpected[] =
    "An unexpected error has occurred.  Firmware update will not be completed.\n";

TEST_F(AppTest, ModeGuardTurnsEveryExceptionIntoItsMessageAndExitCodeZero) {
  EXPECT_EQ(RunGuarded(ReturnsFour, 0, *ui_), 4);
  EXPECT_EQ(Log(), "");

  EXPECT_EQ(RunGuarded(ThrowsStandard, 0, *ui_), 0);
  EXPECT_EQ(Log(), std::string(kUnexpected) + "device vanished");

  const std::size_t before = Log().size();
  EXPECT_EQ(RunGuarded(ThrowsOther, 0, *ui_), 0);
  EXPECT_EQ(Log().substr(before), kUnexpected);
}

std::tm Time(int weekday, int month, int day, int hour, int minute, int second, int year) {
  std::tm time{};
  time.tm_wday = weekday;
  time.tm_mon = month;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  time.tm_year = year - 1900;
  return time;
}

TEST(TimeStamp, AsctimeLayoutWithBlankPaddedDay) {
  EXPECT_EQ(FormatTimeStamp(Time(1, 11, 7, 11, 33, 44, 2026)), "Mon Dec  7 11:33:44 2026\n");
  EXPECT_EQ(FormatTimeStamp(Time(0, 0, 17, 0, 5, 9, 2027)), "Sun Jan 17 00:05:09 2027\n");
  // Years past 9999 (undefined for the C library's own formatter) are written in full.
  EXPECT_EQ(FormatTimeStamp(Time(6, 5, 30, 23, 59, 59, 12000)), "Sat Jun 30 23:59:59 12000\n");
}

}  // namespace
