#include <cstdlib>

#include "base/utf8.h"
#include "files/wide_text.h"

// UTF-8 never holds a zero byte inside its text, while markup in little-endian
// 16-bit text puts one after every ASCII character. So: a zero high byte in some
// code unit and no zero low byte before the text's 16-bit zero.
bool LooksLikeWideText(const unsigned char* data, std::size_t size) {
  constexpr std::size_t kSampleBytes = 4096;
  const std::size_t sample = size < kSampleBytes ? size : kSampleBytes;
  bool zeroHighByte = false;
  for (std::size_t i = 0; i + 1 < sample; i += 2) {
    const unsigned char lo = data[i];
    const unsigned char hi = data[i + 1];
    if (lo == 0 && hi == 0)
      break;
    if (lo == 0)
      return false;
    if (hi == 0)
      zeroHighByte = true;
  }
  return zeroHighByte;
}

namespace {

bool IsHighSurrogate(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

// Code point at units[i] and how many units it takes; 0 units for an unpaired
// surrogate.
char32_t CodePointAt(const char16_t* units, std::size_t count, std::size_t i, std::size_t& taken) {
  const char16_t u = units[i];
  taken = 1;
  if (IsHighSurrogate(u)) {
    if (i + 1 < count && IsLowSurrogate(units[i + 1])) {
      taken = 2;
      return 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
    }
    taken = 0;
  } else if (IsLowSurrogate(u)) {
    taken = 0;
  }
  return u;
}

std::size_t Utf8Length(char32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

}  // namespace

char* ConvertWideTextToUtf8(const char16_t* units, std::size_t count) {
  std::size_t bytes = 0;
  for (std::size_t i = 0, taken = 0; i < count; i += taken) {
    const char32_t c = CodePointAt(units, count, i, taken);
    if (taken == 0)
      return nullptr;
    bytes += Utf8Length(c);
  }
  char* text = static_cast<char*>(std::malloc(bytes + 1));
  if (text == nullptr)
    return nullptr;
  char* out = text;
  for (std::size_t i = 0, taken = 0; i < count; i += taken) {
    out += EncodeUtf8(CodePointAt(units, count, i, taken), out);
  }
  *out = 0;
  return text;
}
