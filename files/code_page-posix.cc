#include "files/code_page.h"

// No ANSI code page here, and the locale's character set is no better guide:
// it is UTF-8 almost everywhere, and it would make the same package read
// differently from one shell to the next. Packages are made on Windows, whose
// ANSI code page in the markets they serve is 1252, so both builds read the
// same bytes as the same names.
char* ConvertCodePageTextToUtf8(const unsigned char* data, std::size_t size,
                                EightBitCodePage /*page*/) {
  return ConvertWindows1252TextToUtf8(data, size);
}
