/// The executable's own file version: the version resource on Windows, the
/// version compiled in on POSIX.
#pragma once

#include <cstddef>

// Writes the file version as "%d.%d.%d.%d" into buffer (always NUL-terminated
// when size > 0); "0.0.0.0" when the executable carries no version.
void GetOwnFileVersion(char* buffer, std::size_t size);
