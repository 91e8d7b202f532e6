/// Words every layer shares: the program's title and the size of the buffers
/// that paths and names live in. Header-only and without includes of the
/// project, so that any layer may include it from below.
#pragma once

#include <cstddef>

// The console title, the first words of the banner, and the alt_name of the
// version-only file.
inline constexpr const char kTitle[] = "Zentavor";

// Paths and names live in buffers of this many characters (259 and a NUL),
// counted as Windows counts them: in UTF-16 units.
inline constexpr std::size_t kPathBufferSize = 260;
// The bytes such a buffer takes in UTF-8, the program's encoding: a unit is at
// most three bytes (a character past U+FFFF is four bytes, but two units).
inline constexpr std::size_t kPathBufferBytes = 3 * (kPathBufferSize - 1) + 1;
