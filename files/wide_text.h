/// 16-bit XML files: recognising UTF-16 text in a loaded file and converting it to
/// the UTF-8 text the parser reads. The statistical test and the conversion are
/// the platform's (IsTextUnicode and WideCharToMultiByte on Windows).
#pragma once

#include <cstddef>

enum class WideTextOrder { None, LittleEndian, BigEndian };

// How a loaded file (size bytes, followed by at least four zero bytes) holds its
// text: FF FE marks little-endian and FE FF big-endian 16-bit text; without a mark
// the platform's statistical test decides whether it is little-endian 16-bit text.
WideTextOrder DetectWideText(const unsigned char* data, std::size_t size);

// The platform's statistical test for unmarked little-endian 16-bit text.
bool LooksLikeWideText(const unsigned char* data, std::size_t size);

// Converts `count` UTF-16 code units in host order into a new zero-terminated
// UTF-8 heap text (freed with free()). None when the units are not valid UTF-16
// (an unpaired surrogate) or memory runs out.
char* ConvertWideTextToUtf8(const char16_t* units, std::size_t count);
