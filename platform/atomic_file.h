/// Writing a whole file so that a reader sees either the old state or the new
/// file, never half of one: the text goes to a new file in the same directory,
/// which is then renamed over the target.
#pragma once

#include <string>

// False, with *error holding the system's reason, when the file could not be
// written; the temporary file is then gone and the target untouched. Only
// nothing or a regular file at path is replaced: a directory, a device, a pipe
// or a link there is left as it is (POSIX: EISDIR, EINVAL, ELOOP; Windows:
// ERROR_ACCESS_DENIED).
bool WriteFileAtomically(const std::string& path, const std::string& content, unsigned long* error);
