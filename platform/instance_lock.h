/// Keeps a second Zentavor run out while one is running: an operating-system
/// lock that the system itself drops when its holder ends, however it ends (a
/// file held with flock on POSIX, a named mutex on Windows).
#pragma once

#include <cstdint>
#include <string>

// Where the lock lives. POSIX: /run, one machine-wide directory that only root
// may write, or the directory that the environment variable ZENTAVOR_LOCK_DIR
// names when it is set and not empty (for tests that run side by side, never
// for production). Windows: nowhere on disk (empty).
std::string InstanceLockDirectory();

enum class InstanceLockState {
  kHeld,           // this object holds the lock
  kHeldElsewhere,  // another holder (another run) has it
  kUnavailable,    // the lock itself could not be made; error() says why
};

class InstanceLock {
 public:
  InstanceLock() = default;
  // Releases the lock if held.
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock called name without waiting. POSIX: the file <directory>/<name>,
  // created when absent and never removed; a link or anything but a regular
  // file there makes the lock unavailable. Windows: the mutex Global\<name>; the
  // directory plays no part. Asking again while held answers kHeld at once.
  InstanceLockState Acquire(const std::string& directory, const std::string& name);

  bool held() const { return handle_ != kNoHandle; }
  // The system's error number of the last kUnavailable (errno, GetLastError).
  unsigned long error() const { return error_; }
  // What the lock is called to the administrator: the file's path, or the mutex's name.
  const std::string& where() const { return where_; }

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
  unsigned long error_ = 0;
  std::string where_;
};
