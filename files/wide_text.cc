#include "files/wide_text.h"

WideTextOrder DetectWideText(const unsigned char* data, std::size_t size) {
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE)
    return WideTextOrder::LittleEndian;
  // Big-endian text carries its mark; without one it is not guessed at.
  if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF)
    return WideTextOrder::BigEndian;
  return LooksLikeWideText(data, size) ? WideTextOrder::LittleEndian : WideTextOrder::None;
}
