#include "ui/progress_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(ProgressLineTest, TextShowsElapsedAndExpectedTime) {
  EXPECT_EQ(ProgressText("03:00.0", 5, 0), "Flashing 03:00.0: 0:05 elapsed");
  EXPECT_EQ(ProgressText("03:00.0", 125, 120),
            "Flashing 03:00.0: 2:05 elapsed, about 2:00 expected");
}

TEST(ProgressLineTest, DrawnInPlaceFromTheThirdSecondAndErasedWithoutTrace) {
  CaptureStdout();
  {
    ProgressLine line(true, "p\x1b[2J", 0);
    line.Show(1);
    line.Show(2);
    line.Show(3);
    line.Show(600);
    line.Show(61);  // shorter than the line before: blanks cover the rest
  }                 // erased when it goes
  const std::string first = "Flashing p?[2J: 0:03 elapsed";
  const std::string wide = "Flashing p?[2J: 10:00 elapsed";
  EXPECT_EQ(GetCapturedStdout(), "\r" + first + "\r" + wide + "\r" +
                                     "Flashing p?[2J: 1:01 elapsed " + "\r" +
                                     std::string(wide.size(), ' ') + "\r");
}

TEST(ProgressLineTest, DisabledOrQuickLineWritesNothing) {
  CaptureStdout();
  {
    ProgressLine off(false, "p", 10);
    off.Show(5);
    ProgressLine quick(true, "p", 10);
    quick.Show(1);
    quick.Erase();
  }
  EXPECT_EQ(GetCapturedStdout(), "");
}

}  // namespace
