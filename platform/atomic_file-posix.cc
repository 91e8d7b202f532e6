#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>

#include "platform/atomic_file.h"

namespace {

bool WriteAll(int fd, const std::string& content) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t written = write(fd, content.data() + done, content.size() - done);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// The directory part and the name of a path; "." for a bare name.
void SplitPath(const std::string& path, std::string* directory, std::string* name) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    *directory = ".";
    *name = path;
  } else {
    *directory = slash == 0 ? "/" : path.substr(0, slash);
    *name = path.substr(slash + 1);
  }
}

// A new file beside the target, under a name no one else holds (O_EXCL), made
// through the directory's descriptor.
int CreateTemporary(int directory, std::string* temporary) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = ".zentavor-" + std::to_string(random() % 1000000000u) + ".tmp";
    const int fd = openat(directory, temporary->c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

// Only nothing or a regular file is replaced: a device, a pipe, a directory or
// a link (the link itself) planted at the name is left as it is.
int ReplaceableError(int directory, const std::string& name) {
  struct stat status;
  if (fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? 0 : errno;
  if (S_ISREG(status.st_mode))
    return 0;
  if (S_ISDIR(status.st_mode))
    return EISDIR;
  return S_ISLNK(status.st_mode) ? ELOOP : EINVAL;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& content,
                         unsigned long* error) {
  std::string directoryName;
  std::string name;
  SplitPath(path, &directoryName, &name);
  // Everything happens through one descriptor of the directory: a link that
  // replaces the directory's name meanwhile cannot send the file elsewhere.
  const int directory = open(directoryName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) {
    *error = static_cast<unsigned long>(errno);
    return false;
  }
  int failure = name.empty() ? EISDIR : ReplaceableError(directory, name);
  std::string temporary;
  const int fd = failure == 0 ? CreateTemporary(directory, &temporary) : -1;
  if (failure == 0 && fd < 0)
    failure = errno;
  if (fd >= 0) {
    // Created for its owner only; a result file is for reading.
    const bool written = fchmod(fd, 0644) == 0 && WriteAll(fd, content) && fsync(fd) == 0;
    if (!written)
      failure = errno;
    if (close(fd) != 0 && failure == 0)
      failure = errno;
    // Looked at again just before the rename, which never follows a link.
    if (failure == 0)
      failure = ReplaceableError(directory, name);
    if (failure == 0 && renameat(directory, temporary.c_str(), directory, name.c_str()) != 0)
      failure = errno;
    if (failure != 0)
      unlinkat(directory, temporary.c_str(), 0);
  }
  close(directory);
  *error = static_cast<unsigned long>(failure);
  return failure == 0;
}
