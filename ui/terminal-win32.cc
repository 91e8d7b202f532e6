#include <windows.h>

#include "ui/progress_line.h"

// A console answers GetConsoleMode; a file, a pipe and NUL (which the C
// runtime's isatty takes for a terminal) do not.
bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}
