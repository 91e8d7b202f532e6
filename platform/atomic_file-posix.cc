#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

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

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& content,
                         unsigned long* error) {
  // mkstemp makes a name no one else holds, beside the target so that the
  // rename stays within one file system.
  std::string pattern = path + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    *error = static_cast<unsigned long>(errno);
    return false;
  }
  // mkstemp creates the file for its owner only; a result file is for reading.
  const bool written = fchmod(fd, 0644) == 0 && WriteAll(fd, content) && fsync(fd) == 0;
  const int writeError = errno;
  const bool closed = close(fd) == 0;
  if (written && closed && std::rename(name.data(), path.c_str()) == 0)
    return true;
  *error = static_cast<unsigned long>(written && closed ? errno : writeError);
  unlink(name.data());
  return false;
}
