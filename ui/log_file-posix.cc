#include <cerrno>

#include "ui/log_file.h"

std::FILE* OpenLogForAppend(const char* path, unsigned long* error) {
  std::FILE* log = std::fopen(path, "a");
  if (!log)
    *error = static_cast<unsigned long>(errno);
  return log;
}
