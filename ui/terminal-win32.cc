#include <windows.h>

#include "ui/progress_line.h"

// A console answers GetConsoleMode; a file, a pipe and NUL (which the C
// runtime's isatty takes for a terminal) do not.
bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

// The window, not the buffer: a line wider than the window would run out of
// sight, and the buffer is never narrower than the window.
std::size_t TerminalColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
    return 0;
  const int width = info.srWindow.Right - info.srWindow.Left + 1;
  return width > 0 ? static_cast<std::size_t>(width) : 0;
}
