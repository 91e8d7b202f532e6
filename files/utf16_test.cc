#include "files/utf16.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

TEST(Utf16, TextOutsideTheAnsiCodePageConvertsBothWays) {
  // Łódź, a CJK word and a character beyond the 16-bit plane.
  const std::string utf8 = "\xC5\x81\xC3\xB3\x64\xC5\xBA \xE6\x8A\xA5\xE5\x91\x8A \xF0\x9F\x98\x80";
  const std::wstring utf16 = L"\u0141\u00F3d\u017A \u62A5\u544A \xD83D\xDE00";
  EXPECT_EQ(WidenUtf8(utf8), utf16);
  EXPECT_EQ(NarrowToUtf8(utf16), utf8);
  EXPECT_EQ(WidenUtf8(""), L"");
  EXPECT_EQ(NarrowToUtf8(L""), "");
}

TEST(Utf16, BytesThatAreNotUtf8AreReadInTheAnsiCodePage) {
  if (GetACP() != 1252)
    GTEST_SKIP() << "the case is written for code page 1252";
  // "röm" as a descriptor saved in code page 1252 spells it.
  EXPECT_EQ(WidenUtf8("p3p_r\xF6m.bin"), L"p3p_r\u00F6m.bin");
}

}  // namespace
