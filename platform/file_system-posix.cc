#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/run_flags.h"
#include "base/utf8.h"
#include "platform/file_system.h"

char PathSeparator() {
  return '/';
}

bool FileExists(const char* path) {
  struct stat status;
  return stat(path, &status) == 0;
}

// A path the user names (a report file, say) may be a device node such as
// /dev/null, and a run as root must never delete one: only a regular file, or a
// link (the link itself, never its target), is removed.
bool RemoveFile(const char* path, unsigned long* error) {
  struct stat status;
  bool removed = false;
  if (lstat(path, &status) != 0)
    removed = false;
  else if (!(S_ISREG(status.st_mode) || S_ISLNK(status.st_mode)))
    errno = EPERM;
  else
    removed = unlink(path) == 0;
  if (!removed && error != nullptr)
    *error = static_cast<unsigned long>(errno);
  return removed;
}

// The log's directories are shared by every run and every administrator: a
// umask of 000 must not leave them writable by all, nor 077 shut out readers.
bool MakeDirectory(const char* path) {
  if (mkdir(path, 0755) != 0)
    return false;
  chmod(path, 0755);
  return true;
}

// The variable Windows itself defines for the system drive; unset means the
// tree starts at the root.
std::string SystemDrive() {
  const char* drive = std::getenv("SystemDrive");
  return drive ? drive : "";
}

std::string LogDirectory() {
  const std::string drive = SystemDrive();
  return drive.empty() ? "/var/log/tavensystem" : drive + "/tavensystem/log";
}

bool TempDirectory(std::string* directory) {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string path = (tmpdir && *tmpdir) ? tmpdir : "/tmp";
  while (!path.empty() && path.back() == '/')
    path.pop_back();
  // The lock file's name goes after it, so the directory must leave room in
  // a path buffer as GetTempPathA's buffer does on Windows.
  if (!FitsPathBuffer(path + '/'))
    return false;
  *directory = path;
  return true;
}

std::string OwnExecutablePath() {
  std::string path(256, '\0');
  while (true) {
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0)
      return std::string();
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      return path;
    }
    path.resize(path.size() * 2);
  }
}
