#include <windows.h>

#include <climits>
#include <cstdlib>

#include "files/wide_text.h"

bool LooksLikeWideText(const unsigned char* data, std::size_t size) {
  if (size > INT_MAX)
    size = INT_MAX;
  return IsTextUnicode(data, static_cast<int>(size), nullptr) != FALSE;
}

char* ConvertWideTextToUtf8(const char16_t* units, std::size_t count) {
  if (count == 0) {
    char* empty = static_cast<char*>(std::malloc(1));
    if (empty != nullptr)
      empty[0] = 0;
    return empty;
  }
  if (count > INT_MAX)
    return nullptr;
  const auto* wide = reinterpret_cast<const wchar_t*>(units);
  const int wideCount = static_cast<int>(count);
  // An unpaired surrogate is refused rather than silently replaced.
  const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, wideCount, nullptr, 0,
                                        nullptr, nullptr);
  if (bytes <= 0)
    return nullptr;
  char* text = static_cast<char*>(std::malloc(static_cast<std::size_t>(bytes) + 1));
  if (text == nullptr)
    return nullptr;
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, wideCount, text, bytes, nullptr,
                          nullptr) != bytes) {
    std::free(text);
    return nullptr;
  }
  text[bytes] = 0;
  return text;
}
