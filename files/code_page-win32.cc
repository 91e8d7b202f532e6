#include <windows.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "files/code_page.h"
#include "files/wide_text.h"

// The ANSI code page is the system's: the one in which every byte-string call
// of Windows reads the same bytes.
char* ConvertCodePageTextToUtf8(const unsigned char* data, std::size_t size,
                                EightBitCodePage page) {
  if (page == EightBitCodePage::kWindows1252 || size == 0 || size > INT_MAX)
    return ConvertWindows1252TextToUtf8(data, size);
  const char* bytes = reinterpret_cast<const char*>(data);
  const int length = static_cast<int>(size);
  const int units = MultiByteToWideChar(CP_ACP, 0, bytes, length, nullptr, 0);
  if (units <= 0)
    return ConvertWindows1252TextToUtf8(data, size);
  std::u16string wide(static_cast<std::size_t>(units), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes, length, reinterpret_cast<wchar_t*>(wide.data()), units);
  return ConvertWideTextToUtf8(wide.data(), wide.size());
}
