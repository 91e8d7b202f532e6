#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/named_file.h"

std::FILE* OpenNamedFile(const char* path, const char* mode) {
  return path == nullptr ? nullptr : std::fopen(path, mode);
}

std::FILE* OpenNamedFileHeld(const char* path, std::string* why) {
  if (path == nullptr) {
    *why = "no such file";
    return nullptr;
  }
  // Opened without waiting, so that a pipe nobody writes to cannot hold the run
  // before its type is known; a directory opens too, and is refused by its type.
  const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    *why = errno == ENOENT || errno == ENOTDIR ? "no such file"
           : errno == EACCES                   ? "access denied"
                                               : std::strerror(errno);
    return nullptr;
  }
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    *why = "not a regular file";
    return nullptr;
  }
  const int flags = fcntl(descriptor, F_GETFL);
  if (flags != -1)
    fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = fdopen(descriptor, "rb");
  if (file == nullptr) {
    *why = std::strerror(errno);
    close(descriptor);
  }
  return file;
}

std::FILE* OpenNamedFileForReading(const char* path) {
  std::string ignored;
  return OpenNamedFileHeld(path, &ignored);
}

bool RemoveNamedFile(const char* path) {
  return std::remove(path) == 0;
}

bool IsRegularNamedFile(const char* path) {
  struct stat status;
  return stat(path, &status) == 0 && S_ISREG(status.st_mode);
}
