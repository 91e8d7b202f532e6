#include <unistd.h>

#include "ui/progress_line.h"

bool StandardOutputIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}
