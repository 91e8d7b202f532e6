#include <sys/ioctl.h>
#include <unistd.h>

#include "ui/progress_line.h"

bool StandardOutputIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

std::size_t TerminalColumns() {
  struct winsize size = {};
  return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}
