/// The running processes, by the base name of their executable: the process
/// enumeration calls on Windows, /proc on POSIX.
#pragma once

#include <string>
#include <vector>

// Fills names with the executable base name of every process that can be read
// (unreadable ones are passed over). False when the list itself is unavailable.
bool ListProcessBaseNames(std::vector<std::string>* names);
