/// 8-bit XML files that are not UTF-8: a descriptor or a discovery file that an
/// editor or an older tool saved in a Windows code page. Such text is read in
/// the code page it was written in and handed on as UTF-8, the one encoding of
/// the program, so that the log, the console and the result file all read a
/// name as its author wrote it.
#pragma once

#include <cstddef>

enum class EightBitCodePage {
  kWindows1252,  // declared as windows-1252 or one of its subsets (ISO 8859-1, ASCII)
  kAnsi,         // nothing better known: the ANSI code page, as Windows reads such bytes
};

// True when an encoding name, as an XML declaration gives it, reads as code
// page 1252. Letter case does not matter.
bool NamesWindows1252(const char* name, std::size_t length);

// Converts size bytes of text in the code page into a new zero-terminated UTF-8
// heap text (freed with free()); null when memory runs out. On Windows the ANSI
// code page is the system's own; the POSIX build has none and reads such text
// in code page 1252.
char* ConvertCodePageTextToUtf8(const unsigned char* data, std::size_t size, EightBitCodePage page);

// The same for code page 1252, which both builds read alike.
char* ConvertWindows1252TextToUtf8(const unsigned char* data, std::size_t size);
