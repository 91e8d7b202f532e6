#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/instance_lock.h"

std::string InstanceLockDirectory() {
  const char* moved = std::getenv("ZENTAVOR_LOCK_DIR");
  return (moved != nullptr && *moved != '\0') ? moved : "/run";
}

InstanceLock::~InstanceLock() {
  // Closing the only descriptor of the open file drops the flock.
  if (held())
    close(static_cast<int>(handle_));
}

InstanceLockState InstanceLock::Acquire(const std::string& directory, const std::string& name) {
  if (held())
    return InstanceLockState::kHeld;
  where_ = directory + "/" + name;
  // Close-on-exec: a vendor utility outliving a killed run must not keep the
  // lock alive. No symbolic link is followed, so a link planted in the log
  // directory cannot point the lock at some other file.
  // Non-blocking, so that a FIFO planted there cannot hold the run at its
  // open; only a regular file is taken.
  const int fd = open(where_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) {
    error_ = static_cast<unsigned long>(errno);
    return InstanceLockState::kUnavailable;
  }
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    error_ = EINVAL;
    return InstanceLockState::kUnavailable;
  }
  int locked;
  do {
    locked = flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK)
      return InstanceLockState::kHeldElsewhere;
    error_ = static_cast<unsigned long>(error);
    return InstanceLockState::kUnavailable;
  }
  handle_ = fd;
  return InstanceLockState::kHeld;
}
