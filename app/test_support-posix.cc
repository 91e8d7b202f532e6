#include <cstdlib>

#include "app/test_support.h"

void SetEnvironment(const char* name, const char* value) {
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
}

const char* TempDirectoryVariable() {
  return "TMPDIR";
}
