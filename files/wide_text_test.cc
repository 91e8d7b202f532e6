#include "files/wide_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

WideTextOrder Detect(const std::string& bytes) {
  const std::string padded = bytes + std::string(4, '\0');  // as a loaded file is
  return DetectWideText(reinterpret_cast<const unsigned char*>(padded.data()), bytes.size());
}

// The converted text, or "(none)" when the conversion refused the units.
std::string Convert(const std::u16string& units) {
  char* text = ConvertWideTextToUtf8(units.data(), units.size());
  if (text == nullptr)
    return "(none)";
  std::string copy = text;
  std::free(text);
  return copy;
}

TEST(WideTextDetection, RecognisesMarksAndUnmarkedLittleEndianText) {
  using namespace std::string_literals;
  const std::string wide = "<\0a\0>\0x\0<\0/\0a\0>\0"s;
  EXPECT_EQ(Detect("\xFF\xFE" + wide), WideTextOrder::LittleEndian);
  EXPECT_EQ(Detect(wide), WideTextOrder::LittleEndian);
  EXPECT_EQ(Detect("\xFE\xFF\0<\0a\0>\0x\0<\0/\0a\0>"s), WideTextOrder::BigEndian);
  EXPECT_EQ(Detect("<a>some 8-bit text with enough length to judge</a>"), WideTextOrder::None);
  EXPECT_EQ(Detect("\xEF\xBB\xBF<a>caf\xC3\xA9 and more text here</a>"), WideTextOrder::None);
}

TEST(WideTextConversion, ProducesUtf8AndRefusesUnpairedSurrogates) {
  EXPECT_EQ(Convert(u"<a v=\"caf\u00E9 \u20AC\"/>"), "<a v=\"caf\xC3\xA9 \xE2\x82\xAC\"/>");
  EXPECT_EQ(Convert(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Convert(u""), "");
  EXPECT_EQ(Convert(std::u16string(1, u'\xD800') + u"x"), "(none)");
  EXPECT_EQ(Convert(u"x" + std::u16string(1, u'\xDC00')), "(none)");
}

}  // namespace
