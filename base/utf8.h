/// Reading UTF-8, the one encoding of every text inside the program: whether
/// bytes are UTF-8 at all, and how long a text is in the units that Windows
/// counts a path in. Header-only, so that any layer may use it.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/product.h"

// What one step through a text found: a code point and the bytes it took.
struct Utf8Step {
  char32_t codePoint;
  std::size_t length;
  bool wellFormed;
};

// The character that starts at text[at] (at < text.size()). A byte that does not
// start a well-formed sequence (a stray continuation byte, an overlong form, an
// encoded surrogate, a value past U+10FFFF, a sequence cut short) is a step of
// one byte that is not well formed, its code point the byte's value, as a
// single-byte code page would read it.
constexpr Utf8Step StepUtf8(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  const Utf8Step single = {lead, 1, lead < 0x80};
  if (lead < 0xC2 || lead > 0xF4)
    return single;
  const std::size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (text.size() - at < length)
    return single;
  char32_t value = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80)
      return single;
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return single;
  return {value, length, true};
}

constexpr bool IsValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Step step = StepUtf8(text, at);
    if (!step.wellFormed)
      return false;
    at += step.length;
  }
  return true;
}

// The length of a text in UTF-16 code units, as Windows measures a path: a
// character past U+FFFF takes two, any other one; a byte that is not UTF-8
// counts one, as the ANSI code page reads it.
constexpr std::size_t Utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (std::size_t at = 0; at < text.size();) {
    const Utf8Step step = StepUtf8(text, at);
    units += step.codePoint > 0xFFFF ? 2 : 1;
    at += step.length;
  }
  return units;
}

// True when a UTF-8 path or name fits a path buffer: at most 259 UTF-16 units,
// and so at most kPathBufferBytes - 1 bytes.
constexpr bool FitsPathBuffer(std::string_view text) {
  return Utf16Length(text) < kPathBufferSize;
}

// Writes the UTF-8 form of a code point (at most U+10FFFF) to out, which has
// room for four bytes; returns the number of bytes written.
constexpr std::size_t EncodeUtf8(char32_t c, char* out) {
  const std::size_t length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  constexpr unsigned char kLead[] = {0, 0x00, 0xC0, 0xE0, 0xF0};
  for (std::size_t i = length - 1; i > 0; --i) {
    out[i] = static_cast<char>(0x80 | (c & 0x3F));
    c >>= 6;
  }
  out[0] = static_cast<char>(kLead[length] | c);
  return length;
}
