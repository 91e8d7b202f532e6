/// The console as the program finds it and leaves it: the title and window
/// size it sets for a run and puts back afterwards, and the text it writes to
/// it. On POSIX a terminal is neither retitled nor resized, and text is bytes.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

class ConsoleWindow {
 public:
  // Remembers the console's title, window and text colour, then gives it the
  // title and a window of width x height (as far as the screen allows). The
  // screen buffer is never made smaller, so no line of the administrator's
  // scroll-back is lost; it only grows where the window needs room. A process
  // without a console is left alone.
  ConsoleWindow(const char* title, int width, int height);
  // Restore().
  ~ConsoleWindow();
  ConsoleWindow(const ConsoleWindow&) = delete;
  ConsoleWindow& operator=(const ConsoleWindow&) = delete;

  // Puts back the title, the window size and the text colour found at
  // construction, keeping the buffer (and so the run's output) as it is. Only
  // the first call acts, from whichever thread makes it.
  void Restore();

 private:
  struct SavedState;  // platform-specific: the output handle and the saved console state
  std::unique_ptr<SavedState> saved_;
  std::atomic<bool> restored_{false};
};

// Writes UTF-8 text to standard output or standard error and flushes it. A
// Windows console receives it through its Unicode interface, so that every
// character reads as itself whatever the console's code page; redirected
// output (a file, a pipe) gets the bytes unchanged. False when the text could
// not be written (a pipe whose reader has gone, say); a process that has no
// such stream at all (a Windows program started without a console) has
// nothing to write to and answers true.
bool PutConsoleText(std::FILE* stream, const std::string& text);
