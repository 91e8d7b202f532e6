/// Recognising another flash tool of the adapter vendor among the running
/// processes, by the base name of each process's executable.
#pragma once

#include <string>

// True when a process with this executable base name may be writing adapter
// firmware: the vendor's flash tool, or the vendor utility itself.
bool IsRivalProcessName(const std::string& baseName);

// True where the file system ignores letter case in executable names (Windows).
bool ProcessNamesIgnoreCase();
