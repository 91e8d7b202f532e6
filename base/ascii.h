/// Letter-case rules for option words and executable names, and hexadecimal
/// digits: ASCII only, so that the runtime's locale never changes what an
/// option, a name or a number means.
#pragma once

#include <cstddef>
#include <string_view>

inline constexpr char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The value of a hexadecimal digit of either case; -1 for any other character.
inline constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

inline constexpr bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i]))
      return false;
  }
  return true;
}

inline constexpr bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size())
    return false;
  for (std::size_t start = 0; start + part.size() <= text.size(); ++start) {
    if (EqualsIgnoringCase(text.substr(start, part.size()), part))
      return true;
  }
  return false;
}
