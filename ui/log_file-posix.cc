#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "ui/log_file.h"

// The log lies in a shared place and the program runs as root: a link planted
// at the log's name must not point our lines into some other file, and a FIFO
// or device there must neither hold the run at its open nor take the lines.
// Only a regular file reached without following a link is a log.
std::FILE* OpenLogForAppend(const char* path, unsigned long* error) {
  constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  // Made here or found: a log this run makes is readable by every
  // administrator (0644) whatever the umask; one that stands there already
  // keeps the mode someone gave it.
  int fd = open(path, kFlags | O_CREAT | O_EXCL, 0644);
  if (fd >= 0)
    fchmod(fd, 0644);
  else if (errno == EEXIST)
    fd = open(path, kFlags);
  if (fd < 0) {
    *error = static_cast<unsigned long>(errno);
    return nullptr;
  }
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    *error = EINVAL;
    return nullptr;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* log = fdopen(fd, "a");
  if (!log) {
    *error = static_cast<unsigned long>(errno);
    close(fd);
  }
  return log;
}
