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

std::size_t Narrow() {
  return 31;
}

TEST(ProgressLineTest, DrawnInPlaceFromTheThirdSecondAndErasedWithoutTrace) {
  CaptureStdout();
  {
    ProgressLine line(true, "p\x1b[2J\xC2\x9B", 0, Narrow);
    line.Show(1);
    line.Show(2);
    line.Show(3);
    line.Show(6000);  // clipped to the width less one column
    line.Show(61);    // shorter than the line before: blanks cover the rest
  }                   // erased when it goes
  // Each drawing leaves the cursor at the line's start.
  const std::string first = "Flashing p?[2J?: 0:03 elapsed";
  const std::string wide = "Flashing p?[2J?: 100:00 elapse";
  EXPECT_EQ(GetCapturedStdout(), "\r" + first + "\r\r" + wide + "\r\r" +
                                     "Flashing p?[2J?: 1:01 elapsed \r\r" + std::string(30, ' ') +
                                     "\r");
}

TEST(ProgressLineTest, ColumnsOfTextAreCountedByCharacterAndWidth) {
  EXPECT_EQ(TextColumns("Carte r\xC3\xA9seau"), 12u);
  EXPECT_EQ(TextColumns("\xE6\x8A\xA5\xE5\x91\x8A"), 4u);  // two CJK characters
  EXPECT_EQ(TextColumns("e\xCC\x81"), 1u);                 // e and a combining accent
  EXPECT_EQ(TextColumns("r\xF6m"), 3u);                    // a byte that is not UTF-8
  // Clipping never cuts a character, nor leaves half of a wide one.
  EXPECT_EQ(ClipToColumns("r\xC3\xA9seau", 2), "r\xC3\xA9");
  EXPECT_EQ(ClipToColumns("a\xE6\x8A\xA5\xE5\x91\x8A", 4), "a\xE6\x8A\xA5");
  EXPECT_EQ(ClipToColumns("a\xF0\x9F\x98\x80", 2), "a");
  EXPECT_EQ(ClipToColumns("abc", 0), "");
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
