#include <cstdlib>

#include "app/test_support.h"

// An empty value removes the variable.
void SetEnvironment(const char* name, const char* value) {
  ::_putenv_s(name, value != nullptr ? value : "");
}

// GetTempPathA looks at TMP first.
const char* TempDirectoryVariable() {
  return "TMP";
}
