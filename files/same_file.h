/// Whether two paths name the same file, as the platform decides it: the rule
/// that keeps a path the administrator names on the command line off every
/// file the run itself reads, writes or holds.
#pragma once

#include <string>

// True when both paths reach the same file: when both exist, by the file's
// identity (POSIX: device and inode number; Windows: volume serial number and
// file index), so a hard link, a symbolic link or another spelling of the
// path counts; otherwise by their full paths, compared as the platform
// compares names. POSIX: the longest existing part resolved, byte for byte.
// Windows: GetFullPathNameW, without a \\?\ prefix, a :stream suffix, or
// trailing dots and blanks, 8.3 names made long, compared ordinally without
// regard to letter case. Paths are UTF-8; an empty path names no file.
bool SameFile(const std::string& a, const std::string& b);
