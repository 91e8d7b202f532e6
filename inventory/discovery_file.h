/// Ingestion of the discovery file that the vendor utility writes: each
/// supported device element becomes a NicRecord; with -v the version-only file
/// is written as well.
#pragma once

#include <cstdint>
#include <string>

// 0: already discovered, or at least one supported port appended; 1: refused,
// unreadable or no supported port. Messages go to the log only.
std::int32_t IngestDiscoveryFile(std::string path);

// Removes leading and trailing blanks (0x20 only).
std::string TrimSpaces(const std::string& text);

// The whole text as a signed 32-bit integer in the given base, or throws
// std::invalid_argument, std::underflow_error or std::overflow_error carrying
// the text. text may be null.
std::int32_t ParseWholeInteger(const char* text, int base);
