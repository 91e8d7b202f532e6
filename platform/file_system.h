/// The file and folder services the program needs, one header for both
/// builds: existence tests, removal, the log directory's drive, the temporary
/// directory and the program's own path.
#pragma once

#include <string>

// '\\' on Windows, '/' on POSIX.
char PathSeparator();

// True when the file-status query succeeds for the path (directories count too).
bool FileExists(const char* path);

// Deletes a file; false when it could not be deleted (for example, it is not
// there), with the system's reason in *error when error is given. Only
// regular files and links are deleted, never a directory or a device.
bool RemoveFile(const char* path, unsigned long* error = nullptr);

// Creates one directory; false when it could not be created (it may exist already).
// POSIX: with mode 0755 whatever the umask.
bool MakeDirectory(const char* path);

// The drive of the system directory, e.g. "C:" on Windows; on POSIX the value of
// the environment variable SystemDrive, empty when unset.
std::string SystemDrive();

// The directory of the log file. Windows: <system drive>\tavensystem\log.
// POSIX: $SystemDrive/tavensystem/log when SystemDrive is set and not empty,
// else /var/log/tavensystem, where a Linux administrator looks for logs.
std::string LogDirectory();

// The temporary directory without a trailing separator; false when there is none
// or it would not fit a 260-character buffer. POSIX: $TMPDIR when set and not
// empty, else /tmp.
bool TempDirectory(std::string* directory);

// Full path of the running executable; empty when it cannot be read.
std::string OwnExecutablePath();
