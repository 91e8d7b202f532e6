/// The files a run reads, writes or holds, and the one guard that keeps every
/// path an option names (-d, -u, -v, -json) off them and off each other: a
/// typo must never destroy the firmware package, the log or a lock.
#pragma once

#include <string>
#include <vector>

// The run's own files: the package descriptor, the image each of its adapter
// kinds names, the discovery file, the log, the single-instance lock (a file
// on POSIX only) and the vendor's lock file. Works before start-up and writes
// nothing: the descriptor is read quietly.
std::vector<std::string> FilesOfTheRun();

// True when every path is a name (not empty), none is the same file as a file
// of the run, and no two are the same file (see SameFile).
bool OptionPathsAreSafe(const std::vector<std::string>& paths);
