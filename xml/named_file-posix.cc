#include <sys/stat.h>

#include "xml/named_file.h"

std::FILE* OpenNamedFile(const char* path, const char* mode) {
  return path == nullptr ? nullptr : std::fopen(path, mode);
}

bool RemoveNamedFile(const char* path) {
  return std::remove(path) == 0;
}

bool IsRegularNamedFile(const char* path) {
  struct stat status;
  return stat(path, &status) == 0 && S_ISREG(status.st_mode);
}
