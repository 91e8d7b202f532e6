#include "sim/call_log.h"

#include <gtest/gtest.h>

#include "sim/test_support.h"

namespace {

TEST(SimCallLog, OneLinePerCallWithEveryArgumentRecoverable) {
  // A blank inside an argument stays (it arrived quoted, as one argument);
  // separators and line ends inside one are escaped so that lines stay lines.
  EXPECT_EQ(CallLogLine({"-flashsupport", "-d", "my image.bin", "tempNicList.xml", "-p3"}),
            "5\t-flashsupport\t-d\tmy image.bin\ttempNicList.xml\t-p3\n");
  EXPECT_EQ(CallLogLine({"a\tb", "c\\d", "e\r\nf", "", "g"}), "5\ta\\tb\tc\\\\d\te\\r\\nf\t\tg\n");
  EXPECT_EQ(CallLogLine({}), "0\n");
  EXPECT_EQ(CallLogLine({""}), "1\t\n");

  ScratchDirectory dir;
  ASSERT_TRUE(AppendCall(dir.File("calls.log"), {"-flashsupport", "-i", "03:00.0"}));
  ASSERT_TRUE(AppendCall(dir.File("calls.log"), {"x"}));
  EXPECT_EQ(ReadText(dir.File("calls.log")), "3\t-flashsupport\t-i\t03:00.0\n1\tx\n");
  EXPECT_FALSE(AppendCall(dir.File("missing/calls.log"), {"x"}));
}

}  // namespace
