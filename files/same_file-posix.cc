#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "files/same_file.h"

namespace {

namespace fs = std::filesystem;

bool SameIdentity(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The existing part of the path resolved (links followed), the rest as
// written without "." and "..": a file that does not exist yet is named by
// where it would be made.
std::string FullPath(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  if (error)
    return path;
  const fs::path full = fs::weakly_canonical(absolute, error);
  return (error ? absolute.lexically_normal() : full).string();
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty())
    return false;
  struct stat left;
  struct stat right;
  const bool leftExists = stat(a.c_str(), &left) == 0;
  const bool rightExists = stat(b.c_str(), &right) == 0;
  if (leftExists && rightExists)
    return SameIdentity(left, right);
  // A file that exists and one that does not are different files, unless the
  // names are spelled alike (a dangling link, say, reaches nothing by stat).
  return FullPath(a) == FullPath(b);
}
