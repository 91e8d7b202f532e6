/// Opening the log file for appending: one function with a POSIX and a Windows
/// source, so that how the log is opened (sharing, links, file types) is
/// decided in one place for the user interface and for start-up alike.
#pragma once

#include <cstdio>

// Opens path for appending in text mode, creating it when absent and never
// truncating it. Null when it cannot be opened; *error then holds the
// system's reason (errno). POSIX: a symbolic link at path is never followed,
// anything but a regular file is refused, and a new log gets mode 0644.
std::FILE* OpenLogForAppend(const char* path, unsigned long* error);
