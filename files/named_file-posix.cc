#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/named_file.h"

std::FILE* OpenNamedFile(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr)
    return nullptr;
  if (mode[0] != 'w' && mode[0] != 'a')
    return std::fopen(path, mode);
  // The program writes files as root in places others may write to: a link
  // planted at the name must not carry the text into some other file, and a
  // pipe without a reader must not hold the run at its open.
  int flags = O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  flags |= std::strchr(mode, '+') != nullptr ? O_RDWR : O_WRONLY;
  if (mode[0] == 'a')
    flags |= O_APPEND;
  const int descriptor = open(path, flags, 0666);
  if (descriptor < 0)
    return nullptr;
  struct stat status;
  if (fstat(descriptor, &status) != 0 ||
      (mode[0] == 'w' && S_ISREG(status.st_mode) && ftruncate(descriptor, 0) != 0)) {
    const int error = errno;
    close(descriptor);
    errno = error;
    return nullptr;
  }
  const int statusFlags = fcntl(descriptor, F_GETFL);
  if (statusFlags != -1)
    fcntl(descriptor, F_SETFL, statusFlags & ~O_NONBLOCK);
  std::FILE* file = fdopen(descriptor, mode);
  if (file == nullptr)
    close(descriptor);
  return file;
}

std::FILE* OpenNamedFileForReading(const char* path) {
  if (path == nullptr)
    return nullptr;
  // Opened without waiting, so that a pipe nobody writes to cannot hold the run
  // before its type is known; a directory opens too, and is refused by its type.
  const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0)
    return nullptr;
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    return nullptr;
  }
  const int flags = fcntl(descriptor, F_GETFL);
  if (flags != -1)
    fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* file = fdopen(descriptor, "rb");
  if (file == nullptr)
    close(descriptor);
  return file;
}

bool RemoveNamedFile(const char* path) {
  return std::remove(path) == 0;
}

bool IsRegularNamedFile(const char* path) {
  struct stat status;
  return stat(path, &status) == 0 && S_ISREG(status.st_mode);
}

NamedFileStanding StandingOfNamedFile(const char* path) {
  struct stat status;
  // A path that cannot be looked at is left to the write, which says why.
  if (path == nullptr || lstat(path, &status) != 0)
    return NamedFileStanding::kAbsent;
  return S_ISREG(status.st_mode) ? NamedFileStanding::kRegularFile
                                 : NamedFileStanding::kSomethingElse;
}
