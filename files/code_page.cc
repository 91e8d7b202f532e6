#include "files/code_page.h"

#include <cstdlib>
#include <string_view>

#include "base/ascii.h"
#include "base/utf8.h"

namespace {

// Code page 1252 differs from ISO 8859-1 only in 80-9F. The five bytes it
// leaves unassigned read as the C1 control of the same value, as Windows
// itself converts them, so no byte is ever lost.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t Windows1252CodePoint(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

}  // namespace

bool NamesWindows1252(const char* name, std::size_t length) {
  // The names under which text is read as code page 1252 on the web too: its
  // subsets ISO 8859-1 and ASCII are in practice always code page 1252.
  const std::string_view given(name, length);
  for (const char* known : {"windows-1252", "cp1252", "x-cp1252", "iso-8859-1", "iso8859-1",
                            "iso_8859-1", "latin1", "l1", "us-ascii", "ascii"}) {
    if (EqualsIgnoringCase(given, known))
      return true;
  }
  return false;
}

char* ConvertWindows1252TextToUtf8(const unsigned char* data, std::size_t size) {
  // Sized to the text, not to three bytes a byte: a descriptor may be large.
  std::size_t bytes = 0;
  char scratch[4];
  for (std::size_t i = 0; i < size; ++i)
    bytes += EncodeUtf8(Windows1252CodePoint(data[i]), scratch);
  char* text = static_cast<char*>(std::malloc(bytes + 1));
  if (text == nullptr)
    return nullptr;
  char* out = text;
  for (std::size_t i = 0; i < size; ++i)
    out += EncodeUtf8(Windows1252CodePoint(data[i]), out);
  *out = '\0';
  return text;
}
